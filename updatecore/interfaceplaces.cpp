#include "interfaceplaces.h"

#include <QStringList>
#include <algorithm>
#include <vector>

#include "usbdevs.h"
#include "zvsleep.h"

namespace {

QString from_units(const wchar_t *text) { return QString::fromWCharArray(text); }

// As a person counts ports: runs of digits by their value ("1-4" before "1-10"), the rest
// by character.
bool counted_before(const QString &a, const QString &b) {
  int i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      const int start_a = i, start_b = j;
      while (i < a.size() && a[i].isDigit()) ++i;
      while (j < b.size() && b[j].isDigit()) ++j;
      const qulonglong x = a.mid(start_a, i - start_a).toULongLong();
      const qulonglong y = b.mid(start_b, j - start_b).toULongLong();
      if (x != y) return x < y;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

QList<InterfacePlace> connected_interfaces() {
  std::vector<usbdevs_place> found(USBDEVS_MAX_PLACES);
  const int count = usbdevs_list(found.data(), USBDEVS_MAX_PLACES);
  QList<InterfacePlace> places;
  for (int i = 0; i < count; ++i) {
    places.append(
        {from_units(found[i].path), from_units(found[i].name), from_units(found[i].serial)});
  }
  std::stable_sort(places.begin(), places.end(),
                   [](const InterfacePlace &a, const InterfacePlace &b) {
                     return counted_before(a.name, b.name);
                   });
  return places;
}

unsigned await_arrival(unsigned ms) {
  unsigned waited = 0;
  if (usbdevs_wait_arrival(ms, &waited) >= 0) return waited;
  zvsleep_ms(ms);
  return ms;
}

int find_interface(const QList<InterfacePlace> &places, const QString &wanted) {
  if (wanted.isEmpty()) return -1;
  for (int i = 0; i < places.size(); ++i) {
    const InterfacePlace &place = places[i];
    for (const QString &known : {place.name, place.path, place.serial}) {
      if (!known.isEmpty() && known.compare(wanted, Qt::CaseInsensitive) == 0) return i;
    }
  }
  return -1;
}

void choose_interface(const InterfacePlace &place) {
  std::vector<wchar_t> path(static_cast<size_t>(place.path.size()) + 1, L'\0');
  place.path.toWCharArray(path.data());
  usbdevs_choose(path.data());
}

QString place_names(const QList<InterfacePlace> &places) {
  QStringList names;
  for (const InterfacePlace &place : places) names << place.name;
  return names.join(", ");
}

#include "interfaceplaces.h"

#include <QStringList>
#include <vector>

#include "usbdevs.h"

namespace {

QString from_units(const wchar_t *text) { return QString::fromWCharArray(text); }

}  // namespace

QList<InterfacePlace> connected_interfaces() {
  std::vector<usbdevs_place> found(USBDEVS_MAX_PLACES);
  const int count = usbdevs_list(found.data(), USBDEVS_MAX_PLACES);
  QList<InterfacePlace> places;
  for (int i = 0; i < count; ++i) {
    places.append(
        {from_units(found[i].path), from_units(found[i].name), from_units(found[i].serial)});
  }
  return places;
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

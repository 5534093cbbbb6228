#include "gui_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <cstring>

#include "imagegen.h"

ModalAnswerer::ModalAnswerer(std::function<void(QWidget *)> on_dialog)
    : on_dialog_(std::move(on_dialog)) {
  connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
  timer_.start(5);
}

void ModalAnswerer::poll() {
  QWidget *modal = QApplication::activeModalWidget();
  if (modal == nullptr) return;
  if (auto *box = qobject_cast<QMessageBox *>(modal)) {
    titles << box->windowTitle();
    texts << box->text();
    box->button(QMessageBox::Ok)->click();
  } else if (on_dialog_) {
    on_dialog_(modal);
  }
}

QString temp_path(const QString &name) { return QDir::temp().filePath("zvgui_" + name); }

QString write_bytes(const QString &name, const std::vector<unsigned char> &bytes) {
  const QString path = temp_path(name);
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
  return path;
}

QString write_image(const QString &name, const char *product, unsigned version, unsigned build,
                    uint32_t total_size) {
  imagegen_fields fields{};
  std::strncpy(fields.product, product, 8);
  fields.version = version;
  fields.build = build;
  std::vector<unsigned char> plain(total_size - 36);
  imagegen_pattern(plain.data(), static_cast<uint32_t>(plain.size()), version * 7 + build);
  return write_bytes(name,
                     imagegen_build(fields, plain.data(), static_cast<uint32_t>(plain.size())));
}

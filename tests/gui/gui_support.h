// Helpers for the window tests: answering modal boxes and dialogs as a user would, and
// writing sample image files.
#ifndef TESTS_GUI_GUI_SUPPORT_H
#define TESTS_GUI_GUI_SUPPORT_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

class QWidget;

// While alive, answers every modal widget that appears: message boxes are recorded and
// confirmed; any other dialog is handed to `on_dialog` (which must close it).
class ModalAnswerer : public QObject {
 public:
  explicit ModalAnswerer(std::function<void(QWidget *)> on_dialog = nullptr);

  QStringList titles;
  QStringList texts;

 private:
  void poll();
  QTimer timer_;
  std::function<void(QWidget *)> on_dialog_;
};

// A valid image file of the given identity and total size, under the test temp directory.
QString write_image(const QString &name, const char *product, unsigned version, unsigned build,
                    uint32_t total_size = 100);
QString write_bytes(const QString &name, const std::vector<unsigned char> &bytes);
QString temp_path(const QString &name);

#endif

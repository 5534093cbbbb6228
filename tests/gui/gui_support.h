// Helpers for the window tests: answering modal boxes by intent, and sample image files.
#ifndef TESTS_GUI_GUI_SUPPORT_H
#define TESTS_GUI_GUI_SUPPORT_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <initializer_list>
#include <vector>

class QWidget;

// While alive, answers the modal widgets that appear. Message boxes take the planned answers
// in turn; a box that comes with no answer planned, or without the planned button, fails the
// test (it is then closed with Esc, so that the test goes on), and so does an answer that is
// still planned when the plan goes. Other dialogs go to `on_dialog`, which must close them.
// The real QMessageBox is shown: its texts are part of the program.
class ModalPlan : public QObject {
 public:
  enum Answer { Ok, Cancel, Enter, Esc };
  struct Box {
    QString title, text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton default_button, escape_button;
  };

  explicit ModalPlan(std::initializer_list<Answer> answers = {},
                     std::function<void(QWidget *)> on_dialog = nullptr);
  ~ModalPlan() override;

  void plan(Answer answer) { answers_.enqueue(answer); }
  QStringList titles() const;
  QStringList texts() const;

  QList<Box> boxes;                         // every box seen, in order
  std::function<void(const Box &)> on_box;  // as each box appears, before it is answered

 private:
  void poll();
  QQueue<Answer> answers_;
  QStringList problems_;
  QTimer timer_;
  std::function<void(QWidget *)> on_dialog_;
};

// Runs the event loop until `done` holds: false if it still does not after `milliseconds`.
bool wait_until(const std::function<bool()> &done, int milliseconds = 30000);

// A valid image file of the given identity and total size, under the test temp directory.
QString write_image(const QString &name, const char *product, unsigned version, unsigned build,
                    uint32_t total_size = 100, uint32_t seed = 0);
QString write_bytes(const QString &name, const std::vector<unsigned char> &bytes);
QString temp_path(const QString &name);

#endif

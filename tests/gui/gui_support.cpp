#include "gui_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <cstring>

#include "imagegen.h"

ModalPlan::ModalPlan(std::initializer_list<Answer> answers,
                     std::function<void(QWidget *)> on_dialog)
    : on_dialog_(std::move(on_dialog)) {
  for (Answer answer : answers) answers_.enqueue(answer);
  connect(&timer_, &QTimer::timeout, this, &ModalPlan::poll);
  timer_.start(5);
}

ModalPlan::~ModalPlan() {
  if (!answers_.isEmpty()) problems_ << QString("%1 planned answer(s) unused").arg(answers_.size());
  if (!problems_.isEmpty()) QTest::qFail(qPrintable(problems_.join("; ")), __FILE__, __LINE__);
}

QStringList ModalPlan::titles() const {
  QStringList out;
  for (const Box &b : boxes) out << b.title;
  return out;
}

QStringList ModalPlan::texts() const {
  QStringList out;
  for (const Box &b : boxes) out << b.text;
  return out;
}

void ModalPlan::poll() {
  QWidget *modal = QApplication::activeModalWidget();
  if (modal == nullptr) return;
  auto *box = qobject_cast<QMessageBox *>(modal);
  if (box == nullptr) {
    if (on_dialog_) on_dialog_(modal);
    return;
  }
  const Box seen{box->windowTitle(),
                 box->text(),
                 box->icon(),
                 box->standardButtons(),
                 box->standardButton(box->defaultButton()),
                 box->standardButton(box->escapeButton())};
  boxes << seen;
  if (on_box) on_box(seen);
  if (answers_.isEmpty()) {
    problems_ << "unplanned box: " + seen.text;
    QTest::keyClick(box, Qt::Key_Escape);
    return;
  }
  const Answer answer = answers_.dequeue();
  if (answer == Enter || answer == Esc) {
    QTest::keyClick(box, answer == Enter ? Qt::Key_Return : Qt::Key_Escape);
    return;
  }
  QAbstractButton *button = box->button(answer == Ok ? QMessageBox::Ok : QMessageBox::Cancel);
  if (button == nullptr) {
    problems_ << "no planned button in box: " + seen.text;
    QTest::keyClick(box, Qt::Key_Escape);
    return;
  }
  button->click();
}

bool wait_until(const std::function<bool()> &done, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.hasExpired(milliseconds)) return false;
    QTest::qWait(2);
  }
  return true;
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
                    uint32_t total_size, uint32_t seed) {
  return write_bytes(name, imagegen_image(product, version, build, total_size - 36,
                                          seed != 0 ? seed : version * 7 + build));
}

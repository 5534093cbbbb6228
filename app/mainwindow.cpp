#include "mainwindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextStream>
#include <QVBoxLayout>

#include "ui_mainwindow.h"

namespace {

const char kEmbeddedImage[] = ":/res/update.bin";
const char kLicence[] = ":/res/LICENSE.txt";

// 105 shows as "1.05": major, then the minor part as two zero-filled digits.
QString version_text(unsigned version) {
  return QString("%1.%2").arg(version / 100).arg(version % 100, 2, 10, QChar('0'));
}

}  // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      timer(),
      device(),
      update_state(0),
      check_version(true),
      fw_path(kEmbeddedImage),
      job(),
      loaded() {
  ui->setupUi(this);
  load_fw(fw_path);
  auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::Key_F), this, nullptr,
                                 nullptr, Qt::WindowShortcut);
  connect(shortcut, &QShortcut::activated, this, &MainWindow::select_fw_path);
}

MainWindow::~MainWindow() { delete ui; }

void MainWindow::warn(const QString &text) {
  QMessageBox::warning(this, "Error", text, QMessageBox::Ok);
}

bool MainWindow::load_fw(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const qint64 size = file.size();
  if (size > LOADED_IMAGE_CAPACITY) return false;
  if (file.read(reinterpret_cast<char *>(loaded.data), size) != size) return false;
  loaded.size = static_cast<uint32_t>(size);
  if (loaded.size < static_cast<uint32_t>(device.set_image_header(nullptr))) return false;
  device.set_image_header(loaded.data);
  if (!DeviceConnection::check_image(loaded.data, static_cast<int32_t>(loaded.size))) {
    warn(QString("Checksum Error: %1").arg(path));
    return false;
  }
  std::string product;
  if (!device.get_image_product(product)) {
    warn(QString("Cannot get product name: %1").arg(path));
    return false;
  }
  // All three at once: a "%1" inside the product name must stay text.
  ui->label->setText(QString("%1 Firmware Updater\n\nTo %2, build %3")
                         .arg(QString::fromUtf8(product.c_str()),
                              version_text(device.get_image_version()),
                              QString("%1").arg(device.get_image_build())));
  return true;
}

void MainWindow::closeEvent(QCloseEvent *event) {
  if (update_state == 1) {
    warn("The firmware update is still running.\nPlease wait until it has finished.");
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void MainWindow::on_button_fwupdate_clicked() {
  // The update itself (pre-flight checks, confirmation and the worker thread) is not built
  // yet: the button deliberately does nothing rather than pretend to update.
}

void MainWindow::on_timer() {
  if (ui->progressBar->maximum() != static_cast<int>(job.total)) {
    ui->progressBar->setMaximum(static_cast<int>(job.total));
  }
  ui->progressBar->setValue(static_cast<int>(job.position.load(std::memory_order_relaxed)));
}

void MainWindow::on_finish() {
  timer.stop();
  on_timer();
  update_state = 0;
  ui->button_fwupdate->setEnabled(true);
  ui->button_fwupdate->setText(tr("Firmware Update"));
}

void MainWindow::on_processtext(QString text) { ui->label->setText(text); }

void MainWindow::on_error(QString error) { ui->label->setText(error); }

void MainWindow::on_actionAbout_triggered() {
  QFile file(kLicence);
  if (!file.open(QIODevice::ReadOnly)) {
    qDebug() << "Open Error";
    QMessageBox::warning(this, tr("File Missing!"),
                         tr("There is a possibility that the file has been moved or deleted."),
                         QMessageBox::Ok);
    qDebug() << QDir::current();
    qDebug() << QDir::home();
    qDebug() << QDir::root();
    return;
  }
  QTextStream stream(&file);
  stream.setCodec("UTF-8");
  QString text = stream.readAll();
  text.remove(QChar('\f'));  // the page breaks of the licence texts

  QDialog dialog;
  dialog.setWindowTitle("License Information");
  dialog.setFixedWidth(650);
  dialog.setFixedHeight(400);
  auto *layout = new QVBoxLayout(&dialog);
  auto *browser = new QTextBrowser(&dialog);
  layout->addWidget(browser);
  browser->setText(text);
  dialog.exec();
}

void MainWindow::select_fw_path() {
  // The image is being sent: it must not change until the update has finished.
  if (update_state == 1) {
    warn("The firmware image cannot be changed while an update is running.");
    return;
  }
  const QString chosen =
      QFileDialog::getOpenFileName(this, tr("Open File"), ".", tr("Firmware (*)"));
  check_version = false;
  if (!chosen.isEmpty()) {
    fw_path = chosen;
    if (load_fw(fw_path)) return;
  }
  fw_path = kEmbeddedImage;
  load_fw(fw_path);
}

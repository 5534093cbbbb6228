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

#include "imagefile.h"
#include "settingspanel.h"
#include "ui_mainwindow.h"
#include "updatechecks.h"

namespace {

const char kLicence[] = ":/res/LICENSE.txt";

}  // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      device(),
      update_state(0),
      check_version(true),
      fw_path(kEmbeddedImage),
      loaded() {
  ui->setupUi(this);
  connect(&run, &UpdateRun::progress, this, &MainWindow::on_timer);
  connect(&run, &UpdateRun::process_text, this, &MainWindow::on_processtext);
  connect(&run, &UpdateRun::error, this, &MainWindow::on_error);
  connect(&run, &UpdateRun::finished, this, &MainWindow::on_finish);
  load_fw(fw_path);
  auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::Key_F), this, nullptr,
                                 nullptr, Qt::WindowShortcut);
  connect(shortcut, &QShortcut::activated, this, &MainWindow::select_fw_path);
}

// The run, destroyed before the records its worker reads, waits for an update that still
// runs: the event loop can end during one (closing is refused, but a quit is not).
MainWindow::~MainWindow() { delete ui; }

void MainWindow::warn(const QString &text) {
  QMessageBox::warning(this, "Error", text, QMessageBox::Ok);
}

bool MainWindow::load_fw(const QString &path) {
  const ImageFile image = load_image_file(device, loaded, path);
  if (!image.loaded) {
    if (!image.problem.isEmpty()) warn(image.problem);
    return false;
  }
  // All three at once: a "%1" inside the product name must stay text.
  ui->label->setText(QString("%1 Firmware Updater\n\nTo %2, build %3")
                         .arg(image.product, version_text(device.get_image_version()),
                              QString("%1").arg(device.get_image_build())));
  return true;
}

void MainWindow::request_close() {
  if (update_state == 0) {
    close();
  } else {
    close_requested = true;
  }
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
  if (update_state != 0) return;
  end_settings_panel();  // before every check, on every press

  const UpdateChecks checks = check_update(device, loaded, fw_path, check_version);
  if (!checks.refusal.isEmpty()) return warn(checks.refusal);

  // A question box with OK and Cancel; Cancel answers Enter and Esc alike.
  QMessageBox question(QMessageBox::Question, "Firmware Update",
                       confirmation_text(checks.from, checks.to),
                       QMessageBox::Ok | QMessageBox::Cancel, this);
  question.setDefaultButton(QMessageBox::Cancel);
  question.setEscapeButton(QMessageBox::Cancel);
  if (question.exec() != QMessageBox::Ok) return;
  start_update();
}

void MainWindow::start_update() {
  update_state = 1;
  ui->button_fwupdate->setEnabled(false);
  ui->button_fwupdate->setText("Updating...");
  run.start(device, loaded, static_cast<uintptr_t>(winId()));
}

void MainWindow::on_timer() {
  if (ui->progressBar->maximum() != static_cast<int>(run.total())) {
    ui->progressBar->setMaximum(static_cast<int>(run.total()));
  }
  ui->progressBar->setValue(static_cast<int>(run.position()));
}

// The run has read the last count and ended its guard.
void MainWindow::on_finish() {
  update_state = 0;
  ui->button_fwupdate->setEnabled(true);
  ui->button_fwupdate->setText(tr("Firmware Update"));
  if (close_requested) close();
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

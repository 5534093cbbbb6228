#include "updaterun.h"

#include <QThread>

#include "fwupdateworker.h"

namespace {

const int kProgressTickMs = 100;

}  // namespace

UpdateRun::UpdateRun(QObject *parent) : QObject(parent) {
  job_.position.store(0, std::memory_order_relaxed);
  job_.total = 0;
  job_.image = nullptr;
  connect(&timer_, &QTimer::timeout, this, &UpdateRun::tick);
}

UpdateRun::~UpdateRun() {
  if (thread_.isNull()) return;
  // The event loop may have ended while the update ran (a quit is not refused), or just after
  // it: the thread's own loop ends as soon as the worker has returned, and nobody is told any
  // more. Its own deleteLater would need the ended event loop.
  disconnect(thread_, nullptr, this, nullptr);
  thread_->quit();
  thread_->wait();
  delete thread_.data();
}

void UpdateRun::begin(DeviceConnection &device, LoadedImage &loaded) {
  loaded.connection = &device;
  job_.image = &loaded;
  job_.position.store(0, std::memory_order_relaxed);
  job_.total = loaded.size;
}

// Queued from the worker's thread, direct in this one: either way the texts arrive in the
// order the worker sent them, and before the run's end.
void UpdateRun::connect_texts(FWUpdateWorker *worker) {
  connect(worker, &FWUpdateWorker::process_text, this, &UpdateRun::process_text);
  connect(worker, &FWUpdateWorker::error, this, &UpdateRun::error);
}

bool UpdateRun::start(DeviceConnection &device, LoadedImage &loaded, uintptr_t window) {
  if (running()) return false;
  begin(device, loaded);
  guard_.begin(window);
  auto *thread = new QThread;
  auto *worker = new FWUpdateWorker;
  worker->set_job(&job_);
  connect_texts(worker);
  worker->moveToThread(thread);
  connect(thread, &QThread::started, worker, &FWUpdateWorker::process);
  // The worker's finished() is its last act: it reads the job and the image no more. Queued
  // here behind its last text, it ends the run at once, while its thread winds down.
  connect(worker, &FWUpdateWorker::finished, this, &UpdateRun::end);
  connect(worker, &FWUpdateWorker::finished, thread, &QThread::quit);
  connect(worker, &FWUpdateWorker::finished, worker, &QObject::deleteLater);
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread_ = thread;
  busy_ = true;
  timer_.start(kProgressTickMs);
  emit started();
  thread->start(QThread::InheritPriority);
  return true;
}

void UpdateRun::run_here(DeviceConnection &device, LoadedImage &loaded) {
  if (running()) return;
  begin(device, loaded);
  FWUpdateWorker worker;
  worker.set_job(&job_);
  connect_texts(&worker);
  connect(&worker, &FWUpdateWorker::finished, this, &UpdateRun::end);
  here_ = true;
  emit started();
  worker.process();
  here_ = false;
}

void UpdateRun::tick() { emit progress(position(), total()); }

void UpdateRun::end() {
  busy_ = false;
  here_ = false;
  timer_.stop();
  tick();
  guard_.end();
  emit finished();
}

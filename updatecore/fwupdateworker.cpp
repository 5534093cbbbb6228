#include "fwupdateworker.h"

#include "deviceconnection.h"
#include "updateguard.h"
#include "updatejob.h"
#include "zvsleep.h"

namespace {

const uint8_t kClockSource = 1;
const uint32_t kSampleRate = 44100;
const int kStabilityReads = 3;         // back to back, before the first send
const uint32_t kLargestSpread = 256;   // between the highest and the lowest of them
const uint64_t kAttempts = 3;          // the first send and two retries
const int kVerifyReads = 10;           // after each send, a second apart
const uint32_t kLargestDistance = 15;  // from the header's checksum, either way
const unsigned kPauseMs = 1000;

const char kCompleted[] = "Completed.\n\nPlease turn ZV-16x16's power on again.";
const char kSupport[] = "\n\nPlease contact the technical support.";

uint32_t distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

}  // namespace

FWUpdateWorker::FWUpdateWorker(QObject *parent) : QObject(parent), job_(nullptr) {}

void FWUpdateWorker::fail(const QString &text) {
  emit error(text);
  emit finished();
}

void FWUpdateWorker::process() {
  const WorkerAwake awake;  // for the whole procedure, on every way out
  LoadedImage *image = job_ != nullptr ? job_->image : nullptr;
  if (image == nullptr || image->connection == nullptr || image->size == 0) return fail("ERROR");
  DeviceConnection &device = *image->connection;

  emit process_text("Preparing...");
  if (!device.set_clock_source(kClockSource)) return fail("Cannot Set Clocksource");
  if (!device.set_frequency(kSampleRate)) return fail("Cannot Set Frequency");

  // The same firmware reads alike within a small noise. A reading of 0 counts as none yet,
  // for the lowest as for the highest.
  uint32_t lowest = 0, highest = 0;
  for (int i = 0; i < kStabilityReads; ++i) {
    uint32_t reading = 0;
    if (!device.get_checksum(image->size, reading)) return fail("Cannot Get Hardware Checksum");
    if (lowest == 0 || reading < lowest) lowest = reading;
    if (highest == 0 || reading > highest) highest = reading;
  }
  if (highest - lowest > kLargestSpread) return fail("Hardware checksum is not valid.");

  QString failure = "ERROR";
  for (uint64_t attempt = 0; attempt < kAttempts; ++attempt) {
    zvsleep_ms(kPauseMs);
    emit process_text(attempt == 0 ? QString("Sending and Updating...")
                                   : QString("Retrying... %1/%2").arg(attempt).arg(kAttempts - 1));
    if (!device.update_firmware(image->data, image->size, job_)) {
      return fail("Firmware Update Failed");  // a failed send is not retried
    }
    emit process_text("Checking...");
    const uint32_t length = device.get_image_payload_size();
    const uint32_t expected = device.get_image_checksum();
    for (int read = 0; read < kVerifyReads; ++read) {
      zvsleep_ms(kPauseMs);
      uint32_t reading = 0;
      if (device.get_checksum(length, reading) && distance(reading, expected) <= kLargestDistance) {
        emit process_text(kCompleted);
        emit finished();
        return;
      }
    }
    failure = "Hardware checksum is not equal to firmware.";
  }
  fail(failure + kSupport);
}

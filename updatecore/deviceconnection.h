// The one object through which the application reaches the ZV-16x16 and asks questions
// about the loaded firmware image. Statuses of the device libraries become booleans here.
//
// Every device operation is a pass-through: with no device open it returns false and sends
// nothing; otherwise it makes exactly one request of the control library and returns true
// exactly when the request succeeded. Retries and time limits live below, in the requests,
// and above, in the update worker. Output arguments are written only by the request.
//
// Not locked: the window's thread uses it for the checks before an update, the worker's
// thread during one, never both at once.
#ifndef UPDATECORE_DEVICECONNECTION_H
#define UPDATECORE_DEVICECONNECTION_H

#include <atomic>
#include <cstdint>
#include <string>

#include "prgdecode.h"
#include "usbdevs.h"
#include "zvctl.h"

struct UpdateJob;

class DeviceConnection {
 public:
  // Clears the device record and tries one open, whose result is not kept.
  DeviceConnection();

  // Device side: the operations the application uses.
  bool open();   // searches again from index 0; false leaves the connection closed
  bool close();  // forgets the device; sends nothing
  bool is_open() const;
  // After a failed open: the interface is there, but the system would not let this user open it.
  static bool access_denied();
  bool get_product_name(std::string &out);  // appends at most 64 bytes
  bool get_version(uint16_t &out);
  bool get_build(uint16_t &out);
  bool get_checksum(uint32_t length, uint32_t &out);
  bool set_clock_source(uint8_t source);
  bool set_frequency(uint32_t hertz);
  // Sends the image bytes exactly as given; the transfer keeps job->position up to date.
  bool update_firmware(const uint8_t *data, uint32_t length, UpdateJob *job);

  // Device side: one pass-through for each further request of the library, with the
  // request's own arguments after the device reference.
  bool read_debug_text(std::string &out);  // appends; false also for an empty text
  bool get_version2(uint16_t *version);
  bool get_build2(uint16_t *build);
  bool get_checksum2(uint32_t count, uint32_t *checksum);
  bool set_13h(int value);
  bool set_89h(int value);
  bool get_18h(uint32_t *value);
  bool get_c4h(uint32_t *value);
  bool get_1ah(uint32_t *value);
  bool get_c1h(uint32_t *value);
  bool get_1bh(uint8_t *value);
  bool get_14h(uint8_t *value);  // stores 0 or 1
  bool send_a2h();
  bool get_list(zvctl_list_entry *entries, int maximum, uint8_t *count);
  bool set_pair(int a1, int b1, int a2, int b2);
  bool set_block_51h(int a, int b, int p3, int p4, int p5, int p6, int p7);
  bool set_block_91h(int a, int b, int p3, int p4, int p5, int p6, int p7, int p8, int p9);
  bool set_81h(int a, int b, int value);
  bool set_82h(int a, int b, int value);
  bool set_83h(int a, int b, int value);
  bool set_84h(int a, int b, int value);
  bool set_85h(int a, int b, int value);
  bool fwup2(const uint8_t *image, uint32_t total, std::atomic<uint32_t> *progress);
  using Request = int (*)(usbdevs_device **dev, int32_t value, uint8_t a, uint8_t b);
  bool call_request(int32_t value, uint8_t a, uint8_t b, Request request);

  // Image side: a copy of the loaded image's header and the questions answered from it.
  // Returns the header length (32) in every case; null copies nothing.
  int set_image_header(const uint8_t *header);
  static bool check_image(const uint8_t *image, int32_t length);
  bool get_image_product(std::string &out) const;  // appends
  uint16_t get_image_version() const;
  uint16_t get_image_build() const;
  uint32_t get_image_payload_size() const;
  uint32_t get_image_checksum() const;

  // Image files by name (offered by the class; the window loads images itself).
  bool set_image_file(const std::string &name);
  bool check_image_file() const;
  // Sums byte[i] * (i mod 256) over a whole file, wrapping at 32 bits.
  static bool file_weighted_sum(const char *name, int32_t *length, int32_t *sum);

 private:
  // The pass-through pattern: no device, false; otherwise one request and its status.
  template <typename... Params, typename... Args>
  bool pass(int (*request)(usbdevs_device **, Params...), Args... args) {
    return device_ != nullptr && request(&device_, args...) == 0;
  }

  usbdevs_device record_;
  usbdevs_device *device_;  // &record_ while open; its address is the device reference
  uint8_t image_header_[PRGDECODE_HEADER_SIZE];
  std::string image_file_;
};

#endif

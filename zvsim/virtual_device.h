// The virtual ZV-16x16: a device model that answers the vendor control requests as the
// interface does. The transports' test adapters hand it every transfer; tests set its
// identity, its pacing and its faults, and read back what it received.
//
// Time inside the model comes from the clock given at construction (the virtual clock in
// tests, a real one in the umockdev host). In steady state it allocates nothing, so that a
// whole firmware transfer through it can be measured for the host's own allocations.
#ifndef ZVSIM_VIRTUAL_DEVICE_H
#define ZVSIM_VIRTUAL_DEVICE_H

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace zvsim {

using Clock = uint64_t (*)();  // microseconds

enum { kReplySize = 64, kMaxImage = 1 << 20 };
// The model's own firmware at the start: a generated image of this payload size and seed.
enum : uint32_t { kStartPayloadSize = 606204, kStartSeed = 0x5EED };

// How the device behaves when nothing goes wrong.
struct Settings {
  // Window offered at each status query of a transfer, taken in turn; a 0 stands for a
  // moment in which the device writes flash and takes nothing.
  std::vector<uint32_t> windows = {1024};
  uint32_t busy_after_command_ms = 0;      // reports busy for this long after each message
  int answer_hold_polls = 0;               // answers appear only after this many empty replies
  uint32_t checksum_time_ms = 0;           // a checksum answer is ready this long after the request
  uint32_t checksum_noise = 0;             // each reading adds 0 .. noise
  std::deque<uint32_t> checksum_readings;  // the next checksum answers, in turn, as given
  uint32_t flash_write_ms = 0;             // after the last byte, before the transfer completes
  int list_entries_per_reply = 2;          // per-target list entries in one reply
  bool status_split_replies = false;       // window and offset of a status answer in two replies
  std::string debug_text;                  // sent with the next debug_text_replies replies
  int debug_text_replies = 0;
  uint64_t plugged_in_at_us = 0;      // on the bus only from this time on: a late plug
  bool log_transfers = false;         // keep every transfer for the tests to read
  std::function<void()> on_transfer;  // called at the start of every transfer
};

// What can go wrong. Counters count down as they act.
struct Faults {
  int fail_out = 0;                          // the next N host-to-device transfers fail
  int fail_in = 0;                           // the next N device-to-host transfers fail
  long unplug_after_transfers = -1;          // unplugged once this many transfers were made
  long unplug_at_byte = -1;                  // unplugged once this many image bytes were received
  bool mute = false;                         // every reply is 64 zero bytes (no items)
  int busy_polls = 0;                        // the next N replies report busy
  bool window_stuck_zero = false;            // status replies always offer window 0
  int offset_behind_replies = 0;             // the next N status replies report an offset...
  uint32_t offset_behind_bytes = 0;          // ...this far below the true one
  bool completion_offset_wrong = false;      // once complete, the offset reported is one short
  bool never_complete = false;               // the received image is never taken over
  uint32_t checksum_error_after_update = 0;  // added to every reading after an update
  std::vector<uint8_t> info_withheld;        // device information items left out of answers
};

struct TransferRecord {
  bool in;
  uint8_t request;
  uint16_t length;
  std::vector<uint8_t> data;  // what went over the wire
};

// One per-target value, addressed by its selector pair.
struct Target {
  uint32_t a;
  uint8_t b;
  uint16_t value;
};

class VirtualDevice {
 public:
  explicit VirtualDevice(Clock clock);
  // Running these stored image bytes from the start, rather than the model's own firmware.
  VirtualDevice(Clock clock, const std::vector<uint8_t> &firmware);
  VirtualDevice(const VirtualDevice &) = delete;
  VirtualDevice &operator=(const VirtualDevice &) = delete;

  Settings settings;
  Faults faults;

  // Replaces the running firmware with a generated image of the given identity.
  void install_firmware(const char *product, uint16_t version, uint16_t build,
                        uint32_t payload_size = kStartPayloadSize, uint32_t seed = kStartSeed);
  // Replaces the running firmware with these stored image bytes (header, scrambled body).
  void install_image(const std::vector<uint8_t> &image);
  // A reply returned as it stands before anything else on that channel (0 primary, 1 secondary).
  void push_raw_reply(int channel, const std::vector<uint8_t> &bytes);

  // The transfers. control_out returns 0 or -1, control_in the number of bytes or -1.
  int control_out(uint8_t request, uint16_t value, uint16_t index, const uint8_t *data,
                  uint16_t length);
  int control_in(uint8_t request, uint16_t value, uint16_t index, uint8_t *data, uint16_t length);

  bool plugged() const { return !unplugged_ && clock_() >= settings.plugged_in_at_us; }
  void unplug() { unplugged_ = true; }
  // Plugged in again, as after a power cycle: answers nobody collected and a transfer in
  // progress are lost, the firmware is the one last taken over, and the unplug faults,
  // having acted, are cleared.
  void replug();

  // What the device is and holds.
  std::string product() const;
  uint16_t version() const;
  uint16_t build() const;
  const std::vector<uint8_t> &firmware() const { return active_; }
  uint32_t checksum_over(uint32_t count) const;  // without noise or faults
  uint32_t received() const { return fw_received_; }
  // The bytes of the latest transfer: the new firmware once taken over, else what came.
  const std::vector<uint8_t> &received_image() const;
  uint32_t announced_size() const { return fw_size_; }
  int clock_source() const { return clock_source_; }
  uint32_t frequency() const { return frequency_; }
  int setting_13h() const { return setting_13h_; }
  int setting_89h() const { return setting_89h_; }
  int a2h_commands() const { return a2h_commands_; }
  std::vector<Target> targets;

  // What the device has been told and has told, for telling the stages of an update apart
  // (update_stages.h).
  long frequency_settings() const { return frequency_settings_; }
  long checksum_answers() const { return checksum_answers_; }  // replies that carried one
  bool taken_over() const { return received_taken_over_; }

  long transfers() const { return transfers_; }
  long transfers_out() const { return transfers_out_; }
  long transfers_in() const { return transfers_in_; }
  long dropped_chunks() const { return dropped_chunks_; }
  long chunks() const { return chunks_; }  // chunks taken, since construction
  const std::vector<TransferRecord> &log() const { return log_; }
  // Host-to-device messages on a channel's send request, in order.
  std::vector<std::vector<uint8_t>> messages(uint8_t request) const;
  void clear_log() { log_.clear(); }

 private:
  struct Item {
    uint8_t id;
    uint8_t type;
    uint8_t size;     // for byte strings
    bool ends_reply;  // the next item goes into a later reply
    uint32_t value;
    uint64_t ready_at;  // not sent before this time
    std::array<uint8_t, 61> bytes;
  };
  enum { kQueueItems = 48 };
  struct Queue {
    std::array<Item, kQueueItems> items;
    int head = 0;
    int count = 0;
    int hold = 0;  // empty replies still to give before the answers
    std::deque<std::array<uint8_t, kReplySize>> raw;
  };
  enum class Fw { kIdle, kReceiving, kWriting, kDone };

  bool transfer_fails(int *counter);
  void handle_message(int channel, const uint8_t *data, uint16_t length);
  void handle_item(int channel, int id, int type, uint32_t value, const uint8_t *bytes,
                   uint8_t size);
  void answer(int channel, uint8_t id, uint8_t type, uint32_t value, uint64_t delay_us = 0);
  void answer_bytes(int channel, uint8_t id, const void *bytes, uint8_t size);
  void end_reply(int channel);
  void build_reply(int channel, uint8_t *reply);
  void start_transfer(uint32_t size);
  void take_chunk(const uint8_t *bytes, uint8_t size);
  void answer_status(int channel);
  void update_writing();
  void answer_list(int channel);
  Target *find_target(uint32_t a, uint8_t b);
  bool withheld(uint8_t id) const;
  uint32_t checksum_reading(uint32_t count);
  uint32_t sum_of_running_firmware(uint32_t count);

  Clock clock_;
  Queue queues_[2];
  bool unplugged_ = false;
  uint64_t busy_until_ = 0;
  long transfers_ = 0, transfers_out_ = 0, transfers_in_ = 0, dropped_chunks_ = 0, chunks_ = 0;
  long frequency_settings_ = 0, checksum_answers_ = 0;
  std::vector<TransferRecord> log_;

  std::vector<uint8_t> active_;  // running firmware, as stored
  std::vector<uint8_t> rx_;      // image being received
  bool updated_ = false;
  bool received_taken_over_ = false;  // active_ holds the latest transfer's image
  Fw fw_state_ = Fw::kIdle;
  uint32_t fw_size_ = 0, fw_received_ = 0, fw_grant_ = 0;
  size_t window_index_ = 0;
  uint64_t write_done_at_ = 0;
  uint32_t noise_state_ = 12345;
  // The running firmware's sums over the counts asked for last: reading a sum decodes the
  // whole image, and a host asks for the same two counts again and again.
  struct Sum {
    uint32_t count;
    uint32_t sum;
  };
  std::array<Sum, 2> sums_{};
  int sums_known_ = 0;

  int clock_source_ = 0;
  uint32_t frequency_ = 48000;
  int setting_13h_ = 0, setting_89h_ = 0, a2h_commands_ = 0;
  uint32_t selector_a_ = 0;
  uint8_t selector_b_ = 0;
};

}  // namespace zvsim

#endif

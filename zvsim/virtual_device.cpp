#include "virtual_device.h"

#include <algorithm>
#include <cstring>

#include "imagegen.h"
#include "prgdecode.h"
#include "zv_build_values.h"
#include "zvitems.h"
#include "zvmsg.h"

namespace zvsim {

namespace {

const uint64_t kUsPerMs = 1000;

// Answers of the queries the updater itself never makes; plausible fixed values.
const uint8_t kAnswer14h = 1;
const uint32_t kAnswer18h = 0x00010002;
const uint32_t kAnswer1Ah = 48000;
const uint8_t kAnswer1Bh = 2;
const uint32_t kAnswerC1h = 0x16;
const uint32_t kAnswerC4h = 0x0100;
const uint16_t kHardwareRevision = 3;
const char kSerial[] = "ZV16-000417";

uint32_t be32(const uint8_t *p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

int channel_of(uint8_t request, uint8_t primary, uint8_t secondary) {
  if (request == primary) return 0;
  if (request == secondary) return 1;
  return -1;
}

}  // namespace

VirtualDevice::VirtualDevice(Clock clock, const std::vector<uint8_t> &firmware) : clock_(clock) {
  // Both image buffers keep room for the largest image, so that receiving and taking over
  // an image never allocates.
  active_.reserve(kMaxImage);
  rx_.reserve(kMaxImage);
  targets = {{1, 0, 100}, {1, 1, 101}, {2, 0, 200}, {3, 1, 310}, {3, 2, 320}};
  install_image(firmware);
}

VirtualDevice::VirtualDevice(Clock clock)
    : VirtualDevice(clock, imagegen_image("ZV-16x16", ZV_SIM_START_VERSION, ZV_SIM_START_BUILD,
                                          kStartPayloadSize, kStartSeed)) {}

void VirtualDevice::install_firmware(const char *product, uint16_t version, uint16_t build,
                                     uint32_t payload_size, uint32_t seed) {
  install_image(imagegen_image(product, version, build, payload_size, seed));
}

void VirtualDevice::install_image(const std::vector<uint8_t> &image) {
  active_.assign(image.begin(), image.end());
  updated_ = false;
  sums_known_ = 0;
}

void VirtualDevice::push_raw_reply(int channel, const std::vector<uint8_t> &bytes) {
  std::array<uint8_t, kReplySize> reply{};
  std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), kReplySize), reply.begin());
  queues_[channel].raw.push_back(reply);
}

void VirtualDevice::replug() {
  unplugged_ = false;
  faults.unplug_after_transfers = -1;
  faults.unplug_at_byte = -1;
  for (Queue &q : queues_) {
    q.head = q.count = q.hold = 0;
    q.raw.clear();
  }
  busy_until_ = 0;
  fw_state_ = Fw::kIdle;
}

const std::vector<uint8_t> &VirtualDevice::received_image() const {
  return received_taken_over_ ? active_ : rx_;
}

std::string VirtualDevice::product() const {
  if (active_.size() < PRGDECODE_HEADER_SIZE) return std::string();
  const char *name = reinterpret_cast<const char *>(active_.data());
  return std::string(name, strnlen(name, PRGDECODE_PRODUCT_SIZE));
}

uint16_t VirtualDevice::version() const {
  return active_.size() < PRGDECODE_HEADER_SIZE
             ? 0
             : static_cast<uint16_t>(prgdecode_version(active_.data()));
}

uint16_t VirtualDevice::build() const {
  return active_.size() < PRGDECODE_HEADER_SIZE
             ? 0
             : static_cast<uint16_t>(prgdecode_build(active_.data()));
}

uint32_t VirtualDevice::checksum_over(uint32_t count) const {
  if (active_.size() <= PRGDECODE_HEADER_SIZE) return 0;
  const uint32_t available = static_cast<uint32_t>(active_.size()) - PRGDECODE_HEADER_SIZE;
  const uint32_t n = std::min(count, available);
  uint32_t sum = 0;
  uint8_t block[256];
  for (uint32_t done = 0; done < n;) {
    const uint32_t step = std::min<uint32_t>(sizeof block, n - done);
    prgdecode_decode(block, active_.data() + PRGDECODE_HEADER_SIZE + done,
                     static_cast<int32_t>(step));
    for (uint32_t i = 0; i < step; ++i) sum += block[i];
    done += step;
  }
  return sum;
}

uint32_t VirtualDevice::checksum_reading(uint32_t count) {
  if (!settings.checksum_readings.empty()) {
    const uint32_t scripted = settings.checksum_readings.front();
    settings.checksum_readings.pop_front();
    return scripted;
  }
  uint32_t reading = sum_of_running_firmware(count);
  if (settings.checksum_noise > 0) {
    noise_state_ = noise_state_ * 1103515245u + 12345u;
    reading += (noise_state_ >> 8) % (settings.checksum_noise + 1);
  }
  if (updated_) reading += faults.checksum_error_after_update;
  return reading;
}

uint32_t VirtualDevice::sum_of_running_firmware(uint32_t count) {
  for (int i = 0; i < sums_known_; ++i) {
    if (sums_[i].count == count) return sums_[i].sum;
  }
  const Sum fresh = {count, checksum_over(count)};
  sums_[1] = sums_[0];
  sums_[0] = fresh;
  sums_known_ = std::min(sums_known_ + 1, 2);
  return fresh.sum;
}

std::vector<std::vector<uint8_t>> VirtualDevice::messages(uint8_t request) const {
  std::vector<std::vector<uint8_t>> result;
  for (const TransferRecord &r : log_) {
    if (!r.in && r.request == request) result.push_back(r.data);
  }
  return result;
}

bool VirtualDevice::transfer_fails(int *counter) {
  if (settings.on_transfer) settings.on_transfer();
  ++transfers_;
  if (faults.unplug_after_transfers >= 0 && transfers_ > faults.unplug_after_transfers) {
    unplugged_ = true;
  }
  if (unplugged_) return true;
  if (*counter > 0) {
    --*counter;
    return true;
  }
  return false;
}

int VirtualDevice::control_out(uint8_t request, uint16_t, uint16_t, const uint8_t *data,
                               uint16_t length) {
  ++transfers_out_;
  if (transfer_fails(&faults.fail_out)) return -1;
  const int channel = channel_of(request, ZV_REQ_SEND, ZV_REQ_SEND2);
  if (channel < 0 || length == 0 || length > kReplySize || data == nullptr) return -1;
  if (settings.log_transfers) log_.push_back({false, request, length, {data, data + length}});
  handle_message(channel, data, length);
  if (settings.busy_after_command_ms > 0) {
    busy_until_ = clock_() + settings.busy_after_command_ms * kUsPerMs;
  }
  return 0;
}

int VirtualDevice::control_in(uint8_t request, uint16_t, uint16_t, uint8_t *data, uint16_t length) {
  ++transfers_in_;
  if (transfer_fails(&faults.fail_in)) return -1;
  const int channel = channel_of(request, ZV_REQ_RECEIVE, ZV_REQ_RECEIVE2);
  if (channel < 0) return -1;
  uint8_t reply[kReplySize] = {};
  build_reply(channel, reply);
  const uint16_t n = std::min<uint16_t>(length, kReplySize);
  std::memcpy(data, reply, n);
  if (settings.log_transfers) log_.push_back({true, request, n, {reply, reply + n}});
  return n;
}

void VirtualDevice::handle_message(int channel, const uint8_t *data, uint16_t length) {
  uint8_t copy[kReplySize];
  std::memcpy(copy, data, length);
  zvmsg_buffer msg;
  zvmsg_attach(&msg, copy, static_cast<uint8_t>(length));
  // A new message supersedes answers the host never collected.
  queues_[channel].count = 0;
  int id = 0, type = 0;
  uintptr_t value = 0;
  uint8_t size = 0;
  while (zvmsg_next(&msg, &id, &type, &value, &size) == 0) {
    const bool bytes = type == ZVMSG_BYTES;
    handle_item(channel, id, type, bytes ? 0 : static_cast<uint32_t>(value),
                bytes ? reinterpret_cast<const uint8_t *>(value) : nullptr, size);
  }
  if (queues_[channel].count > 0) queues_[channel].hold = settings.answer_hold_polls;
}

void VirtualDevice::handle_item(int channel, int id, int type, uint32_t value, const uint8_t *bytes,
                                uint8_t size) {
  switch (id) {
    case ZV_ITEM_SET_13H:
      setting_13h_ = static_cast<uint8_t>(value);
      break;
    case ZV_ITEM_SET_89H:
      setting_89h_ = static_cast<uint8_t>(value);
      break;
    case ZV_ITEM_COMMAND_A2H:
      ++a2h_commands_;
      break;
    case ZV_ITEM_FREQUENCY:
      frequency_ = value;
      ++frequency_settings_;
      break;
    case ZV_ITEM_CLOCK_SOURCE:
      clock_source_ = static_cast<uint8_t>(value);
      break;
    case ZV_ITEM_QUERY_14H:
      answer(channel, ZV_ITEM_ANSWER_14H, ZVMSG_U8, kAnswer14h);
      break;
    case ZV_ITEM_QUERY_18H:
      answer(channel, ZV_ITEM_QUERY_18H, ZVMSG_U32, kAnswer18h);
      break;
    case ZV_ITEM_QUERY_1AH:
      answer(channel, ZV_ITEM_QUERY_1AH, ZVMSG_U32, kAnswer1Ah);
      break;
    case ZV_ITEM_QUERY_1BH:
      answer(channel, ZV_ITEM_QUERY_1BH, ZVMSG_U8, kAnswer1Bh);
      break;
    case ZV_ITEM_QUERY_C1H:
      answer(channel, ZV_ITEM_QUERY_C1H, ZVMSG_U32, kAnswerC1h);
      break;
    case ZV_ITEM_QUERY_C4H:
      answer(channel, ZV_ITEM_QUERY_C4H, ZVMSG_U16, kAnswerC4h);
      break;
    case ZV_ITEM_FWUP_SIZE:
      start_transfer(value);
      break;
    case ZV_ITEM_FWUP_STATUS:
      answer_status(channel);
      break;
    case ZV_ITEM_FWUP_DATA:
    case ZV_ITEM_FWUP_DATA_END:
      if (type == ZVMSG_BYTES) take_chunk(bytes, size);
      break;
    case ZV_ITEM_CHECKSUM_REQUEST:
      answer(channel, ZV_ITEM_CHECKSUM, ZVMSG_U32, checksum_reading(value),
             settings.checksum_time_ms * kUsPerMs);
      break;
    case ZV_ITEM_INFO: {
      const std::string name = product();
      if (!withheld(ZV_ITEM_PRODUCT))
        answer_bytes(channel, ZV_ITEM_PRODUCT, name.data(), static_cast<uint8_t>(name.size()));
      if (!withheld(ZV_ITEM_VERSION)) answer(channel, ZV_ITEM_VERSION, ZVMSG_U16, version());
      if (!withheld(ZV_ITEM_BUILD)) answer(channel, ZV_ITEM_BUILD, ZVMSG_U16, build());
      if (!withheld(ZV_ITEM_INFO_35H))
        answer(channel, ZV_ITEM_INFO_35H, ZVMSG_U16, kHardwareRevision);
      if (!withheld(ZV_ITEM_INFO_36H))
        answer_bytes(channel, ZV_ITEM_INFO_36H, kSerial, sizeof kSerial - 1);
      break;
    }
    case ZV_ITEM_SELECTOR_A:
      selector_a_ = value;
      break;
    case ZV_ITEM_SELECTOR_B:
      selector_b_ = static_cast<uint8_t>(value);
      break;
    case ZV_ITEM_READ_REQUEST: {
      const Target *t = find_target(selector_a_, selector_b_);
      answer(channel, ZV_ITEM_SELECTOR_A, ZVMSG_U8, selector_a_);
      answer(channel, ZV_ITEM_SELECTOR_B, ZVMSG_U8, selector_b_);
      answer(channel, ZV_ITEM_READ_ANSWER, ZVMSG_U16, t != nullptr ? t->value : 0);
      break;
    }
    case ZV_ITEM_LIST_REQUEST:
      answer_list(channel);
      break;
    case ZV_ITEM_TARGET_81H:
    case ZV_ITEM_TARGET_81H + 1:
    case ZV_ITEM_TARGET_81H + 2:
    case ZV_ITEM_TARGET_81H + 3:
    case ZV_ITEM_TARGET_81H + 4: {
      // Single per-target values: the model keeps the last one as the target's value.
      Target *t = find_target(selector_a_, selector_b_);
      if (t != nullptr) t->value = static_cast<uint16_t>(value);
      break;
    }
    default:
      break;  // settings whose meaning lies in the firmware: taken and ignored
  }
}

bool VirtualDevice::withheld(uint8_t id) const {
  return std::find(faults.info_withheld.begin(), faults.info_withheld.end(), id) !=
         faults.info_withheld.end();
}

Target *VirtualDevice::find_target(uint32_t a, uint8_t b) {
  for (Target &t : targets) {
    if (t.a == a && t.b == b) return &t;
  }
  return nullptr;
}

void VirtualDevice::answer_list(int channel) {
  int in_reply = 0;
  for (const Target &t : targets) {
    answer(channel, ZV_ITEM_SELECTOR_A, ZVMSG_U8, t.a);
    answer(channel, ZV_ITEM_SELECTOR_B, ZVMSG_U8, t.b);
    answer(channel, ZV_ITEM_LIST_VALUE, ZVMSG_U16, t.value);
    if (++in_reply == settings.list_entries_per_reply) {
      end_reply(channel);
      in_reply = 0;
    }
  }
}

void VirtualDevice::answer(int channel, uint8_t id, uint8_t type, uint32_t value,
                           uint64_t delay_us) {
  Queue &q = queues_[channel];
  if (q.count == kQueueItems) {  // full: the oldest answer is lost, as on a real device
    q.head = (q.head + 1) % kQueueItems;
    --q.count;
  }
  Item &item = q.items[(q.head + q.count) % kQueueItems];
  item.id = id;
  item.type = type;
  item.size = 0;
  item.ends_reply = false;
  item.value = value;
  item.ready_at = clock_() + delay_us;
  ++q.count;
}

void VirtualDevice::answer_bytes(int channel, uint8_t id, const void *bytes, uint8_t size) {
  answer(channel, id, ZVMSG_BYTES, 0);
  Queue &q = queues_[channel];
  Item &item = q.items[(q.head + q.count - 1) % kQueueItems];
  item.size = std::min<uint8_t>(size, sizeof item.bytes);
  std::memcpy(item.bytes.data(), bytes, item.size);
}

void VirtualDevice::end_reply(int channel) {
  Queue &q = queues_[channel];
  if (q.count > 0) q.items[(q.head + q.count - 1) % kQueueItems].ends_reply = true;
}

void VirtualDevice::build_reply(int channel, uint8_t *reply) {
  Queue &q = queues_[channel];
  if (!q.raw.empty()) {
    std::memcpy(reply, q.raw.front().data(), kReplySize);
    q.raw.pop_front();
    return;
  }
  if (faults.mute) return;
  zvmsg_buffer msg;
  zvmsg_attach(&msg, reply, kReplySize);
  if (faults.busy_polls > 0 || clock_() < busy_until_) {
    if (faults.busy_polls > 0) --faults.busy_polls;
    zvmsg_append(&msg, ZV_ITEM_READY, ZVMSG_U8, 0, 0);
    return;
  }
  if (settings.debug_text_replies > 0) {
    --settings.debug_text_replies;
    const std::string &text = settings.debug_text;
    zvmsg_append(&msg, ZV_ITEM_DEBUG_TEXT, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(text.data()),
                 static_cast<uint8_t>(std::min<size_t>(text.size(), 40)));
  }
  if (q.hold > 0) {
    --q.hold;
  } else {
    const uint64_t now = clock_();
    while (q.count > 0) {
      const Item &item = q.items[q.head];
      if (item.ready_at > now) break;
      const uintptr_t value =
          item.type == ZVMSG_BYTES ? reinterpret_cast<uintptr_t>(item.bytes.data()) : item.value;
      if (item.type == ZVMSG_BYTES && item.size == 0) {
        // An empty string: the framing's length 0 would mean "the rest of the buffer".
        if (msg.capacity - msg.position < 3) break;
        reply[msg.position] = item.id;
        reply[msg.position + 1] = ZVMSG_BYTES;
        reply[msg.position + 2] = 0;
        msg.position = static_cast<uint8_t>(msg.position + 3);
      } else if (msg.capacity - msg.position < 2 ||
                 zvmsg_append(&msg, item.id, item.type, value, item.size) != 0) {
        break;  // does not fit: it goes into the next reply
      }
      const bool last = item.ends_reply;
      if (item.id == ZV_ITEM_CHECKSUM) ++checksum_answers_;
      q.head = (q.head + 1) % kQueueItems;
      --q.count;
      if (last) break;
    }
  }
  if (msg.position == 0) zvmsg_append(&msg, ZV_ITEM_READY, ZVMSG_U8, 1, 0);
}

void VirtualDevice::start_transfer(uint32_t size) {
  fw_size_ = size;
  fw_received_ = 0;
  fw_grant_ = 0;
  window_index_ = 0;
  rx_.clear();
  received_taken_over_ = false;
  fw_state_ = Fw::kReceiving;
  if (size == 0) {
    fw_state_ = Fw::kWriting;
    write_done_at_ = clock_() + settings.flash_write_ms * kUsPerMs;
  }
}

void VirtualDevice::take_chunk(const uint8_t *bytes, uint8_t size) {
  if (fw_state_ != Fw::kReceiving || size > fw_grant_ || fw_received_ + size > fw_size_ ||
      fw_received_ + size > kMaxImage) {
    ++dropped_chunks_;  // not asked for: the offset stays where it is
    return;
  }
  ++chunks_;
  rx_.insert(rx_.end(), bytes, bytes + size);
  fw_received_ += size;
  fw_grant_ -= size;
  if (faults.unplug_at_byte >= 0 && fw_received_ >= static_cast<uint32_t>(faults.unplug_at_byte)) {
    unplugged_ = true;
  }
  if (fw_received_ == fw_size_) {
    fw_state_ = Fw::kWriting;
    write_done_at_ = clock_() + settings.flash_write_ms * kUsPerMs;
  }
}

void VirtualDevice::update_writing() {
  if (fw_state_ != Fw::kWriting || faults.never_complete || clock_() < write_done_at_) return;
  fw_state_ = Fw::kDone;
  // A complete image replaces the running firmware; the buffers swap without allocating.
  if (fw_size_ >= PRGDECODE_FRAME_SIZE && be32(rx_.data() + PRGDECODE_OFF_SIZE) <= fw_size_) {
    active_.swap(rx_);
    rx_.clear();
    sums_known_ = 0;
    updated_ = true;
    received_taken_over_ = true;
  }
}

void VirtualDevice::answer_status(int channel) {
  update_writing();
  switch (fw_state_) {
    case Fw::kReceiving: {
      uint32_t window = 0;
      if (!faults.window_stuck_zero && !settings.windows.empty()) {
        window = settings.windows[window_index_++ % settings.windows.size()];
      }
      fw_grant_ = window;
      uint32_t offset = fw_received_;
      if (faults.offset_behind_replies > 0) {
        --faults.offset_behind_replies;
        offset -= std::min(offset, faults.offset_behind_bytes);
      }
      answer(channel, ZV_ITEM_FWUP_WINDOW, ZVMSG_U32, window);
      if (settings.status_split_replies) end_reply(channel);
      answer(channel, ZV_ITEM_FWUP_OFFSET, ZVMSG_U32, offset);
      break;
    }
    case Fw::kWriting:  // still writing flash: no window yet
      answer(channel, ZV_ITEM_FWUP_OFFSET, ZVMSG_U32, fw_received_);
      break;
    case Fw::kDone:
      answer(channel, ZV_ITEM_FWUP_WINDOW, ZVMSG_U32, 0);
      answer(channel, ZV_ITEM_FWUP_OFFSET, ZVMSG_U32,
             faults.completion_offset_wrong ? fw_size_ - 1 : fw_size_);
      break;
    case Fw::kIdle:
      answer(channel, ZV_ITEM_FWUP_WINDOW, ZVMSG_U32, 0);
      answer(channel, ZV_ITEM_FWUP_OFFSET, ZVMSG_U32, 0);
      break;
  }
  end_reply(channel);
}

}  // namespace zvsim

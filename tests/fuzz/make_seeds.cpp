// Makes the fuzzers' seed corpora with the project's own tools: images from the image
// generator, and for the protocol targets the replies that the virtual ZV-16x16 gives to each
// request and to whole transfers, recorded from its transfer log.
//
//   make_seeds CORPUS_ROOT     (writes CORPUS_ROOT/<target>/seed-*)
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagegen.h"
#include "stdout_redirect.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "zvctl.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string root;

void write(const std::string &target, const std::string &name, const Bytes &bytes) {
  const std::string dir = root + "/" + target;
  mkdir(dir.c_str(), 0755);
  FILE *f = std::fopen((dir + "/seed-" + name).c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

Bytes image(uint32_t payload, uint32_t seed) {
  return imagegen_image("ZV-16x16", 106, 2318, payload, seed);
}

// The replies the device gave while `run` talked to it, after a selector byte.
Bytes recorded(uint8_t selector, const std::function<void(zvsim::VirtualDevice &)> &setup,
               const std::function<void(usbdevs_device **)> &run) {
  zvsim::VirtualDevice device(vclock_now_us);
  device.settings.log_transfers = true;
  if (setup) setup(device);
  usbdevs_virtual_connect(&device);
  usbdevs_device record{};
  usbdevs_device *dev = nullptr;
  zvctl_clear(&record);
  zvctl_reset_search(&record);
  zvctl_open_next(&record, &dev);
  run(&dev);
  usbdevs_virtual_connect(nullptr);
  Bytes out = {selector};
  for (const zvsim::TransferRecord &r : device.log()) {
    if (r.in) out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

void images() {
  write("image", "valid", image(400, 1));
  write("image", "no-payload", image(0, 1));
  Bytes bad_trailer = image(100, 2);
  bad_trailer.back() ^= 0x5A;
  write("image", "bad-trailer", bad_trailer);
  Bytes bad_sum = image(100, 3);
  bad_sum[40] ^= 1;
  write("image", "bad-sum", bad_sum);
  const Bytes whole = image(100, 4);
  write("image", "short", Bytes(whole.begin(), whole.begin() + 30));
  Bytes extra = image(50, 5);
  extra.insert(extra.end(), {1, 2, 3});
  write("image", "extra-bytes", extra);
}

// The first recorded reply that starts with item `id`.
Bytes reply_with(const Bytes &replies, uint8_t id) {
  for (size_t at = 1; at + 64 <= replies.size(); at += 64) {
    if (replies[at] == id) return Bytes(replies.begin() + at, replies.begin() + at + 64);
  }
  return Bytes(64, 0);
}

void replies() {
  // One reply of each kind the device gives, then a run of items to build.
  const Bytes info = recorded(0, nullptr, [](usbdevs_device **dev) {
    uint16_t v;
    zvctl_get_version(dev, &v);
  });
  write("reply", "info", reply_with(info, ZV_ITEM_PRODUCT));
  const Bytes status = recorded(0, nullptr, [](usbdevs_device **dev) {
    const Bytes img = image(100, 6);
    zvctl_fwup(dev, img.data(), static_cast<uint32_t>(img.size()), nullptr);
  });
  write("reply", "status", reply_with(status, ZV_ITEM_FWUP_WINDOW));
  write("reply", "busy",
        reply_with(recorded(
                       0, [](zvsim::VirtualDevice &d) { d.faults.busy_polls = 1; },
                       [](usbdevs_device **dev) { zvctl_wait_idle(dev); }),
                   ZV_ITEM_READY));
  Bytes build = Bytes(64, 0);
  const uint8_t items[] = {0x31, 1, 0, 0x19, 2, 1, 0x17, 4, 0, 0x25, 5, 61, 0, 0, 0};
  build.insert(build.end(), items, items + sizeof items);
  write("reply", "items", build);
}

void requests() {
  // Selector bytes as fuzz_requests.cpp numbers its requests.
  const struct {
    uint8_t selector;
    const char *name;
    std::function<void(usbdevs_device **)> run;
  } cases[] = {
      {0, "product",
       [](usbdevs_device **d) {
         uint8_t b[64], n;
         zvctl_get_product_name(d, b, 64, &n);
       }},
      {5, "version",
       [](usbdevs_device **d) {
         uint16_t v;
         zvctl_get_version(d, &v);
       }},
      {7, "version2",
       [](usbdevs_device **d) {
         uint16_t v;
         zvctl_get_version2(d, &v);
       }},
      {9, "18h",
       [](usbdevs_device **d) {
         uint32_t v;
         zvctl_get_18h(d, &v);
       }},
      {15, "checksum",
       [](usbdevs_device **d) {
         uint32_t v;
         zvctl_get_checksum(d, 606204, &v);
       }},
      {18, "list",
       [](usbdevs_device **d) {
         zvctl_list_entry e[3];
         uint8_t n;
         zvctl_get_list(d, e, 3, &n);
       }},
      {19, "read-value",
       [](usbdevs_device **d) {
         uint16_t v;
         zvctl_read_value(d, 3, 1, &v);
       }},
  };
  for (const auto &c : cases) write("requests", c.name, recorded(c.selector, nullptr, c.run));
  write("requests", "debug-text",
        recorded(
            17,
            [](zvsim::VirtualDevice &d) {
              d.settings.debug_text = "boot ok";
              d.settings.debug_text_replies = 2;
            },
            [](usbdevs_device **d) {
              uint8_t b[63], n;
              zvctl_read_debug_text(d, b, 63, &n);
            }));
}

void transfers() {
  const Bytes img = [] {
    Bytes b(300);
    for (uint32_t i = 0; i < 300; ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
    return b;
  }();
  const struct {
    const char *name;
    std::function<void(zvsim::VirtualDevice &)> setup;
  } devices[] = {
      {"window-200", [](zvsim::VirtualDevice &d) { d.settings.windows = {200}; }},
      {"window-61", [](zvsim::VirtualDevice &d) { d.settings.windows = {61}; }},
      {"flash-pauses",
       [](zvsim::VirtualDevice &d) {
         d.settings.windows = {0, 122, 0};
       }},
      {"split-replies", [](zvsim::VirtualDevice &d) { d.settings.status_split_replies = true; }},
      {"offset-behind",
       [](zvsim::VirtualDevice &d) {
         d.faults.offset_behind_replies = 2;
         d.faults.offset_behind_bytes = 61;
       }},
  };
  for (const auto &device : devices) {
    for (int channel : {0, 1}) {
      write("transfer", std::string(device.name) + (channel == 0 ? "" : "-secondary"),
            recorded(static_cast<uint8_t>(channel), device.setup, [&](usbdevs_device **d) {
              (channel == 0 ? zvctl_fwup : zvctl_fwup2)(d, img.data(), 300, nullptr);
            }));
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds CORPUS_ROOT\n");
    return 2;
  }
  root = argv[1];
  mkdir(root.c_str(), 0755);
  StdoutRedirect quiet(StdoutRedirect::kDiscard);  // the transfers' progress lines
  images();
  replies();
  requests();
  transfers();
  return 0;
}

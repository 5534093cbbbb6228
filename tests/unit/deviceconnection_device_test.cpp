// The connection's device side against the in-process virtual device: closed means silent,
// and every operation is one request of the library with its arguments unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "deviceconnection.h"
#include "test_support.h"
#include "updatejob.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Operation = std::function<bool(DeviceConnection &)>;

class Connection : public DeviceTest {};

// One of every operation, for the closed connection.
const std::vector<Operation> &every_operation() {
  static const uint8_t image[40] = {};
  static const std::vector<Operation> operations = {
      [](DeviceConnection &c) {
        std::string s;
        return c.get_product_name(s);
      },
      [](DeviceConnection &c) {
        uint16_t v;
        return c.get_version(v);
      },
      [](DeviceConnection &c) {
        uint16_t v;
        return c.get_build(v);
      },
      [](DeviceConnection &c) {
        uint32_t v;
        return c.get_checksum(4, v);
      },
      [](DeviceConnection &c) { return c.set_clock_source(1); },
      [](DeviceConnection &c) { return c.set_frequency(44100); },
      [](DeviceConnection &c) {
        UpdateJob job;
        return c.update_firmware(image, 40, &job);
      },
      [](DeviceConnection &c) {
        std::string s;
        return c.read_debug_text(s);
      },
      [](DeviceConnection &c) {
        uint16_t v;
        return c.get_version2(&v);
      },
      [](DeviceConnection &c) {
        uint16_t v;
        return c.get_build2(&v);
      },
      [](DeviceConnection &c) {
        uint32_t v;
        return c.get_checksum2(4, &v);
      },
      [](DeviceConnection &c) { return c.set_13h(1); },
      [](DeviceConnection &c) { return c.set_89h(1); },
      [](DeviceConnection &c) {
        uint32_t v;
        return c.get_18h(&v);
      },
      [](DeviceConnection &c) {
        uint32_t v;
        return c.get_c4h(&v);
      },
      [](DeviceConnection &c) {
        uint32_t v;
        return c.get_1ah(&v);
      },
      [](DeviceConnection &c) {
        uint32_t v;
        return c.get_c1h(&v);
      },
      [](DeviceConnection &c) {
        uint8_t v;
        return c.get_1bh(&v);
      },
      [](DeviceConnection &c) {
        uint8_t v;
        return c.get_14h(&v);
      },
      [](DeviceConnection &c) { return c.send_a2h(); },
      [](DeviceConnection &c) {
        zvctl_list_entry e[2];
        uint8_t n;
        return c.get_list(e, 2, &n);
      },
      [](DeviceConnection &c) { return c.set_pair(1, 2, 3, 4); },
      [](DeviceConnection &c) { return c.set_block_51h(1, 2, 3, 4, 5, 6, 7); },
      [](DeviceConnection &c) { return c.set_block_91h(1, 2, 3, 4, 5, 6, 7, 8, 9); },
      [](DeviceConnection &c) { return c.set_81h(1, 2, 3); },
      [](DeviceConnection &c) { return c.set_85h(1, 2, 3); },
      [](DeviceConnection &c) { return c.fwup2(image, 40, nullptr); },
      [](DeviceConnection &c) {
        return c.call_request(1, 2, 3, [](usbdevs_device **, int32_t, uint8_t, uint8_t) {
          return 0;  // would succeed, were it called
        });
      },
  };
  return operations;
}

TEST_F(Connection, AClosedConnectionFailsEveryOperationAndSendsNothing) {
  usbdevs_virtual_connect(nullptr);
  DeviceConnection closed;  // its first open finds nothing
  usbdevs_virtual_connect(&device);
  const long before = device.transfers();
  EXPECT_FALSE(closed.is_open());
  for (size_t i = 0; i < every_operation().size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(every_operation()[i](closed));
  }
  EXPECT_EQ(device.transfers(), before);

  DeviceConnection open;
  EXPECT_TRUE(open.is_open());
  EXPECT_TRUE(open.close());
  EXPECT_FALSE(open.is_open());
  EXPECT_FALSE(every_operation()[0](open));
  EXPECT_EQ(device.transfers(), before);
}

TEST_F(Connection, OpenSearchesFromIndexZeroEveryTime) {
  usbdevs_virtual_connect(nullptr);
  DeviceConnection connection;
  EXPECT_FALSE(connection.open());  // ten indexes tried, none answers
  EXPECT_FALSE(connection.is_open());
  usbdevs_virtual_connect(&device);
  EXPECT_TRUE(connection.open());  // the search starts again at 0
  EXPECT_TRUE(connection.open());
  uint16_t version = 0;
  EXPECT_TRUE(connection.get_version(version));
  EXPECT_EQ(version, device.version());
}

TEST_F(Connection, TheProductNameIsAppended) {
  DeviceConnection connection;
  std::string name = "device:";
  ASSERT_TRUE(connection.get_product_name(name));
  EXPECT_EQ(name, "device:ZV-16x16");
  device.faults.info_withheld = {ZV_ITEM_PRODUCT};
  capture_stdout([&] { EXPECT_FALSE(connection.get_product_name(name)); });
  EXPECT_EQ(name, "device:ZV-16x16");  // a failure adds nothing
}

TEST_F(Connection, PassThroughsSendTheirRequestUnchanged) {
  DeviceConnection connection;
  struct Case {
    const char *name;
    Operation call;
    Bytes message;  // the message the request sends, end marker included
  } cases[] = {
      {"set_13h", [](DeviceConnection &c) { return c.set_13h(0x105); }, {0x13, 2, 0x05, 0, 0}},
      {"set_89h", [](DeviceConnection &c) { return c.set_89h(7); }, {0x89, 2, 7, 0, 0}},
      {"send_a2h", [](DeviceConnection &c) { return c.send_a2h(); }, {0xA2, 1, 0, 0}},
      {"set_pair",
       [](DeviceConnection &c) { return c.set_pair(1, 2, 3, 4); },
       {0x61, 2, 1, 0x62, 2, 2, 0x41, 1, 0x61, 2, 3, 0x62, 2, 4, 0x42, 1, 0x43, 1, 0, 0}},
      {"set_81h",
       [](DeviceConnection &c) { return c.set_81h(5, 0, 200); },
       {0x61, 2, 5, 0x62, 2, 0, 0x81, 2, 200, 0, 0}},
      {"set_84h",
       [](DeviceConnection &c) { return c.set_84h(5, 1, 9); },
       {0x61, 2, 5, 0x62, 2, 1, 0x84, 2, 9, 0, 0}},
      {"set_block_51h",
       [](DeviceConnection &c) { return c.set_block_51h(1, 2, 3, 4, 5, 6, 7); },
       {0x61, 2, 1, 0x62, 2, 2, 0x51, 2, 4, 0x52, 2, 5, 0x53, 2, 6, 0x54, 2, 7, 0x55, 2, 3, 0, 0}},
      {"get_18h",
       [](DeviceConnection &c) {
         uint32_t v = 0;
         return c.get_18h(&v) && v == 0x00010002;
       },
       {0x18, 1, 0, 0}},
      {"get_14h answers 0 or 1",
       [](DeviceConnection &c) {
         uint8_t v = 9;
         return c.get_14h(&v) && v == 1 && c.get_14h(nullptr);
       },
       {0x14, 1, 0, 0}},
      {"get_checksum2",
       [](DeviceConnection &c) {
         uint32_t v = 0;
         return c.get_checksum2(100, &v);
       },
       {0x27, 4, 100, 0, 0, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    device.clear_log();
    EXPECT_TRUE(c.call(connection));
    std::vector<Bytes> messages = device.messages(ZV_REQ_SEND);
    if (messages.empty()) messages = device.messages(ZV_REQ_SEND2);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), c.message);
  }
}

TEST_F(Connection, CallRequestHandsOverTheDeviceReferenceAndTheValues) {
  DeviceConnection connection;
  static usbdevs_device **seen_device;
  static int32_t seen_value;
  static uint8_t seen_a, seen_b;
  EXPECT_FALSE(
      connection.call_request(-5, 200, 7, [](usbdevs_device **d, int32_t v, uint8_t a, uint8_t b) {
        seen_device = d, seen_value = v, seen_a = a, seen_b = b;
        return 1;
      }));
  ASSERT_NE(seen_device, nullptr);
  EXPECT_NE(*seen_device, nullptr);
  EXPECT_EQ(seen_value, -5);
  EXPECT_EQ(seen_a, 200);
  EXPECT_EQ(seen_b, 7);
  EXPECT_FALSE(connection.call_request(1, 2, 3, nullptr));
}

TEST_F(Connection, DebugTextIsAppendedAndAnEmptyOneIsAFailure) {
  DeviceConnection connection;
  std::string text = ">";
  EXPECT_FALSE(connection.read_debug_text(text));  // nothing to say
  device.settings.debug_text = "flash ok";
  device.settings.debug_text_replies = 1;
  EXPECT_TRUE(connection.read_debug_text(text));
  EXPECT_EQ(text, ">flash ok");
}

}  // namespace

// The connection's image side: answers about the loaded image's header.
#include "deviceconnection.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imagegen.h"
#include "test_support.h"

namespace {

TEST(DeviceConnectionImage, HeaderQuestions) {
  DeviceConnection connection;
  const std::vector<unsigned char> plain(1000, 3);  // its sum, the header's checksum: 3000
  const std::vector<unsigned char> image =
      imagegen_build({"ZV-16x16", 106, 2318, 0, 0, 0}, plain.data(), 1000);
  EXPECT_EQ(connection.set_image_header(image.data()), 32);
  std::string product = "was:";
  EXPECT_TRUE(connection.get_image_product(product));
  EXPECT_EQ(product, "was:ZV-16x16");  // appended, exactly the eight characters
  EXPECT_EQ(connection.get_image_version(), 106);
  EXPECT_EQ(connection.get_image_build(), 2318);
  EXPECT_EQ(connection.get_image_payload_size(), 1000u);
  EXPECT_EQ(connection.get_image_checksum(), 3000u);

  // Null hands over nothing and still tells the header length.
  EXPECT_EQ(connection.set_image_header(nullptr), 32);
  EXPECT_EQ(connection.get_image_version(), 106);

  const std::vector<unsigned char> nameless = imagegen_image("", 1, 1, 0, 3);
  connection.set_image_header(nameless.data());
  product.clear();
  EXPECT_TRUE(connection.get_image_product(product));
  EXPECT_EQ(product, "");
  EXPECT_EQ(connection.get_image_payload_size(), 0u);
}

TEST(DeviceConnectionImage, CheckImageNeedsNoDevice) {
  std::vector<unsigned char> image = imagegen_image("ZV-16x16", 1, 1, 64, 3);
  EXPECT_TRUE(DeviceConnection::check_image(image.data(), static_cast<int32_t>(image.size())));
  image[40] ^= 1;
  capture_stdout([&] {
    EXPECT_FALSE(DeviceConnection::check_image(image.data(), static_cast<int32_t>(image.size())));
  });
}

TEST(DeviceConnectionImage, ImageFiles) {
  DeviceConnection connection;
  EXPECT_FALSE(connection.check_image_file());  // no name yet

  ScratchFile file("dc_image");
  file.write(imagegen_image("ZV-16x16", 205, 5, 100, 3));
  EXPECT_TRUE(connection.set_image_file(file.path()));
  EXPECT_EQ(connection.get_image_version(), 205);
  EXPECT_TRUE(connection.check_image_file());

  capture_stdout([&] { EXPECT_FALSE(connection.set_image_file("/nonexistent/zv")); });
  EXPECT_FALSE(connection.check_image_file());   // the name was cleared again
  EXPECT_EQ(connection.get_image_version(), 0);  // the failed read zero-filled the header
}

TEST(DeviceConnectionImage, FileWeightedSum) {
  ScratchFile ones("dc_ones");
  ones.write({1, 1, 1});
  int32_t length = 0, sum = 0;
  EXPECT_TRUE(DeviceConnection::file_weighted_sum(ones.c_str(), &length, &sum));
  EXPECT_EQ(length, 3);
  EXPECT_EQ(sum, 3);  // 0 + 1 + 2

  // The weight restarts every 256 bytes: byte 256 weighs 0, byte 257 weighs 1.
  ScratchFile long_file("dc_long");
  std::vector<unsigned char> bytes(258, 0);
  bytes[255] = 2;
  bytes[256] = 100;
  bytes[257] = 7;
  long_file.write(bytes);
  EXPECT_TRUE(DeviceConnection::file_weighted_sum(long_file.c_str(), nullptr, &sum));
  EXPECT_EQ(sum, 2 * 255 + 7);

  EXPECT_FALSE(DeviceConnection::file_weighted_sum(nullptr, &length, &sum));
  capture_stdout(
      [&] { EXPECT_FALSE(DeviceConnection::file_weighted_sum("/nonexistent/zv", &length, &sum)); });
}

}  // namespace

// Draws the application icon (a level meter on a rounded blue tile) and writes it as a
// Windows .ico file: one 32 x 32 image, 32-bit BGRA, with its AND mask. The icon is made
// at build time so that no binary picture lives in the repository.
//
//   make_icon OUT.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

const int kSize = 32;

void put16(std::vector<uint8_t> &out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// Colour of pixel (x, y), y from the top, as 0xAARRGGBB.
uint32_t pixel(int x, int y) {
  // Rounded tile with a 6-pixel corner radius.
  const double r = 6.0;
  const double cx = x < r ? r : (x > kSize - 1 - r ? kSize - 1 - r : x);
  const double cy = y < r ? r : (y > kSize - 1 - r ? kSize - 1 - r : y);
  if (std::hypot(x - cx, y - cy) > r) return 0x00000000;
  // Five meter bars of rising height.
  const int heights[5] = {9, 14, 19, 23, 17};
  for (int bar = 0; bar < 5; ++bar) {
    const int left = 5 + bar * 5;
    if (x >= left && x < left + 3 && y >= 26 - heights[bar] && y < 26) {
      return y < 26 - heights[bar] + 3 && heights[bar] > 18 ? 0xFFFFB020 : 0xFFFFFFFF;
    }
  }
  const uint32_t shade = static_cast<uint32_t>(0x50 + y * 2);
  return 0xFF000000 | (0x18 << 16) | (shade / 2 << 8) | shade;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUT.ico\n");
    return 2;
  }
  const uint32_t mask_row = 4;  // 32 bits, already a multiple of 4 bytes
  const uint32_t image_bytes = 40 + kSize * kSize * 4 + kSize * mask_row;
  std::vector<uint8_t> ico;
  put16(ico, 0);  // ICONDIR: reserved, type 1 (icon), one image
  put16(ico, 1);
  put16(ico, 1);
  ico.push_back(kSize);  // ICONDIRENTRY
  ico.push_back(kSize);
  ico.push_back(0);  // no palette
  ico.push_back(0);
  put16(ico, 1);   // planes
  put16(ico, 32);  // bits per pixel
  put32(ico, image_bytes);
  put32(ico, 6 + 16);
  put32(ico, 40);  // BITMAPINFOHEADER; the height counts the colour and mask halves
  put32(ico, kSize);
  put32(ico, kSize * 2);
  put16(ico, 1);
  put16(ico, 32);
  for (int i = 0; i < 6; ++i) put32(ico, 0);
  for (int y = kSize - 1; y >= 0; --y) {  // bottom-up rows
    for (int x = 0; x < kSize; ++x) put32(ico, pixel(x, y));
  }
  for (int y = kSize - 1; y >= 0; --y) {
    uint32_t bits = 0;
    for (int x = 0; x < kSize; ++x) {
      if ((pixel(x, y) >> 24) == 0) bits |= 0x80000000u >> x;
    }
    ico.push_back(static_cast<uint8_t>(bits >> 24));
    ico.push_back(static_cast<uint8_t>(bits >> 16));
    ico.push_back(static_cast<uint8_t>(bits >> 8));
    ico.push_back(static_cast<uint8_t>(bits));
  }
  FILE *out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(ico.data(), ico.size(), 1, out) != 1) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
    if (out != nullptr) std::fclose(out);
    return 1;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

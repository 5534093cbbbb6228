// Draws the application icon (a level meter on a rounded blue tile) at build time, so that
// no binary picture lives in the repository:
//
//   make_icon OUT.ico               the Windows icon: one 32 x 32 image, BGRA, with its mask
//   make_icon --png SIZE OUT.png    a SIZE x SIZE RGBA PNG, for the Linux icon theme
//
// The tile is drawn in a 32-unit square and sampled 4 x 4 times per pixel at any size.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kUnits = 32.0;
const int kSamples = 4;

using Bytes = std::vector<uint8_t>;

void put16(Bytes &out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes &out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

void put32_be(Bytes &out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Colour at (x, y) in the 32-unit square, y from the top, as 0xAARRGGBB.
uint32_t shape(double x, double y) {
  // Rounded tile with a 6-unit corner radius.
  const double r = 6.0, edge = kUnits - r;
  const double cx = x < r ? r : (x > edge ? edge : x);
  const double cy = y < r ? r : (y > edge ? edge : y);
  if (std::hypot(x - cx, y - cy) > r) return 0x00000000;
  // Five meter bars of rising height, the tallest ones tipped with amber.
  const int heights[5] = {9, 14, 19, 23, 17};
  for (int bar = 0; bar < 5; ++bar) {
    const double left = 5 + bar * 5, top = 26 - heights[bar];
    if (x >= left && x < left + 3 && y >= top && y < 26) {
      return y < top + 3 && heights[bar] > 18 ? 0xFFFFB020 : 0xFFFFFFFF;
    }
  }
  const uint32_t shade = static_cast<uint32_t>(0x50 + y * 2);
  return 0xFF000000 | (0x18 << 16) | (shade / 2 << 8) | shade;
}

// SIZE x SIZE pixels, rows from the top, as 0xAARRGGBB with straight alpha.
std::vector<uint32_t> render(int size) {
  std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
  const double step = kUnits / size / kSamples;
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      double a = 0, r = 0, g = 0, b = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const uint32_t c =
              shape((px * kSamples + sx + 0.5) * step, (py * kSamples + sy + 0.5) * step);
          const double alpha = (c >> 24) / 255.0;
          a += alpha;
          r += alpha * ((c >> 16) & 0xFF);
          g += alpha * ((c >> 8) & 0xFF);
          b += alpha * (c & 0xFF);
        }
      }
      uint32_t out = 0;
      if (a > 0) {
        const auto channel = [](double v) { return static_cast<uint32_t>(std::lround(v)); };
        out = channel(a * 255 / (kSamples * kSamples)) << 24 | channel(r / a) << 16 |
              channel(g / a) << 8 | channel(b / a);
      }
      pixels[static_cast<size_t>(py) * size + px] = out;
    }
  }
  return pixels;
}

Bytes ico(int size) {
  const std::vector<uint32_t> pixels = render(size);
  const uint32_t mask_row = static_cast<uint32_t>((size + 31) / 32 * 4);
  const uint32_t image_bytes = 40 + size * size * 4 + size * mask_row;
  Bytes out;
  put16(out, 0);  // ICONDIR: reserved, type 1 (icon), one image
  put16(out, 1);
  put16(out, 1);
  out.push_back(static_cast<uint8_t>(size));  // ICONDIRENTRY
  out.push_back(static_cast<uint8_t>(size));
  out.push_back(0);  // no palette
  out.push_back(0);
  put16(out, 1);   // planes
  put16(out, 32);  // bits per pixel
  put32(out, image_bytes);
  put32(out, 6 + 16);
  put32(out, 40);  // BITMAPINFOHEADER; the height counts the colour and mask halves
  put32(out, static_cast<uint32_t>(size));
  put32(out, static_cast<uint32_t>(size * 2));
  put16(out, 1);
  put16(out, 32);
  for (int i = 0; i < 6; ++i) put32(out, 0);
  for (int y = size - 1; y >= 0; --y) {  // bottom-up rows
    for (int x = 0; x < size; ++x) put32(out, pixels[static_cast<size_t>(y) * size + x]);
  }
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(mask_row, 0);
    for (int x = 0; x < size; ++x) {
      if ((pixels[static_cast<size_t>(y) * size + x] >> 24) == 0)
        row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

uint32_t crc32(const uint8_t *data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

void chunk(Bytes &png, const char *type, const Bytes &data) {
  put32_be(png, static_cast<uint32_t>(data.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  png.insert(png.end(), typed.begin(), typed.end());
  put32_be(png, crc32(typed.data(), typed.size()));
}

// An RGBA PNG whose image data is one zlib stream of stored (uncompressed) blocks.
Bytes png(int size) {
  const std::vector<uint32_t> pixels = render(size);
  Bytes raw;
  for (int y = 0; y < size; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < size; ++x) {
      const uint32_t c = pixels[static_cast<size_t>(y) * size + x];
      raw.insert(raw.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                             static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 24)});
    }
  }
  Bytes zlib = {0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
    zlib.push_back(at + n == raw.size() ? 1 : 0);  // BFINAL on the last, BTYPE 00: stored
    put16(zlib, static_cast<unsigned>(n));
    put16(zlib, static_cast<unsigned>(~n & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<long>(at),
                raw.begin() + static_cast<long>(at + n));
    at += n;
    if (n == 0) break;
  }
  uint32_t s1 = 1, s2 = 0;  // Adler-32 of the raw data
  for (uint8_t byte : raw) {
    s1 = (s1 + byte) % 65521;
    s2 = (s2 + s1) % 65521;
  }
  put32_be(zlib, s2 << 16 | s1);

  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  put32_be(header, static_cast<uint32_t>(size));
  put32_be(header, static_cast<uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  chunk(out, "IHDR", header);
  chunk(out, "IDAT", zlib);
  chunk(out, "IEND", {});
  return out;
}

int write(const char *path, const Bytes &bytes) {
  FILE *out = std::fopen(path, "wb");
  if (out == nullptr || std::fwrite(bytes.data(), bytes.size(), 1, out) != 1) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", path);
    if (out != nullptr) std::fclose(out);
    return 1;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2) return write(argv[1], ico(32));
  if (argc == 4 && std::strcmp(argv[1], "--png") == 0) {
    const int size = std::atoi(argv[2]);
    if (size >= 1 && size <= 1024) return write(argv[3], png(size));
  }
  std::fprintf(stderr, "usage: make_icon OUT.ico | make_icon --png SIZE OUT.png\n");
  return 2;
}

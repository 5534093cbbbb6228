#include "test_support.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

bool matches_regex(const std::string &text, const std::string &pattern) {
  return std::regex_match(text, std::regex(pattern));
}

int count_error_lines(const std::string &text) {
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    if (line.size() >= 6 && line.compare(line.size() - 6, 6, ":ERROR") == 0) ++count;
  }
  return count;
}

ScratchFile::ScratchFile(const std::string &name) : path_(testing::TempDir() + name) {
  std::remove(path_.c_str());
}

ScratchFile::~ScratchFile() {
  std::remove(path_.c_str());
  std::remove((path_ + ".bin").c_str());
}

void ScratchFile::write(const std::vector<unsigned char> &bytes) const {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ScratchFile::read() const { return read_file_bytes(path_); }

std::vector<unsigned char> read_file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

bool file_exists(const std::string &path) { return std::ifstream(path).good(); }

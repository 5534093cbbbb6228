// Small helpers shared by the unit tests: standard output capture and scratch files.
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H
#define TESTS_SUPPORT_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "stdout_redirect.h"

// Runs `body` with standard output captured and returns what it printed.
template <typename Body>
std::string capture_stdout(Body body) {
  StdoutRedirect out(StdoutRedirect::kCapture);
  body();
  return out.text();
}

// Whether the whole of `text` matches an ECMAScript regular expression (the same on every
// platform, unlike the matchers' platform regex).
bool matches_regex(const std::string &text, const std::string &pattern);

// Number of lines in `text` that end with ":ERROR" (the diagnostic lines).
int count_error_lines(const std::string &text);

// A file under the test temp directory, removed when the object goes.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string &name);
  ~ScratchFile();
  ScratchFile(const ScratchFile &) = delete;
  ScratchFile &operator=(const ScratchFile &) = delete;

  const std::string &path() const { return path_; }
  const char *c_str() const { return path_.c_str(); }
  void write(const std::vector<unsigned char> &bytes) const;
  std::vector<unsigned char> read() const;

 private:
  std::string path_;
};

std::vector<unsigned char> read_file_bytes(const std::string &path);
bool file_exists(const std::string &path);

#endif

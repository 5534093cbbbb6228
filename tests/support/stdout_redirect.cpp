#include "stdout_redirect.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
const char kNullDevice[] = "NUL";
#else
#include <unistd.h>
const char kNullDevice[] = "/dev/null";
#endif

StdoutRedirect::StdoutRedirect(Mode mode)
    : file_(mode == kCapture ? std::tmpfile() : std::fopen(kNullDevice, "w")), saved_(dup(1)) {
  std::fflush(stdout);
  if (file_ == nullptr) return;
#ifdef _WIN32
  // Text mode, as a console has: wide output arrives as text, and line ends read back as \n.
  _setmode(fileno(file_), _O_TEXT);
#endif
  dup2(fileno(file_), 1);
}

StdoutRedirect::~StdoutRedirect() {
  restore();
  if (file_ != nullptr) std::fclose(file_);
}

std::string StdoutRedirect::text() {
  restore();
  std::string text;
  if (file_ == nullptr) return text;
  std::fseek(file_, 0, SEEK_SET);
  char block[4096];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, file_)) > 0) text.append(block, n);
  return text;
}

void StdoutRedirect::restore() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  dup2(saved_, 1);
  close(saved_);
  saved_ = -1;
}

#include "stdout_redirect.h"

#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
const char kNullDevice[] = "NUL";

// tmpfile() will not do here. Windows' makes its file in the drive's root, where a user
// without rights may not write; Wine's takes a name that another process starting at the
// same moment may take too, and then one of them gets none. The file is made by a name of
// this process's own, exclusively, in the temporary folder, and goes when it is closed.
static std::FILE *capture_file() {
  static std::atomic<unsigned> count{0};
  char folder[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length >= sizeof folder) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char path[MAX_PATH + 64];
    std::snprintf(path, sizeof path, "%szv-capture-%lu-%u.tmp", folder,
                  static_cast<unsigned long>(GetCurrentProcessId()), count++);
    const int fd =
        _open(path, _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
    if (fd >= 0) return _fdopen(fd, "w+b");
  }
  return nullptr;
}
#else
#include <unistd.h>
const char kNullDevice[] = "/dev/null";

static std::FILE *capture_file() { return std::tmpfile(); }
#endif

StdoutRedirect::StdoutRedirect(Mode mode)
    : file_(mode == kCapture ? capture_file() : std::fopen(kNullDevice, "w")), saved_(dup(1)) {
  std::fflush(stdout);
  if (file_ == nullptr) {
    // Passing the output through would let a test that expects no output pass unseen.
    std::fprintf(stderr, "StdoutRedirect: no file to send standard output to\n");
    std::abort();
  }
#ifdef _WIN32
  // Text mode, as a console has: wide output arrives as text, and line ends read back as \n.
  _setmode(fileno(file_), _O_TEXT);
#endif
  dup2(fileno(file_), 1);
}

StdoutRedirect::~StdoutRedirect() {
  restore();
  std::fclose(file_);
}

std::string StdoutRedirect::text() {
  restore();
  std::string text;
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

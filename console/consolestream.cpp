#include "consolestream.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>

#include <QString>
#else
#include <unistd.h>

#include <cerrno>
#endif

ConsoleStream::ConsoleStream(int fd) : fd_(fd) {
  open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 ConsoleStream::writeData(const char *data, qint64 length) {
  if (!failed_ && !write_all(data, length)) failed_ = true;
  return length;  // taken, written or not: the stream must not report an error upwards
}

#ifdef Q_OS_WIN

bool ConsoleStream::write_all(const char *data, qint64 length) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console shows UTF-16 whatever its code page; the stream's pieces end on whole
    // characters, since the text stream encodes whole strings.
    const QString text = QString::fromUtf8(data, static_cast<int>(length));
    const auto *units = reinterpret_cast<const wchar_t *>(text.utf16());
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
      DWORD written = 0;
      if (!WriteConsoleW(handle, units, left, &written, nullptr) || written == 0) return false;
      units += written;
      left -= written;
    }
    return true;
  }
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, static_cast<DWORD>(length), &written, nullptr) || written == 0)
      return false;
    data += written;
    length -= written;
  }
  return true;
}

#else

bool ConsoleStream::write_all(const char *data, qint64 length) {
  while (length > 0) {
    const ssize_t written = ::write(fd_, data, static_cast<size_t>(length));
    if (written < 0 && errno == EINTR) continue;  // a held signal arrived
    if (written <= 0) return false;               // EPIPE among them, with SIGPIPE ignored
    data += written;
    length -= written;
  }
  return true;
}

#endif

// Where the console updater writes: a standard stream that never ends the program and never
// stops an update. A reader that went away (a pipe into `tee`, ended by Ctrl+C with it) makes
// a write fail; the first failure is remembered and every later write is dropped, so that the
// update goes on to its end and the exit status still tells how it ended. Text is UTF-8;
// on a Windows console, whose code page is the user's, it is written as UTF-16 instead.
#ifndef CONSOLE_CONSOLESTREAM_H
#define CONSOLE_CONSOLESTREAM_H

#include <QIODevice>

class ConsoleStream : public QIODevice {
 public:
  // `fd`: the descriptor to write to; stays open, and the caller's.
  explicit ConsoleStream(int fd);

  bool failed() const { return failed_; }  // a write has failed; nothing goes out any more
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char *, qint64) override { return -1; }
  qint64 writeData(const char *data, qint64 length) override;

 private:
  bool write_all(const char *data, qint64 length);  // per platform

  int fd_;
  bool failed_ = false;
};

#endif

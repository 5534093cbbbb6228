// Standard output sent elsewhere while the object lives: to a file, whose text() is what was
// written (kCapture), or to nowhere (kDiscard). It works on the descriptor, so it takes in
// what every library prints, and flushes the C stream at either end.
#ifndef TESTS_SUPPORT_STDOUT_REDIRECT_H
#define TESTS_SUPPORT_STDOUT_REDIRECT_H

#include <cstdio>
#include <string>

class StdoutRedirect {
 public:
  enum Mode { kCapture, kDiscard };
  explicit StdoutRedirect(Mode mode);
  ~StdoutRedirect();
  StdoutRedirect(const StdoutRedirect &) = delete;
  StdoutRedirect &operator=(const StdoutRedirect &) = delete;

  // What was written so far (empty when discarding); standard output is restored.
  std::string text();

 private:
  void restore();
  std::FILE *file_;
  int saved_;
};

#endif

// One diagnostic line per failure site: "<source path>:<line>:ERROR".
//
// The source path is a fixed string per module (the path the module has in the shipped
// Windows build), so that the lines read the same on every platform and in every build tree.
#ifndef ZVTEST_ZVDIAG_H
#define ZVTEST_ZVDIAG_H

#include <cstdio>

#define ZV_DIAG(source) std::printf("%s:%d:ERROR\n", (source), __LINE__)

#endif

# Cross-building for 64-bit Windows (package g++-mingw-w64-x86-64-posix): not the updater's
# platform, but the device libraries, the stand-in driver and their tests, for a 64-bit Wine
# where a kernel runs no 32-bit program (scripts/test-windows).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZV_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Cross-building for Windows with Debian's mingw-w64, for the target that ZV_MINGW names
# (included by i686-w64-mingw32.cmake and x86_64-w64-mingw32.cmake).
# The posix threading variant (winpthreads) is the one with std::thread, which GoogleTest
# needs. Programs are linked statically, so that Wine runs them without runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZV_MINGW}-windres)
set(CMAKE_AR ${ZV_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZV_MINGW}-ranlib CACHE FILEPATH "")

# A Qt built for this target (scripts/build-qt-windows) lives under a prefix of its own:
# -DZV_WIN32_QT_PREFIX=DIR searches it as a second root, so that find_package(Qt5) finds it
# and never the host's Qt.
set(CMAKE_FIND_ROOT_PATH /usr/${ZV_MINGW} ${ZV_WIN32_QT_PREFIX})
# A tree configured before against another prefix forgets the Qt it found there.
if(ZV_WIN32_QT_PREFIX AND DEFINED CACHE{Qt5_DIR})
  string(FIND "$CACHE{Qt5_DIR}" "${ZV_WIN32_QT_PREFIX}/" at)
  if(NOT at EQUAL 0)
    get_cmake_property(cached CACHE_VARIABLES)
    foreach(name IN LISTS cached)
      if(name MATCHES "^Qt5[A-Za-z_]*_DIR$")
        unset(${name} CACHE)
      endif()
    endforeach()
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and build-time tools run under Wine: Debian's "wine" for 32-bit programs, its
# 64-bit loader for 64-bit ones (the "wine" command takes the 32-bit one when both are in).
if(ZV_MINGW MATCHES "^x86_64")
  find_program(WINE_EXECUTABLE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
else()
  find_program(WINE_EXECUTABLE NAMES wine)
endif()
if(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
endif()

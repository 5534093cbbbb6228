# What makes two builds of one commit give the same bytes, in any folder and at any time.
#
# ZV_SOURCE_DATE_EPOCH is the time that the packages record for their files: the
# environment's SOURCE_DATE_EPOCH when it is set (scripts/build-windows, scripts/package and
# scripts/release set it from the commit), otherwise the last commit's time, otherwise 0.
# It is read when the build is configured, which a new commit brings about.
#
# With ZV_REPRODUCIBLE the source and build folders are mapped to fixed names in what the
# compiler writes (file names in assertion texts and debug information), so that the folder a
# build ran in leaves no trace; a debugger then needs the source folder named. A Windows
# image never carries a link time stamp.
option(ZV_REPRODUCIBLE "Map the source and build folders out of the binaries" OFF)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ZV_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE ZV_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_result ERROR_QUIET)
  if(NOT git_result EQUAL 0 OR NOT ZV_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(ZV_SOURCE_DATE_EPOCH 0)
  endif()
endif()

# A new commit (or a checkout) configures again at the next build, and so moves this time
# with it: git's log of HEAD changes with every one of them.
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-parse --absolute-git-dir
  OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_result ERROR_QUIET)
if(git_result EQUAL 0 AND EXISTS ${git_dir}/logs/HEAD)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/logs/HEAD)
endif()

if(ZV_REPRODUCIBLE)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/zv16x16
    -ffile-prefix-map=${PROJECT_BINARY_DIR}=/zv16x16-build)
endif()
if(WIN32 AND NOT MSVC)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

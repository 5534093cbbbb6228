# Sourced by the scripts that build for Windows, with $root set to the source root.
#   build_host_tools DIR   the build's own tools (the image tool and the icon maker), built
#                          for this machine in DIR, their programs in DIR/tools: building for
#                          Windows then runs no Windows program
build_host_tools() {
  "$root/scripts/build" "$1" -DCMAKE_BUILD_TYPE=Release -DZV_BUILD_APP=OFF \
    -DZV_BUILD_TESTS=OFF -DZV_BUILD_BENCH=OFF zvimage make_icon >/dev/null
}

#!/usr/bin/env bash
# layering.sh SOURCE_DIR: a layer calls only downwards. The device libraries (zvtest/) and
# the device model (zvsim/) include no Qt header; the update core (updatecore/) includes no
# header of Qt's widgets or GUI, nor does the console updater (console/), which runs where no
# display is; and nothing below the window (those four and tools/) includes a header of app/.
set -uo pipefail
cd "$1"
failed=0
qt=$(git grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' -- zvtest zvsim)
if [ -n "$qt" ]; then
  echo "Qt below the application:"
  echo "$qt"
  failed=1
fi
# Every header of Qt's QtWidgets and QtGui modules, as the installed Qt names them.
qt_headers=$(pkg-config --variable=includedir Qt5Widgets)
gui_headers=$(ls "$qt_headers/QtWidgets" "$qt_headers/QtGui" | grep -v ':$' | sed '/^$/d' |
  sed 's/\./\\./g' | paste -sd'|')
widgets=$(git grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<((QtWidgets|QtGui)/)?(${gui_headers})>" -- updatecore console)
if [ -n "$widgets" ]; then
  echo "widgets or GUI in the update core or the console updater:"
  echo "$widgets"
  failed=1
fi
app_headers=$(git ls-files 'app/*.h' | xargs -n1 basename | sed 's/\./\\./g' | paste -sd'|')
upward=$(git grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"](ui_[a-z]*\.h|${app_headers})[>\"]" -- zvtest zvsim tools updatecore console)
if [ -n "$upward" ]; then
  echo "includes of the application from below it:"
  echo "$upward"
  failed=1
fi
[ $failed -eq 0 ] && echo "layers call only downwards"
exit $failed

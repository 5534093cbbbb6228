# One Wine session for every script that starts Windows programs (sourced, bash): the
# prefix, made on first use and given Wine's own fonts; winemenubuilder off, so that nothing
# reaches the desktop of the user running the script; Wine's background processes writing to
# a log rather than to the caller's pipes; a private X server on request; and the Wine server
# ended by a trap on every exit of the script.
#
#   wine_session_x "$@"            runs the script again on a private X server (xvfb), once
#   wine_session_prefix DIR        WINEPREFIX=DIR, made if new; $wine_log is its log
#   wine_session_at_exit COMMAND   one more thing to do on exit, after the server has ended
#   wine_session_restart           ends the running Wine server and waits for it
#   wine_session_keep              starts a persistent Wine server now
#   wine_session_null_display      Wine's null graphics driver: windows without a display

# Debian's wine, wineboot and wineserver commands take the 32-bit Wine whenever it is
# installed. With ZV_WINE64=1 the session's scripts run 64-bit programs in the 64-bit one.
if [ -n "${ZV_WINE64:-}" ]; then
  wine() { /usr/lib/wine/wine64 "$@"; }
  wineboot() { /usr/lib/wine/wine64 wineboot "$@"; }
  wineserver() { /usr/lib/wine/wineserver64 -p0 "$@"; }  # as Debian's command does
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
fi

wine_session_x() {
  [ -n "${ZV_UNDER_XVFB:-}" ] && return 0
  ZV_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
}

wine_session_exit_commands=()
wine_session_at_exit() { wine_session_exit_commands+=("$1"); }
wine_session_end() {
  wineserver -k 2>/dev/null || true
  local command
  for command in "${wine_session_exit_commands[@]}"; do eval "$command"; done
}

wine_session_prefix() {
  mkdir -p "$1"
  WINEPREFIX=$(cd "$1" && pwd)
  export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  wine_log="$WINEPREFIX/../$(basename "$WINEPREFIX").log"
  trap wine_session_end EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >>"$wine_log" 2>&1
    # The first session of a new prefix briefly runs two service managers, and a driver
    # installed then may be unknown to the one asked next: that session ends first.
    wineserver -w
  fi
  # Debian's Wine 8 does not find Wine's own fonts (Tahoma among them) where the package puts
  # them; in the prefix's Fonts folder it does. Without them windows take another, taller font.
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

wine_session_restart() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null || true
}

# Started outside CTest and the like: otherwise Wine's background processes inherit the
# pipes of the first program and hold them open.
wine_session_keep() {
  wineserver -p >>"$wine_log" 2>&1 || true # one may already be running for this prefix
  wine wineboot >>"$wine_log" 2>&1
}

wine_session_null_display() {
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$wine_log" 2>&1
}

# Sourced by the scripts that run programs under Wine: one Xvfb display and a
# persistent wineserver per prefix, all stopped again by their process ids.
#   wine_session_start <build dir>   exports DISPLAY, WINEPREFIX (64-bit), WINEDEBUG
#   wine_session_stop

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_session_pids=()
wine_session_prefixes=()

wine_session_start() {
  local build n
  build=$(cd "$1" && pwd)
  # Another run may take a display number at the same moment: try the next.
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    local xvfb=$!
    for _ in $(seq 100); do
      { [ -e "/tmp/.X11-unix/X$n" ] || ! kill -0 $xvfb 2>/dev/null; } && break
      sleep 0.1
    done
    if kill -0 $xvfb 2>/dev/null; then
      wine_session_pids+=($xvfb)
      export DISPLAY=":$n"
      break
    fi
  done

  _wine_prefix_start "$build/wine32" win32
  _wine_prefix_start "$build/wine64" win64
  export WINEPREFIX="$build/wine64"
}

# A persistent wineserver first, so that Wine's background processes do not
# hold the pipes of whatever runs next; the prefix is created once.
_wine_prefix_start() {
  local prefix=$1 arch=$2
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" WINEARCH=$arch wineserver -f -p </dev/null >/dev/null 2>&1 &
  wine_session_pids+=($!)
  wine_session_prefixes+=("$prefix")
  if [ ! -f "$prefix/system.reg" ]; then
    echo "wine: creating the $arch prefix $prefix"
  fi
  WINEPREFIX="$prefix" WINEARCH=$arch wineboot -i </dev/null >/dev/null 2>&1
  # Hold the desktop open, so that it is not ended and restarted between programs.
  local keeper=${prefix%/*}/tools/session/desktop_keeper.exe
  if [ -f "$keeper" ]; then
    WINEPREFIX="$prefix" wine "$keeper" </dev/null >/dev/null 2>&1 &
    wine_session_pids+=($!)
  fi
}

wine_session_stop() {
  local prefix pid
  for prefix in "${wine_session_prefixes[@]}"; do
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  done
  for pid in "${wine_session_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wine_session_pids=()
  wine_session_prefixes=()
}

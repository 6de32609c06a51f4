# Sourced by the scripts that run programs under Wine: one Xvfb display and a
# persistent wineserver per prefix, all stopped again by their process ids.
#   wine_session_start <build dir> [x86] [x64]
#       x86: the 32-bit tree's prefixes build/wine32 (win32) and build/wine64
#       x64: the x64 tree's prefix build/x64/wine64, driven by the 64-bit loader
#       (default: x86 where this machine runs 32-bit code, else x64)
#     exports DISPLAY, WINEDEBUG, and WINEPREFIX and WENDREL_WINE (the loader
#     to start programs with) for the first suite named
#   wine_session_stop

. "$(dirname "${BASH_SOURCE[0]}")/wine-loaders.sh"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_session_pids=()
wine_session_prefixes=()

wine_session_start() {
  local build n suite suites
  build=$(cd "$1" && pwd)
  shift
  suites=("$@")
  if [ ${#suites[@]} -eq 0 ]; then
    if runs_32bit_code; then suites=(x86); else suites=(x64); fi
  fi
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

  for suite in "${suites[@]}"; do
    case $suite in
      x86)
        _wine_prefix_start "$build/wine32" win32 wine "$build/tools/session/desktop_keeper.exe"
        _wine_prefix_start "$build/wine64" win64 wine "$build/tools/session/desktop_keeper.exe"
        ;;
      x64)
        _wine_prefix_start "$build/x64/wine64" win64 "$(wine64_loader)" "$build/x64/tools/session/desktop_keeper.exe"
        ;;
    esac
  done
  case ${suites[0]} in
    x86) export WINEPREFIX="$build/wine64" WENDREL_WINE=wine ;;
    x64) export WINEPREFIX="$build/x64/wine64" WENDREL_WINE=$(wine64_loader) ;;
  esac
}

# A persistent wineserver first, so that Wine's background processes do not
# hold the pipes of whatever runs next; the prefix is created once.
#   _wine_prefix_start <prefix> <win32|win64> <loader> <desktop keeper>
_wine_prefix_start() {
  local prefix=$1 arch=$2 loader=$3 keeper=$4
  local -a env=(WINEPREFIX="$prefix" WINEARCH="$arch")
  # The 64-bit loader started directly must also start its children.
  [ "$loader" = wine ] || env+=(WINELOADER="$loader")
  mkdir -p "$prefix"
  env "${env[@]}" wineserver -k >/dev/null 2>&1 || true
  env "${env[@]}" wineserver -f -p </dev/null >/dev/null 2>&1 &
  wine_session_pids+=($!)
  wine_session_prefixes+=("$prefix")
  if [ ! -f "$prefix/system.reg" ]; then
    echo "wine: creating the $arch prefix $prefix"
  fi
  env "${env[@]}" "$loader" wineboot -i </dev/null >/dev/null 2>&1
  # With no window manager on the display, Wine waits up to 2 s for an answer
  # each time a managed window is shown or hidden; unmanaged windows keep
  # their Win32 geometry and text, so every window test still sees them.
  if ! grep -qs '^"Managed"="N"' "$prefix/user.reg"; then
    env "${env[@]}" "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      </dev/null >/dev/null 2>&1
  fi
  # Hold the desktop open, so that it is not ended and restarted between programs.
  if [ -f "$keeper" ]; then
    env "${env[@]}" "$loader" "$keeper" </dev/null >/dev/null 2>&1 &
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

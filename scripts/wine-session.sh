# Sourced by the scripts that run programs under Wine: one Xvfb display and a
# persistent wineserver per prefix, all stopped again by their process ids.
#   wine_session_start [--tests] <build dir> [x86] [x64]
#       x86: the 32-bit tree's prefixes build/wine32 (win32) and build/wine64
#       x64: the x64 tree's prefix build/x64/wine64, driven by the 64-bit loader
#       (default: x86 where this machine runs 32-bit code, else x64)
#       --tests: also each tree's second win64 prefix, wine64-2, in which some
#       of the test programs run beside those of the first
#     exports DISPLAY, WINEDEBUG, and WINEPREFIX and WENDREL_WINE (the loader
#     to start programs with) for the first suite named
#   wine_session_stop

. "$(dirname "${BASH_SOURCE[0]}")/wine-loaders.sh"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_session_pids=()
wine_session_prefixes=()

wine_session_start() {
  local build n suite suites second=
  if [ "$1" = --tests ]; then
    second=1
    shift
  fi
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

  # Each prefix as "folder|architecture|loader|desktop keeper".
  local -a prefixes=()
  local keeper
  for suite in "${suites[@]}"; do
    case $suite in
      x86)
        keeper=$build/tools/session/desktop_keeper.exe
        prefixes+=("$build/wine32|win32|wine|$keeper" "$build/wine64|win64|wine|$keeper")
        [ -z "$second" ] || prefixes+=("$build/wine64-2|win64|wine|$keeper")
        ;;
      x64)
        local loader
        loader=$(wine64_loader)
        keeper=$build/x64/tools/session/desktop_keeper.exe
        prefixes+=("$build/x64/wine64|win64|$loader|$keeper")
        [ -z "$second" ] || prefixes+=("$build/x64/wine64-2|win64|$loader|$keeper")
        ;;
    esac
  done
  # A new prefix takes about 20 s to create, mostly waiting: all at once.
  _wine_each_prefix _wine_server_start "${prefixes[@]}"
  local -a boots=()
  local prefix
  for prefix in "${prefixes[@]}"; do
    _wine_each_prefix _wine_prefix_boot "$prefix" &
    boots+=($!)
  done
  for n in "${boots[@]}"; do
    wait "$n"
  done
  _wine_each_prefix _wine_desktop_keep "${prefixes[@]}"
  case ${suites[0]} in
    x86) export WINEPREFIX="$build/wine64" WENDREL_WINE=wine ;;
    x64) export WINEPREFIX="$build/x64/wine64" WENDREL_WINE=$(wine64_loader) ;;
  esac
}

# Calls <function> with the four fields of each "folder|arch|loader|keeper".
#   _wine_each_prefix <function> <prefix entry>...
_wine_each_prefix() {
  local function=$1 entry folder arch loader keeper
  shift
  for entry in "$@"; do
    IFS='|' read -r folder arch loader keeper <<<"$entry"
    "$function" "$folder" "$arch" "$loader" "$keeper"
  done
}

# The environment that names a prefix to Wine.
#   _wine_prefix_env <prefix> <win32|win64> <loader>   (sets the array env)
_wine_prefix_env() {
  env=(WINEPREFIX="$1" WINEARCH="$2")
  # The 64-bit loader started directly must also start its children.
  [ "$3" = wine ] || env+=(WINELOADER="$3")
}

# A persistent wineserver first, so that Wine's background processes do not
# hold the pipes of whatever runs next.
#   _wine_server_start <prefix> <win32|win64> <loader> <desktop keeper>
_wine_server_start() {
  local -a env
  _wine_prefix_env "$1" "$2" "$3"
  mkdir -p "$1"
  env "${env[@]}" wineserver -k >/dev/null 2>&1 || true
  env "${env[@]}" wineserver -f -p </dev/null >/dev/null 2>&1 &
  wine_session_pids+=($!)
  wine_session_prefixes+=("$1")
}

# The prefix is created once; its settings are checked every time.
#   _wine_prefix_boot <prefix> <win32|win64> <loader> <desktop keeper>
_wine_prefix_boot() {
  local prefix=$1 loader=$3
  local -a env
  _wine_prefix_env "$1" "$2" "$3"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "wine: creating the $2 prefix $prefix"
  fi
  env "${env[@]}" "$loader" wineboot -i </dev/null >/dev/null 2>&1
  # With no window manager on the display, Wine waits up to 2 s for an answer
  # each time a managed window is shown or hidden; unmanaged windows keep
  # their Win32 geometry and text, so every window test still sees them.
  if ! grep -qs '^"Managed"="N"' "$prefix/user.reg"; then
    env "${env[@]}" "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      </dev/null >/dev/null 2>&1
  fi
}

# Hold the desktop open, so that it is not ended and restarted between programs.
#   _wine_desktop_keep <prefix> <win32|win64> <loader> <desktop keeper>
_wine_desktop_keep() {
  local loader=$3 keeper=$4
  local -a env
  _wine_prefix_env "$1" "$2" "$3"
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

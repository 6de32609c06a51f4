# Sourced: where Wine's loaders are, and whether this machine runs 32-bit code.

# wine64_loader: prints the path of Wine's 64-bit loader.
wine64_loader() {
  local candidate
  for candidate in "${WENDREL_WINE64:-}" /usr/lib/wine/wine64 /usr/lib/wine-development/wine64 \
                   "$(command -v wine64 2>/dev/null)"; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
  done
  echo "wine-run: Wine's 64-bit loader (wine64) is not installed" >&2
  return 1
}

# runs_32bit_code: true when Wine's 32-bit loader starts on this machine. Some
# machines have IA-32 emulation switched off; there the loader cannot even
# print its version ("Exec format error"), which answers at once.
runs_32bit_code() {
  local loader=${WENDREL_WINE32:-/usr/lib/wine/wine}
  [ -x "$loader" ] && "$loader" --version >/dev/null 2>&1
}

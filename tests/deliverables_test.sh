#!/usr/bin/env bash
# The staged programs import only system DLLs and have the right machine type.
#   deliverables_test.sh <dist dir> <program>=<PE32|PE32+> ...
set -u
dist=$1; shift
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|gdiplus|msvcrt|version|userenv|wtsapi32)\.dll$'
failed=0
for entry in "$@"; do
  program=${entry%%=*} want=${entry#*=}
  path=$dist/$program
  if [ ! -f "$path" ]; then echo "missing: $path"; failed=1; continue; fi
  magic=$(x86_64-w64-mingw32-objdump -p "$path" | awk '/^Magic/ {print $2}')
  case $magic in 010b) got=PE32 ;; 020b) got=PE32+ ;; *) got="unknown ($magic)" ;; esac
  [ "$got" = "$want" ] || { echo "$program: $got, expected $want"; failed=1; }
  while read -r dll; do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls" || { echo "$program imports $dll"; failed=1; }
  done < <(x86_64-w64-mingw32-objdump -p "$path" | awk '/DLL Name:/ {print $3}')
done
[ $failed -eq 0 ] && echo "all deliverables are static and of the right machine type"
exit $failed

#!/usr/bin/env bash
# The staged programs have the right machine type and import only the
# system's known libraries: any other name would be looked for beside the
# program first, where a file downloaded with the media could lie.
#   deliverables_test.sh <dist dir> <program>=<PE32|PE32+> ...
set -u
dist=$1; shift
# KnownDLLs of Windows 7, the oldest system the programs support.
system_dlls='^(advapi32|clbcatq|comdlg32|difxapi|gdi32|imagehlp|imm32|kernel32|lpk|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shell32|shlwapi|urlmon|user32|usp10|wininet|wldap32|ws2_32)\.dll$'
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
[ $failed -eq 0 ] && echo "all deliverables are of the right machine type and import only known system libraries"
exit $failed

#!/usr/bin/env bash
# A disk that fills while the reader writes: the entry fails, the program
# ends with its failure and no crash. Needs root to mount a small tmpfs;
# skips (77) where it cannot.
# disk_full_test.sh <wine-run command...> <zip-unpack.exe>
set -u
unpack=${!#}
run=("${@:1:$#-1}")
work=$(mktemp -d)
trap 'umount "$work/disk" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/disk"
if ! mount -t tmpfs -o size=3m tmpfs "$work/disk" 2>/dev/null; then
  echo "skipped: cannot mount a tmpfs here (needs root)"
  exit 77
fi
# 8 MiB that deflate to a few KiB: the archive fits, its contents do not.
python3 - "$work/disk/runtime.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('bin/javaw.exe', b'MZ' + b'a' * 1000)
    z.writestr('lib/modules', b'0123456789abcdef' * (1 << 19))
PY
status=0
for road in "1" "1 stream" "0"; do
  out=$("${run[@]}" "$unpack" "Z:${work//\//\\}\\disk\\runtime.zip" $road 2>&1)
  rc=$?
  echo "$road: rc $rc: $out"
  if [ $rc -ne 1 ] || [[ "$out" != *" 1 failed"* ]]; then
    echo "FAILED: road '$road' should fail its entry and end with 1"
    status=1
  fi
  rm -rf "$work/disk/bin" "$work/disk/lib"
done
exit $status

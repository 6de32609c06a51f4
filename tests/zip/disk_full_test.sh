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
# Stored once as one stream and once in pieces that inflate apart.
python3 - "$work/disk" "$(dirname "$0")/../../tools/zip-pieces" <<'PY'
import sys, zipfile
sys.path.insert(0, sys.argv[2])
import zip_pieces
with zipfile.ZipFile(sys.argv[1] + '/stream.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('bin/javaw.exe', b'MZ' + b'a' * 1000)
    z.writestr('lib/modules', b'0123456789abcdef' * (1 << 19))
zip_pieces.write_pieced(sys.argv[1] + '/stream.zip', sys.argv[1] + '/pieces.zip')
PY
status=0
for road in "stream.zip memory 1" "stream.zip memory 0" "pieces.zip memory 1" "pieces.zip memory 0" \
            "pieces.zip stream 1"; do
  set -- $road
  rm -rf "$work/disk/out" && mkdir "$work/disk/out"
  out=$("${run[@]}" "$unpack" "$2" "Z:${work//\//\\}\\disk\\$1" "Z:${work//\//\\}\\disk\\out" "$3" 2>&1)
  rc=$?
  echo "$road: rc $rc: $out"
  line=$(grep '^zip-unpack: ' <<<"$out" | tr -d '\r')
  # Which file the full disk hits first depends on the threads' order.
  if [ $rc -ne 1 ] || [[ "$line" != *" 1 1" && "$line" != *" 0 2" ]]; then
    echo "FAILED: $road should fail a file and end with 1"
    status=1
  fi
done
exit $status

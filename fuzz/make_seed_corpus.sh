#!/usr/bin/env bash
# Seed archives for the fuzzer, made by the zip tools people use: Info-ZIP
# (stored, deflated, with comment, to a pipe), jar, Python's zipfile, bsdtar
# and 7z, over a few small files and folders.   make_seed_corpus.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/src
mkdir -p "$src/bin" "$src/lib/deep/er" "$src/empty"
printf 'MZ stand-in\n' > "$src/bin/javaw.exe"
seq 1 400 > "$src/lib/numbers.txt"
head -c 3000 /dev/urandom > "$src/lib/deep/er/random.bin"
: > "$src/lib/empty.txt"
printf 'caf\xc3\xa9\n' > "$src/lib/caf$(printf '\xc3\xa9').txt"

cd "$src"
zip -q -r -0 "$out/info-zip-stored.zip" .
zip -q -r -9 "$out/info-zip-deflated.zip" .
printf 'seed comment\n.\n' | zip -q -r -z "$out/info-zip-comment.zip" . >/dev/null
zip -q -r - . > "$out/info-zip-pipe.zip"
jar cfM "$out/jar.zip" .
bsdtar --format=zip -cf "$out/bsdtar.zip" .
7z a -tzip "$out/7z.zip" . >/dev/null
python3 - "$out" <<'PY'
import os, sys, zipfile
for method, label in ((zipfile.ZIP_STORED, 'stored'), (zipfile.ZIP_DEFLATED, 'deflated')):
    with zipfile.ZipFile(os.path.join(sys.argv[1], f'python-{label}.zip'), 'w', method) as z:
        for root, dirs, names in os.walk('.'):
            for name in dirs + names:
                z.write(os.path.join(root, name))
PY
# The same deflated archive stored in pieces of 512 bytes, as the media carry
# the private runtime.
python3 "$root/tools/zip-pieces/zip_pieces.py" "$out/python-deflated.zip" "$out/pieces.zip" 512

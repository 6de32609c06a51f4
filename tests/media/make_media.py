#!/usr/bin/env python3
"""Makes media with scripts/media from stand-ins for the tamper tests:
make_media.py WORK RUNTIME_X86 RUNTIME_X64 RUNTIME_INSTALLER. The media land
in WORK/out/media; the build tree WORK/tree is kept and reused."""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
work, runtime_x86, runtime_x64, installer = sys.argv[1:5]
inputs = os.path.join(work, 'in')
os.makedirs(inputs, exist_ok=True)
with open(os.path.join(inputs, 'archive.jar'), 'wb') as f:
    f.write(b'PK\x05\x06' + b'\0' * 996)  # 1000 bytes, which javaw.exe's stand-in reports reading
with open(os.path.join(inputs, 'archive.gif'), 'wb') as f:
    f.write(b'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00'
            b',\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;')
installer_copy = os.path.join(inputs, 'jre-setup.exe')
with open(installer, 'rb') as source, open(installer_copy, 'wb') as target:
    target.write(source.read())
sys.exit(subprocess.call([
    sys.executable, os.path.join(ROOT, 'scripts', 'media'), '--jar', os.path.join(inputs, 'archive.jar'),
    '--java-splash', os.path.join(inputs, 'archive.gif'), '--runtime-x86', runtime_x86, '--runtime-x64', runtime_x64,
    '--runtime-installer', installer_copy, '--required-version', '1.8.0_202',
    '--build-dir', os.path.join(work, 'tree'), '--force', '--out', os.path.join(work, 'out')]))

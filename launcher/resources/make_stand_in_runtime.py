#!/usr/bin/env python3
"""Makes the stand-in private runtime that the launcher carries by default:
    make_stand_in_runtime.py JAVAW_EXE OUT_ZIP
"bin/javaw.exe" is the given program (the recording stand-in) and "lib/"
holds a few small files. Like the shipped runtime archive it is DOS-made
(files with the archive attribute, so they unpack read-only), has folder
entries, and one folder, "lib/applet/", that holds no file.
"""
import os
import sys
import zipfile

javaw, out = sys.argv[1], sys.argv[2]
stamp = (2019, 1, 15, 10, 30, 0)


def add(archive, name, data=b'', folder=False):
    info = zipfile.ZipInfo(name, stamp)
    info.create_system = 0                      # DOS
    info.external_attr = 0x10 if folder else 0x20
    info.compress_type = zipfile.ZIP_STORED if folder else zipfile.ZIP_DEFLATED
    archive.writestr(info, data)


with zipfile.ZipFile(out + '.part', 'w') as archive:
    add(archive, 'bin/', folder=True)
    add(archive, 'bin/javaw.exe', open(javaw, 'rb').read())
    add(archive, 'lib/', folder=True)
    add(archive, 'lib/applet/', folder=True)
    add(archive, 'lib/rt.jar', b'PK stand-in class library\n' * 200)
    add(archive, 'lib/security/', folder=True)
    add(archive, 'lib/security/java.policy', b'grant {\n};\n')
    add(archive, 'release', b'JAVA_VERSION="1.8.0_202"\n')

os.replace(out + '.part', out)

#!/usr/bin/env python3
"""Tests of scripts/media: media_test.py GROUP, one of Refusals, Runs (the two
unsigned runs the later groups read), Layout, Reproducible, Signed, Road.
MEDIA_TEST_WORK names a scratch folder kept between groups; MEDIA_TEST_RUNTIME_X86,
_X64 and MEDIA_TEST_RUNTIME_INSTALLER the stand-ins; the road runs under
MEDIA_TEST_WINE_RUN in MEDIA_TEST_WINE_PREFIX (empty: no 32-bit code here)."""
import filecmp
import hashlib
import os
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_file import file_version, resources  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = os.environ.get('MEDIA_TEST_WORK') or sys.exit('media_test.py: MEDIA_TEST_WORK must name a scratch folder')
GIF = (b'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00'
       b',\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;')
INPUTS = {'jar': 'installer.jar', 'java-splash': 'installer.gif', 'splash': 'launcher.gif',
          'runtime-x86': 'jre-x86.zip', 'runtime-x64': 'jre-x64.zip', 'runtime-installer': 'jre-setup.exe'}
LAUNCHERS = ('Windows32/Setup.exe', 'Windows64/Setup.exe')
SIGNING_TIME = '2026-01-01T00:00:00Z'


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)
    return path


def media(arguments):
    return subprocess.run([sys.executable, os.path.join(ROOT, 'scripts', 'media')] + arguments,
                          capture_output=True, text=True)


def inputs(folder, make=False):
    """The release engineer's files, stand-ins in a folder of each run's own."""
    paths = {name: os.path.join(folder, file) for name, file in INPUTS.items()}
    if make:
        write(paths['jar'], b'PK\x05\x06' + b'\0' * 18)
        write(paths['java-splash'], GIF)
        write(paths['splash'], GIF + b'\0')
        for name in ('runtime-x86', 'runtime-x64', 'runtime-installer'):
            shutil.copyfile(os.environ['MEDIA_TEST_' + name.upper().replace('-', '_')], paths[name])
    return paths


def arguments(paths, out, *extra):
    return [f'--{n}={p}' for n, p in paths.items()] + ['--required-version', '1.8.0_202', '--version', '1.2.3.4',
                                                      '--out', out] + list(extra)


def files(folder):
    return sorted(os.path.relpath(os.path.join(b, n), folder) for b, _, names in os.walk(folder) for n in names)


def certificate(folder):
    """A throwaway code-signing certificate, made here and never kept."""
    key, cert, p12 = (os.path.join(folder, n) for n in ('key.pem', 'cert.pem', 'cert.p12'))
    password = write(os.path.join(folder, 'password.txt'), b'test pass\n')
    for command in (['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert, '-days', '9',
                     '-subj', '/CN=Velmar test', '-addext', 'extendedKeyUsage=codeSigning'],
                    ['pkcs12', '-export', '-in', cert, '-inkey', key, '-out', p12, '-passout', 'file:' + password]):
        subprocess.run(['openssl'] + command, check=True, capture_output=True)
    return p12, password, cert


def verifies(data, cafile):
    path = write(os.path.join(WORK, 'verified.exe'), data)
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", cafile, "-in", path], capture_output=True)
    return result.returncode == 0


class MediaTestCase(unittest.TestCase):
    def assertSameTrees(self, a, b):
        self.assertEqual(files(a), files(b))
        for name in files(a):
            self.assertTrue(filecmp.cmp(os.path.join(a, name), os.path.join(b, name), shallow=False), name)


class Refusals(MediaTestCase):
    def test_bad_input_gives_one_line_exit_code_2_and_no_output_folder(self):
        folder = os.path.join(WORK, 'refusals')
        shutil.rmtree(folder, ignore_errors=True)
        good = inputs(os.path.join(folder, 'in'), make=True)
        p12, password, _ = certificate(folder)
        bad = {n: os.path.join(folder, 'in', n) for n in ('missing', 'not-a-zip.zip', 'image.png', 'no-javaw.zip')}
        write(bad['not-a-zip.zip'], b'MZ not an archive')
        write(bad['image.png'], b'\x89PNG\r\n\x1a\n')
        with zipfile.ZipFile(bad['no-javaw.zip'], 'w') as archive:
            archive.writestr('lib/rt.jar', b'classes')
        full = os.path.dirname(write(os.path.join(folder, 'full', 'old.txt'), b'earlier'))
        sign = ['--sign-pkcs12', p12, '--sign-password-file']
        rows = [  # (input changed, extra words, the line)
            ({'jar': bad['missing']}, [], f'--jar: no such file: {bad["missing"]}'),
            # A file that opens but cannot be read, whoever runs the test.
            ({'splash': '/proc/self/mem'}, [], '--splash: cannot be read: /proc/self/mem (Input/output error)'),
            ({'java-splash': bad['image.png']}, [], f'--java-splash: not a GIF image: {bad["image.png"]}'),
            ({}, ['--version', '1.2.3.65536'], '--version: "1.2.3.65536" is not four numbers of at most 65535 '
             '(a.b.c.d)'),
            ({}, ['--required-version', '1.8.x'],
             '--required-version: "1.8.x" is not a Java version such as 1.8.0 or 1.8.0_202'),
            ({}, ['--signing-time', SIGNING_TIME], '--signing-time needs --sign-pkcs12'),
            ({}, sign + [good['jar']], f'--sign-pkcs12: cannot be opened with the password in {good["jar"]}'),
            ({'runtime-x86': bad['not-a-zip.zip']}, [], '--runtime-x86: not a ZIP archive the launcher can unpack: '
             f'{bad["not-a-zip.zip"]} (ZipIoError (-1))'),
            ({'runtime-x64': bad['no-javaw.zip']}, [],
             f'--runtime-x64: the archive has no "bin/javaw.exe": {bad["no-javaw.zip"]}'),
            ({}, ['--out', full], f'--out: folder is not empty (use --force to replace it): {full}'),
        ]
        out = os.path.join(folder, 'out')
        for changes, extra, line in rows:
            with self.subTest(line):
                # One kept tree builds the ZIP reader that checks the runtimes once.
                result = media(arguments(dict(good, **changes), out, '--build-dir', os.path.join(folder, 'tree'),
                                         *extra))
                self.assertEqual((result.returncode, result.stderr), (2, f'media: refused: {line}\n'))
                self.assertFalse(os.path.exists(out))
                self.assertEqual([n for n in os.listdir(folder) if '.building-' in n], [])
        self.assertEqual(os.listdir(full), ['old.txt'])


class Runs(unittest.TestCase):
    def test_two_unsigned_runs_in_different_folders(self):
        for name in ('a', 'b'):
            folder = os.path.join(WORK, name)
            shutil.rmtree(folder, ignore_errors=True)
            out = os.path.join(folder, 'out')
            extra = ['--build-dir', os.path.join(folder, 'tree')]
            if name == 'b':  # the second one replaces an earlier result
                write(os.path.join(out, 'stale'), b'')
                extra.append('--force')
            result = media(arguments(inputs(os.path.join(folder, 'in'), make=True), out, *extra))
            write(os.path.join(folder, 'stdout.txt'), result.stdout.encode())
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertFalse(os.path.exists(os.path.join(out, 'stale')))


class Layout(unittest.TestCase):
    def test_media_programs_runtimes_configuration_and_versions(self):
        out = os.path.join(WORK, 'a', 'out')
        given = {n: read(p) for n, p in inputs(os.path.join(WORK, 'a', 'in')).items()}
        shipped = {n: read(os.path.join(out, 'media', n)) for n in files(os.path.join(out, 'media'))}
        self.assertEqual(sorted(shipped), ['JVM/jre-setup.exe', 'Setup.config', 'Setup.exe'] + [
            f'Windows{b}/{n}' for b in (32, 64) for n in ('Setup.exe', 'archive.gif', 'archive.jar')])
        self.assertEqual(shipped['JVM/jre-setup.exe'], given['runtime-installer'])
        for launcher, runtime in zip(LAUNCHERS, ('runtime-x86', 'runtime-x64')):
            folder = os.path.dirname(launcher)
            self.assertEqual((shipped[f'{folder}/archive.jar'], shipped[f'{folder}/archive.gif']),
                             (given['jar'], given['java-splash']))
            carried = resources(shipped[launcher])
            self.assertEqual(carried[(10, 2000)], given[runtime], launcher)
            self.assertEqual(carried[('GIF', 'ARCHIVE')], given['splash'])
            helpers = [carried[('RT_EXE', i)] for i in (1000, 1001, 1002)]
            self.assertEqual({file_version(p) for p in [shipped[launcher], shipped['Setup.exe']] + helpers},
                             {'1.2.3.4'})
        self.assertNotEqual(given['runtime-x86'], given['runtime-x64'])
        # Each program lists the media files it uses, Setup.exe the launchers as shipped.
        def listed(folder, names):
            files = [(n, shipped[os.path.join(folder, n)]) for n in names]
            return ''.join(f'{hashlib.sha256(d).hexdigest()} {len(d)} ' + n.replace('/', '\\') + '\n' for n, d in files)
        for launcher in LAUNCHERS:
            self.assertEqual(resources(shipped[launcher])[(10, 4000)].decode(),
                             listed(os.path.dirname(launcher), ['archive.jar', 'archive.gif']), launcher)
        self.assertEqual(resources(shipped['Setup.exe'])[(10, 4000)].decode(),
                         listed('', ['Setup.config', 'JVM/jre-setup.exe'] + list(LAUNCHERS)))
        settings = ElementTree.fromstring(shipped['Setup.config']).iter('add')
        self.assertEqual({a.get('key'): a.get('value') for a in settings}, {'JRE.RequiredVersion': '1.8.0_202'})

        with zipfile.ZipFile(os.path.join(out, 'media.zip')) as archive:
            self.assertEqual({n: archive.read(n) for n in archive.namelist() if n[-1] != '/'}, shipped)
        sums = subprocess.run(['sha256sum', '--check', '--strict', 'SHA256SUMS'], cwd=out, capture_output=True)
        self.assertEqual((sums.returncode, sums.stdout.count(b': OK\n')), (0, len(shipped) + 1))
        self.assertEqual(files(os.path.join(out, 'symbols')), [f'x64/{n}.exe' for n in ('Pellow', 'Purlow', 'wendrel')]
                         + [f'x86/{n}.exe' for n in ('Pellow', 'Purlow', 'Setup', 'wendrel')])
        for name in files(out):
            data = read(os.path.join(out, name))
            for folder in (os.path.join(WORK, 'a'), ROOT):
                self.assertNotIn(folder.encode(), data, name)
                self.assertNotIn(folder.replace('/', '\\').encode('utf-16-le'), data, name)
        progress = read(os.path.join(WORK, 'a', 'stdout.txt')).decode().splitlines()
        self.assertRegex('\n'.join(progress[:-1]), r'^(media: [^\n]+ \.\.\. [0-9]+\.[0-9] s\n?){9,}$')


class Reproducible(MediaTestCase):
    def test_unsigned_runs_in_different_folders_are_byte_identical(self):
        self.assertSameTrees(os.path.join(WORK, 'a', 'out'), os.path.join(WORK, 'b', 'out'))


class Signed(MediaTestCase):
    def test_signed_programs_and_helpers_verify_and_are_reproducible(self):
        os.makedirs(os.path.join(WORK, 'certificate'), exist_ok=True)
        p12, password, cafile = certificate(os.path.join(WORK, 'certificate'))
        for name in ('a', 'b'):
            shutil.rmtree(os.path.join(WORK, name, 'signed'), ignore_errors=True)
            result = media(arguments(inputs(os.path.join(WORK, name, 'in')), os.path.join(WORK, name, 'signed'),
                                     '--build-dir', os.path.join(WORK, name, 'tree'), '--sign-pkcs12', p12,
                                     '--sign-password-file', password, '--signing-time', SIGNING_TIME))
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn('media: verifying the signatures of 7 programs ...', result.stdout)
        self.assertSameTrees(os.path.join(WORK, 'a', 'signed'), os.path.join(WORK, 'b', 'signed'))

        signed = os.path.join(WORK, 'a', 'signed', 'media')
        self.assertTrue(verifies(read(os.path.join(signed, 'Setup.exe')), cafile))
        for launcher in LAUNCHERS:
            program = read(os.path.join(signed, launcher))
            self.assertTrue(verifies(program, cafile), launcher)
            for helper in (1000, 1001, 1002):
                self.assertTrue(verifies(resources(program)[('RT_EXE', helper)], cafile), (launcher, helper))
            flipped = bytearray(program)
            flipped[len(flipped) // 2] ^= 1
            self.assertFalse(verifies(bytes(flipped), cafile))
        # A carried helper is the unsigned build with a signature added, and
        # nothing else. Setup.exe lists the signed launchers' bytes, so an
        # unsigned rebuild of it differs (in that list).
        unsigned = os.path.join(WORK, 'a', 'out', 'media')
        checks = os.path.join(WORK, 'a', 'compare')
        os.makedirs(checks, exist_ok=True)
        for name, program in (('signed', signed), ('unsigned', unsigned)):
            with open(os.path.join(checks, name + '-Pellow.exe'), 'wb') as f:
                f.write(resources(read(os.path.join(program, LAUNCHERS[0])))[('RT_EXE', 1000)])
        script = os.path.join(ROOT, 'scripts', 'compare-program')
        for shipped, rebuilt, verdict in (
                (os.path.join(checks, 'signed-Pellow.exe'), os.path.join(checks, 'unsigned-Pellow.exe'),
                 ': the rebuild, signed\n'),
                (os.path.join(signed, 'Setup.exe'), os.path.join(unsigned, 'Setup.exe'),
                 ': differs from the rebuild apart from its signature, first at byte ')):
            result = subprocess.run([script, shipped, rebuilt], capture_output=True, text=True)
            self.assertTrue(result.stdout.startswith(shipped + verdict), result.stdout)


class Road(unittest.TestCase):
    def test_setup_runs_the_runtime_installer_then_the_launcher_starts_javaw(self):
        prefix = os.environ.get('MEDIA_TEST_WINE_PREFIX', '')
        if not prefix:
            self.skipTest('the 32-bit suite does not run here (no 32-bit code, or WENDREL_TEST_SUITES=x64), '
                          'and Setup.exe on the media is 32-bit')
        road = os.path.join(WORK, 'road')
        shutil.rmtree(road, ignore_errors=True)
        shutil.copytree(os.path.join(WORK, 'a', 'out', 'media'), os.path.join(road, 'media'))
        wine = [os.environ['MEDIA_TEST_WINE_RUN'], '--prefix=' + prefix]
        for key in (r'HKLM\Software\JavaSoft', r'HKLM\Software\Wow6432Node\JavaSoft'):
            subprocess.run(wine + ['reg', 'delete', key + r'\Java Runtime Environment', '/f'], capture_output=True)
        # javaw.exe of the private runtime records here: the launcher removes its folder after the run.
        # The runtime installer runs from a copy in Setup's run folder, which goes with the run: it records here.
        environment = dict(os.environ, RUNTIME_INSTALLER_HOME='Z:' + road.replace('/', '\\') + r'\jre',
                           RUNTIME_INSTALLER_RECORD='Z:' + road.replace('/', '\\') + r'\jre-setup',
                           RUNTIME_INSTALLER_DELAY_MS='200', RECORDER_RECORD='Z:' + road.replace('/', '\\') + r'\javaw')
        setup = 'Z:' + road.replace('/', '\\') + r'\media\Setup.exe'
        result = subprocess.run(wine + [setup, '/silent', '/language=fr', '/country=CA'], env=environment,
                                capture_output=True, timeout=240)
        self.assertEqual(result.returncode, 0)
        run_folder = r'C:\\windows\\Temp\\wendrel-[0-9A-F]{8}(?:-[0-9A-F]{4}){3}-[0-9A-F]{12}'
        installer = read(os.path.join(road, 'jre-setup')).decode()
        self.assertRegex(installer, r'commandline="?' + run_folder + r'\\jre-setup\.exe"? /s\r?\n')
        self.assertRegex(installer, r'cwd=' + run_folder + r'\r?\n')
        javaw = read(os.path.join(road, 'javaw')).decode()
        self.assertRegex(javaw, r'commandline=.*\\BundledJVM\\bin\\javaw\.exe .*-Duser\.language=fr '
                         r'-Duser\.country=CA -jar "Z:\\.*\\road\\media\\Windows64\\archive\.jar"')
        self.assertRegex(javaw, r'cwd=' + run_folder + r'\r?\n')


if __name__ == '__main__':
    unittest.main(argv=[sys.argv[0], '-v'] + sys.argv[1:])

#!/usr/bin/env python3
"""Tests of scripts/media: media_test.py GROUP

Groups: Refusals (no build), Runs (the two unsigned runs the others read),
Layout, Reproducible, Signed, Road (under Wine; needs 32-bit code).
Settings come from the environment: MEDIA_TEST_WORK (a scratch folder kept
between groups), MEDIA_TEST_RUNTIME_X86, MEDIA_TEST_RUNTIME_X64 (stand-in
runtimes), MEDIA_TEST_RUNTIME_INSTALLER, and for the road MEDIA_TEST_WINE_RUN
and MEDIA_TEST_WINE_PREFIX (empty where 32-bit code cannot run).
"""
import filecmp
import os
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_file  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MEDIA = os.path.join(ROOT, 'scripts', 'media')
WORK = os.environ.get('MEDIA_TEST_WORK') or sys.exit('media_test.py: MEDIA_TEST_WORK must name a scratch folder')
VERSION = '1.2.3.4'
REQUIRED = '1.8.0_202'
SIGNING_TIME = '2026-01-01T00:00:00Z'
ONE_PIXEL_GIF = (b'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00'
                 b',\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;')
INPUT_FILES = {'jar': 'installer.jar', 'java-splash': 'installer.gif', 'splash': 'launcher.gif',
               'runtime-x86': 'jre-x86.zip', 'runtime-x64': 'jre-x64.zip', 'runtime-installer': 'jre-setup.exe'}
PROGRAMS = ('Setup.exe', 'Windows32/Setup.exe', 'Windows64/Setup.exe')


def run_media(arguments):
    return subprocess.run([sys.executable, MEDIA] + arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)
    return path


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def make_inputs(folder, create=True):
    """The release engineer's files, as small stand-ins; their own copy per run folder."""
    if not create:
        return {name: os.path.join(folder, file) for name, file in INPUT_FILES.items()}
    inputs = {
        'jar': write(os.path.join(folder, 'installer.jar'), b'PK\x05\x06' + b'\0' * 18),
        'java-splash': write(os.path.join(folder, 'installer.gif'), ONE_PIXEL_GIF),
        'splash': write(os.path.join(folder, 'launcher.gif'), ONE_PIXEL_GIF + b'\0'),
        'runtime-x86': os.path.join(folder, 'jre-x86.zip'),
        'runtime-x64': os.path.join(folder, 'jre-x64.zip'),
        'runtime-installer': os.path.join(folder, 'jre-setup.exe'),
    }
    assert {n: os.path.basename(p) for n, p in inputs.items()} == INPUT_FILES
    shutil.copyfile(os.environ['MEDIA_TEST_RUNTIME_X86'], inputs['runtime-x86'])
    shutil.copyfile(os.environ['MEDIA_TEST_RUNTIME_X64'], inputs['runtime-x64'])
    shutil.copyfile(os.environ['MEDIA_TEST_RUNTIME_INSTALLER'], inputs['runtime-installer'])
    return inputs


def arguments(inputs, out, **extra):
    words = [f'--{name}={path}' for name, path in inputs.items()]
    words += ['--required-version', REQUIRED, '--version', VERSION, '--out', out]
    for name, value in extra.items():
        words += [f'--{name.replace("_", "-")}'] + ([] if value is True else [value])
    return words


def make_certificate(folder):
    """A throwaway code-signing certificate, made here and never kept."""
    os.makedirs(folder, exist_ok=True)
    key, cert = os.path.join(folder, 'key.pem'), os.path.join(folder, 'cert.pem')
    p12, password = os.path.join(folder, 'cert.p12'), write(os.path.join(folder, 'password.txt'), b'test pass\n')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert,
                    '-days', '3650', '-subj', '/CN=Velmar test signing', '-addext',
                    'extendedKeyUsage=codeSigning'], check=True, capture_output=True)
    subprocess.run(['openssl', 'pkcs12', '-export', '-in', cert, '-inkey', key, '-out', p12,
                    '-passout', 'file:' + password], check=True, capture_output=True)
    return p12, password, cert


def wine_path(path):
    return 'Z:' + path.replace('/', '\\')


def files_below(folder):
    return sorted(os.path.relpath(os.path.join(base, name), folder)
                  for base, _, names in os.walk(folder) for name in names)


def leftovers(parent):
    return [name for name in os.listdir(parent) if '.building-' in name]


def verifies(program, cafile):
    return subprocess.run(['osslsigncode', 'verify', '-CAfile', cafile, '-in', program],
                          capture_output=True).returncode == 0


class Refusals(unittest.TestCase):
    """Each bad input: one line, exit code 2, no output folder, no temporary folder."""

    @classmethod
    def setUpClass(cls):
        cls.folder = os.path.join(WORK, 'refusals')
        shutil.rmtree(cls.folder, ignore_errors=True)
        cls.inputs = make_inputs(os.path.join(cls.folder, 'inputs'))
        cls.p12, cls.password, _ = make_certificate(os.path.join(cls.folder, 'certificate'))
        inputs = os.path.join(cls.folder, 'inputs')
        with zipfile.ZipFile(os.path.join(inputs, 'no-javaw.zip'), 'w') as archive:
            archive.writestr('lib/rt.jar', b'classes')
        with zipfile.ZipFile(os.path.join(inputs, 'bzip2.zip'), 'w', zipfile.ZIP_BZIP2) as archive:
            archive.writestr('bin/javaw.exe', b'MZ' * 100)
        write(os.path.join(inputs, 'not-a-zip.zip'), b'MZ not an archive')
        write(os.path.join(inputs, 'image.png'), b'\x89PNG\r\n\x1a\n')
        write(os.path.join(inputs, 'wrong-password.txt'), b'not the password\n')
        write(os.path.join(cls.folder, 'full', 'old.txt'), b'an earlier result')

    def refuse(self, message, changes, extra=(), out=None):
        inputs = dict(self.inputs)
        inputs.update({k: os.path.join(self.folder, 'inputs', v) if v and '/' not in v else v
                       for k, v in changes.items()})
        out = out or os.path.join(self.folder, 'out')
        # The runtime rows need the ZIP reader; one kept tree builds it once.
        words = arguments(inputs, out) + ['--build-dir', os.path.join(self.folder, 'tree')] + list(extra)
        before = os.listdir(out) if os.path.isdir(out) else None
        result = run_media(words)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertEqual(result.stderr.splitlines(), [f'media: refused: {message}'])
        self.assertEqual(os.listdir(out) if os.path.isdir(out) else None, before)
        self.assertEqual(leftovers(self.folder), [])

    def test_each_bad_input_is_refused_before_anything_is_built(self):
        inputs = os.path.join(self.folder, 'inputs')
        rows = [
            ('--jar: no such file: ' + os.path.join(inputs, 'missing.jar'), {'jar': 'missing.jar'}, ()),
            # A file that opens but cannot be read, whoever runs the test.
            ('--java-splash: cannot be read: /proc/self/mem (Input/output error)',
             {'java-splash': '/proc/self/mem'}, ()),
            ('--runtime-installer: no such file: ' + os.path.join(inputs, 'nothing.exe'),
             {'runtime-installer': 'nothing.exe'}, ()),
            ('--splash: not a GIF image: ' + os.path.join(inputs, 'image.png'), {'splash': 'image.png'}, ()),
            ('--java-splash: not a GIF image: ' + os.path.join(inputs, 'image.png'),
             {'java-splash': 'image.png'}, ()),
            ('--version: "1.2.3" is not four numbers of at most 65535 (a.b.c.d)', {}, ('--version', '1.2.3')),
            ('--version: "1.2.3.65536" is not four numbers of at most 65535 (a.b.c.d)', {},
             ('--version', '1.2.3.65536')),
            ('--required-version: "1.8.x" is not a Java version such as 1.8.0 or 1.8.0_202', {},
             ('--required-version', '1.8.x')),
            ('--required-version: "" is not a Java version such as 1.8.0 or 1.8.0_202', {},
             ('--required-version', '')),
            ('--sign-pkcs12 needs --sign-password-file', {}, ('--sign-pkcs12', self.p12)),
            ('--signing-time needs --sign-pkcs12', {}, ('--signing-time', SIGNING_TIME)),
            ('--sign-pkcs12: cannot be opened with the password in ' + os.path.join(inputs, 'wrong-password.txt'),
             {}, ('--sign-pkcs12', self.p12, '--sign-password-file', os.path.join(inputs, 'wrong-password.txt'))),
            ('--signing-time: "yesterday" is neither YYYY-MM-DDTHH:MM:SSZ nor seconds since 1970', {},
             ('--sign-pkcs12', self.p12, '--sign-password-file', self.password, '--signing-time', 'yesterday')),
            ('--runtime-x86: not a ZIP archive the launcher can unpack: ' + os.path.join(inputs, 'not-a-zip.zip') +
             ' (ZipIoError (-1))',
             {'runtime-x86': 'not-a-zip.zip'}, ()),
            ('--runtime-x64: not a ZIP archive the launcher can unpack: ' + os.path.join(inputs, 'bzip2.zip') +
             ' (entry 0: ZipInconsistent (1792))', {'runtime-x64': 'bzip2.zip'}, ()),
            ('--runtime-x64: the archive has no "bin/javaw.exe": ' + os.path.join(inputs, 'no-javaw.zip'),
             {'runtime-x64': 'no-javaw.zip'}, ()),
        ]
        for message, changes, extra in rows:
            with self.subTest(message):
                self.refuse(message, changes, extra)
        full = os.path.join(self.folder, 'full')
        with self.subTest('an output folder that is not empty'):
            self.refuse('--out: folder is not empty (use --force to replace it): ' + full, {}, out=full)
            self.assertEqual(read(os.path.join(full, 'old.txt')), b'an earlier result')


def run_folder(name):
    return os.path.join(WORK, name)


class Runs(unittest.TestCase):
    """Two unsigned runs with the same inputs in different folders; the later
    groups read their results."""

    def test_two_unsigned_runs_in_different_folders(self):
        for name in ('a', 'b'):
            folder = run_folder(name)
            shutil.rmtree(folder, ignore_errors=True)
            inputs = make_inputs(os.path.join(folder, 'inputs'))
            out = os.path.join(folder, 'out')
            extra = {'build_dir': os.path.join(folder, 'tree')}
            # The second run replaces an earlier result.
            if name == 'b':
                write(os.path.join(out, 'media', 'stale.txt'), b'old')
                extra['force'] = True
            result = run_media(arguments(inputs, out, **extra))
            write(os.path.join(folder, 'stdout.txt'), result.stdout.encode())
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertFalse(os.path.exists(os.path.join(out, 'media', 'stale.txt')))
            self.assertEqual(leftovers(folder), [])


class Layout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = run_folder('a')
        cls.out = os.path.join(cls.folder, 'out')
        cls.media = os.path.join(cls.out, 'media')
        cls.inputs = make_inputs(os.path.join(cls.folder, 'inputs'), create=False)

    def test_media_hold_exactly_the_programs_and_files(self):
        self.assertEqual(files_below(self.media), [
            'JVM/jre-setup.exe', 'Setup.config', 'Setup.exe',
            'Windows32/Setup.exe', 'Windows32/archive.gif', 'Windows32/archive.jar',
            'Windows64/Setup.exe', 'Windows64/archive.gif', 'Windows64/archive.jar'])
        self.assertEqual(sorted(os.listdir(self.out)), ['SHA256SUMS', 'media', 'media.zip', 'symbols'])
        for bits in ('32', '64'):
            self.assertEqual(read(os.path.join(self.media, f'Windows{bits}', 'archive.jar')),
                             read(self.inputs['jar']))
            self.assertEqual(read(os.path.join(self.media, f'Windows{bits}', 'archive.gif')),
                             read(self.inputs['java-splash']))
        self.assertEqual(read(os.path.join(self.media, 'JVM', 'jre-setup.exe')),
                         read(self.inputs['runtime-installer']))

    def test_each_launcher_carries_its_bitness_runtime_and_the_splash(self):
        for folder, runtime, is64 in (('Windows32', 'runtime-x86', False), ('Windows64', 'runtime-x64', True)):
            with self.subTest(folder):
                program = pe_file.read(os.path.join(self.media, folder, 'Setup.exe'))
                resources = program.resources()
                self.assertEqual(program.is64, is64)
                self.assertEqual(resources[(10, 2000)], read(self.inputs[runtime]))
                self.assertEqual(resources[('GIF', 'ARCHIVE')], read(self.inputs['splash']))
        self.assertNotEqual(read(self.inputs['runtime-x86']), read(self.inputs['runtime-x64']))

    def test_setup_config_holds_the_required_version(self):
        settings = ElementTree.parse(os.path.join(self.media, 'Setup.config')).getroot()
        values = {add.get('key'): add.get('value') for add in settings.iter('add')}
        self.assertEqual(values, {'JRE.RequiredVersion': REQUIRED})

    def test_every_program_and_embedded_helper_has_the_version(self):
        for name in PROGRAMS:
            program = pe_file.read(os.path.join(self.media, name))
            self.assertEqual(program.file_version(), VERSION, name)
            if name != 'Setup.exe':
                for helper in (1000, 1001, 1002):
                    embedded = pe_file.PeFile(program.resources()[('RT_EXE', helper)])
                    self.assertEqual(embedded.file_version(), VERSION, f'{name} {helper}')

    def test_zip_and_sums_hold_the_media_files(self):
        with zipfile.ZipFile(os.path.join(self.out, 'media.zip')) as archive:
            names = [n for n in archive.namelist() if not n.endswith('/')]
            self.assertEqual(names, files_below(self.media))
            for name in names:
                self.assertEqual(archive.read(name), read(os.path.join(self.media, name)), name)
            self.assertEqual({i.date_time for i in archive.infolist()}, {(2000, 1, 1, 0, 0, 0)})
        sums = subprocess.run(['sha256sum', '--check', '--strict', 'SHA256SUMS'], cwd=self.out,
                              capture_output=True, text=True)
        self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)
        self.assertEqual(len(sums.stdout.splitlines()), len(files_below(self.media)) + 1)

    def test_symbols_are_the_unstripped_programs(self):
        self.assertEqual(files_below(os.path.join(self.out, 'symbols')), [
            'x64/Pellow.exe', 'x64/Purlow.exe', 'x64/wendrel.exe',
            'x86/Pellow.exe', 'x86/Purlow.exe', 'x86/Setup.exe', 'x86/wendrel.exe'])
        for shipped, unstripped in (('Setup.exe', 'x86/Setup.exe'), ('Windows64/Setup.exe', 'x64/wendrel.exe')):
            self.assertGreater(os.path.getsize(os.path.join(self.out, 'symbols', unstripped)),
                               os.path.getsize(os.path.join(self.media, shipped)))

    def test_no_output_names_the_build_or_source_folder(self):
        paths = [self.folder, ROOT]
        needles = [p.encode() for p in paths] + [p.encode('utf-16-le') for p in paths]
        needles += [p.replace('/', '\\').encode('utf-16-le') for p in paths]
        for name in files_below(self.out):
            data = read(os.path.join(self.out, name))
            for needle in needles:
                self.assertNotIn(needle, data, name)

    def test_progress_is_one_timed_line_per_step(self):
        lines = read(os.path.join(self.folder, 'stdout.txt')).decode().splitlines()
        self.assertGreaterEqual(len(lines), 9)
        for line in lines[:-1]:
            self.assertRegex(line, r'^media: [a-zA-Z0-9 ,.\-"/]+ \.\.\. [0-9]+\.[0-9] s$')
        self.assertRegex(lines[-1], r'^media: done in [0-9.]+ s: ')


class Reproducible(unittest.TestCase):
    def test_unsigned_runs_in_different_folders_are_byte_identical(self):
        a, b = (os.path.join(run_folder(n), 'out') for n in ('a', 'b'))
        self.assertEqual(files_below(a), files_below(b))
        for name in files_below(a):
            self.assertTrue(filecmp.cmp(os.path.join(a, name), os.path.join(b, name), shallow=False), name)


class Signed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.p12, cls.password, cls.cafile = make_certificate(os.path.join(WORK, 'certificate'))
        cls.outs = []
        for name in ('a', 'b'):
            folder = run_folder(name)
            out = os.path.join(folder, 'signed')
            shutil.rmtree(out, ignore_errors=True)
            inputs = make_inputs(os.path.join(folder, 'inputs'), create=False)
            result = run_media(arguments(inputs, out, build_dir=os.path.join(folder, 'tree'),
                                         sign_pkcs12=cls.p12, sign_password_file=cls.password,
                                         signing_time=SIGNING_TIME))
            if result.returncode != 0:
                raise AssertionError(result.stdout + result.stderr)
            cls.stdout = result.stdout
            cls.outs.append(out)
        cls.media = os.path.join(cls.outs[0], 'media')

    def test_every_program_and_embedded_helper_verifies(self):
        self.assertIn('media: verifying the signatures of 7 programs ...', self.stdout)
        for name in PROGRAMS:
            path = os.path.join(self.media, name)
            self.assertTrue(verifies(path, self.cafile), name)
            if name != 'Setup.exe':
                for helper in (1000, 1001, 1002):
                    embedded = write(os.path.join(WORK, 'helper.exe'),
                                     pe_file.read(path).resources()[('RT_EXE', helper)])
                    self.assertTrue(verifies(embedded, self.cafile), f'{name} {helper}')

    def test_one_flipped_byte_fails_verification(self):
        data = bytearray(read(os.path.join(self.media, 'Windows32', 'Setup.exe')))
        data[len(data) // 2] ^= 0x01
        self.assertFalse(verifies(write(os.path.join(WORK, 'flipped.exe'), bytes(data)), self.cafile))

    def test_the_unsigned_program_is_inside_the_signed_one(self):
        compare = os.path.join(ROOT, 'scripts', 'compare-program')
        unsigned = os.path.join(run_folder('a'), 'out', 'media', 'Setup.exe')
        signed = os.path.join(self.media, 'Setup.exe')
        result = subprocess.run([compare, signed, unsigned], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout), (0, f'{signed}: the rebuild, signed\n'))
        data = bytearray(read(signed))
        data[len(data) // 3] ^= 0x01
        flipped = write(os.path.join(WORK, 'flipped-setup.exe'), bytes(data))
        result = subprocess.run([compare, flipped, unsigned], capture_output=True, text=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f'apart from its signature, first at byte {len(data) // 3}', result.stdout)

    def test_signed_runs_with_a_fixed_signing_time_are_byte_identical(self):
        a, b = self.outs
        self.assertEqual(files_below(a), files_below(b))
        for name in files_below(a):
            self.assertTrue(filecmp.cmp(os.path.join(a, name), os.path.join(b, name), shallow=False), name)


class Road(unittest.TestCase):
    """Setup.exe on the media, through the runtime installer and the launcher, to javaw.exe."""

    def test_setup_runs_the_runtime_installer_and_the_launcher_starts_javaw(self):
        prefix = os.environ.get('MEDIA_TEST_WINE_PREFIX', '')
        if not prefix:
            self.skipTest('the 32-bit suite does not run here (no 32-bit code, or WENDREL_TEST_SUITES=x64), '
                          'and Setup.exe on the media is 32-bit')
        wine = [os.environ['MEDIA_TEST_WINE_RUN'], '--prefix=' + prefix]
        media = os.path.join(WORK, 'road', 'media')
        shutil.rmtree(os.path.dirname(media), ignore_errors=True)
        shutil.copytree(os.path.join(run_folder('a'), 'out', 'media'), media)
        # javaw.exe of the private runtime records here: its folder is removed after the run.
        record = os.path.join(WORK, 'road', 'javaw.record')
        subprocess.run(wine + ['reg', 'delete', r'HKLM\Software\JavaSoft\Java Runtime Environment', '/f'],
                       capture_output=True)
        subprocess.run(wine + ['reg', 'delete', r'HKLM\Software\Wow6432Node\JavaSoft\Java Runtime Environment',
                               '/f'], capture_output=True)
        environment = dict(os.environ, RUNTIME_INSTALLER_HOME=wine_path(os.path.join(WORK, 'road', 'jre')),
                           RUNTIME_INSTALLER_DELAY_MS='200', RECORDER_RECORD=wine_path(record))
        setup = wine_path(os.path.join(media, 'Setup.exe'))
        result = subprocess.run(wine + [setup, '/silent', '/language=fr', '/country=CA'], env=environment,
                                capture_output=True, timeout=240)
        self.assertEqual(result.returncode, 0)
        installer = read(os.path.join(media, 'JVM', 'jre-setup.exe.record')).decode('utf-8')
        self.assertRegex(installer, r'commandline=.*jre-setup\.exe"? /s\r?\n')
        javaw = read(record).decode('utf-8')
        self.assertIn(r'\Windows64\archive.jar', javaw)
        self.assertIn('-Duser.language=fr', javaw)
        self.assertIn('-Duser.country=CA', javaw)
        self.assertRegex(javaw, r'cwd=Z:\\.*\\road\\media\\Windows64\\?\r?\n')


if __name__ == '__main__':
    unittest.main(argv=[sys.argv[0], '-v'] + sys.argv[1:])

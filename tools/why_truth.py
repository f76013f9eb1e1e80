#!/usr/bin/env python3
"""Reproduces, one row each, the ways a Skelv run can misreport what happened: failures on a
full disk, NetCDF write failures, damaged and unseekable input, unreachable start offsets,
mistyped switches, read errors, outputs behind symbolic links, killed runs and the manual's
scan example. Each row prints a short name, the command and what happened (console tail, exit
status, standard error, file facts), so that two Skelv executables can be compared row by row.

    tools/why_truth.py SKELV [--work DIR] [--keep] [--tsv FILE] [--only NAME,...]
                       [--demo IMAGE] [--make-bench PROGRAM] [--eio-shim FILE.c|FILE.so] [--src DIR]

Images: examples/demo.bin; benchmark images of 3, 4 and 32 MiB from skelv-make-bench-image (by
default the one beside SKELV); the demo with 300 seeded random bytes inserted in its middle
(seed 0) and the 3 MiB image with 300 seeded random bytes written over its middle (seed 6).
Needs Python 3, gcc (read-error preload), ncdump (netcdf-bin), and root for the two full-disk
rows (tmpfs mounts; they say "skipped" otherwise).
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

sys.dont_write_bytecode = True  # no __pycache__ beside the tools
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from edge_run import (REPO, SUFFIXES, Verdict, build_eio_shim, console_lines, describe, execute,  # noqa: E402
                      folder_bytes)


class Why:
    def __init__(self, args):
        self.args = args
        self.skelv = os.path.abspath(args.skelv)
        self.work = os.path.abspath(args.work) if args.work else tempfile.mkdtemp(prefix='skelv-why-')
        os.makedirs(self.work, exist_ok=True)
        self.env = dict(os.environ, TMPDIR=os.path.join(self.work, 'tmp'))
        self.env['ASAN_OPTIONS'] = self.env.get('ASAN_OPTIONS', '') + ':verify_asan_link_order=0'
        os.makedirs(self.env['TMPDIR'], exist_ok=True)
        self.images = {}
        self.rows = []
        self.count = 0

    # -- setup ------------------------------------------------------------------------------

    def prepare(self):
        folder = os.path.join(self.work, 'images')
        os.makedirs(folder, exist_ok=True)
        demo = os.path.join(folder, 'demo.bin')
        shutil.copyfile(self.args.demo, demo)
        self.images['demo'] = demo
        maker = self.args.make_bench or os.path.join(os.path.dirname(self.skelv), 'skelv-make-bench-image')
        for mib in (3, 4, 32):
            path = os.path.join(folder, f'b{mib}.bin')
            if not os.path.exists(path):
                subprocess.run([maker, path, str(mib)], check=True, stdout=subprocess.DEVNULL)
            self.images[f'b{mib}'] = path
        self.images['demo300'] = self.damaged(demo, os.path.join(folder, 'demo300.bin'), 0, insert=True)
        self.images['b3dmg'] = self.damaged(self.images['b3'], os.path.join(folder, 'b3dmg.bin'), 6, insert=False)

    @staticmethod
    def damaged(source, path, seed, insert):
        """300 random bytes of the seed in the middle of the image, inserted or written over it."""
        with open(source, 'rb') as f:
            base = f.read()
        rng = random.Random(seed)
        junk = bytes(rng.randrange(256) for _ in range(300))
        mid = len(base) // 2
        with open(path, 'wb') as f:
            f.write(base[:mid] + junk + base[mid if insert else mid + 300:])
        return path

    def folder(self, name, image=None, as_name=None):
        """A fresh folder for a row, with the image linked in (under as_name)."""
        path = os.path.join(self.work, 'rows', name)
        if os.path.exists(path):
            shutil.rmtree(path)
        os.makedirs(path)
        if image is not None:
            os.symlink(self.images[image], os.path.join(path, as_name or os.path.basename(self.images[image])))
        return path

    def run(self, folder, args, env=None, stdin=None, watch=None, tag='run'):
        outcome = execute([self.skelv] + args, folder, os.path.join(folder, '..', '..', 'logs',
                                                                   os.path.basename(folder), tag),
                          env=env or self.env, stdin=stdin, watch=watch, timeout=600)
        outcome.lines = console_lines(outcome.out)
        outcome.verdict = Verdict(outcome.lines)
        return outcome

    # -- reporting ----------------------------------------------------------------------------

    def row(self, name, command, facts):
        self.count += 1
        self.rows.append((name, command, facts))
        print(f'[{self.count}] {name}\n    $ {command}')
        for fact in facts:
            print(f'    {fact}')
        print(flush=True)

    @staticmethod
    def status(outcome):
        s = outcome.status
        if s < 0:
            try:
                return f'killed by {signal.Signals(-s).name} (shell status {128 - s})'
            except ValueError:
                return f'killed by signal {-s}'
        return f'exit status {s}'

    @staticmethod
    def tail(outcome, n=3):
        """The console's last lines after the File/PWD lines, without the progress and GPS notes."""
        pwd = next((i for i, line in enumerate(outcome.lines) if line.startswith('PWD:')), -1)
        shown = [line.strip() for line in outcome.lines[pwd + 1:] if line.strip()][-n:]
        return ' | '.join(shown) if shown else '(nothing after PWD)'

    @staticmethod
    def stderr(outcome, n=2):
        lines = [line.strip() for line in outcome.err.splitlines() if line.strip()]
        if not lines:
            return 'standard error: (empty)'
        text = ' | '.join(line[:150] for line in lines[:n])
        return f'standard error: {text}' + (f' (+{len(lines) - n} lines)' if len(lines) > n else '')

    def basics(self, outcome, n=3):
        """Exit status and the console's verdict, the console's last lines, standard error."""
        v = outcome.verdict
        failures = ' | '.join(v.failure_lines[:4]) + (f' (+{len(v.failure_lines) - 4})' if len(v.failure_lines) > 4 else '')
        return [f'{self.status(outcome)}; "Completed.": {"yes" if v.completed else "no"}; failure lines: {failures or "none"}',
                f'console tail: {self.tail(outcome, n)}', self.stderr(outcome)]

    @staticmethod
    def line_count(path):
        if not os.path.exists(path):
            return None
        with open(path, 'rb') as f:
            return sum(block.count(b'\n') for block in iter(lambda: f.read(1 << 20), b''))

    @staticmethod
    def ncdump(path, *flags):
        proc = subprocess.run(['ncdump', *flags, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return proc.returncode, proc.stdout.decode('utf-8', 'replace')

    def nc_facts(self, path):
        """Whether a NetCDF file opens, its unlimited dimensions' lengths and run_result."""
        code, header = self.ncdump(path, '-h')
        if code != 0:
            return 'does not open'
        dims = re.findall(r'\t(\w+) = UNLIMITED ; // \((\d+) currently\)', header)
        dims = ', '.join(f'{d}={n}' for d, n in dims if d in ('obs', 'snapshot', 'profile', 'dive'))
        result = re.search(r':run_result = "([^"]*)"', header)
        return f'opens ({dims}; run_result={result.group(1) if result else "-"})'

    # -- rows ---------------------------------------------------------------------------------

    def full_disk(self, name, switches):
        if os.geteuid() != 0:
            self.row(name, f'Skelv b3.bin {" ".join(switches)} on a 1 MiB tmpfs', ['skipped: needs root'])
            return
        ref = self.folder(name + '-ref', 'b3')
        self.run(ref, ['b3.bin'] + switches)
        mount = self.folder(name)
        subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1024k', 'tmpfs', mount], check=True)
        try:
            os.symlink(self.images['b3'], os.path.join(mount, 'b3.bin'))
            outcome = self.run(mount, ['b3.bin'] + switches)
            facts = self.basics(outcome, 4)
            short, named = [], []
            for entry in sorted(os.listdir(ref)):
                if entry == 'b3.bin':
                    continue
                got = os.path.getsize(os.path.join(mount, entry)) if os.path.exists(os.path.join(mount, entry)) else None
                want = os.path.getsize(os.path.join(ref, entry))
                if entry.endswith('.nc'):
                    state = self.nc_facts(os.path.join(mount, entry)) if got is not None else 'missing'
                    short.append(f'{entry} {got if got is not None else "-"} B ({state})')
                elif got != want:
                    short.append(f'{entry} {got if got is not None else "missing"} of {want} B')
                if outcome.verdict.names(entry):
                    named.append(entry)
            facts.append(f'files short of the unconstrained run: {len(short)}: ' + '; '.join(short))
            facts.append(f'files the console names: {", ".join(named) or "none"}')
        finally:
            subprocess.run(['umount', mount], check=True)
        self.row(name, f'mount -t tmpfs -o size=1024k tmpfs M; ln -s b3.bin M/; cd M; Skelv b3.bin {" ".join(switches)}',
                 facts)

    def dev_full(self):
        folder = self.folder('netcdf-dev-full', 'demo')
        os.symlink('/dev/full', os.path.join(folder, 'demo_ctd.nc'))
        outcome = self.run(folder, ['demo.bin', '-netcdf'])
        self.row('netcdf-dev-full', 'ln -s /dev/full demo_ctd.nc; Skelv demo.bin -netcdf',
                 self.basics(outcome) + [f'demo_ctd.nc is still a link: {os.path.islink(os.path.join(folder, "demo_ctd.nc"))}'])

    def recover_run_result(self):
        folder = self.folder('recover-run-result', 'demo300')
        outcome = self.run(folder, ['demo300.bin', '-recover', '-netcdf'])
        facts = self.basics(outcome, 2)
        for suffix in ('_ctd.nc', '_dives.nc', '_accel.nc', '_gps.nc'):
            path = os.path.join(folder, 'demo300' + suffix)
            if not os.path.exists(path):
                facts.append(f'demo300{suffix}: missing')
                continue
            code, dump = self.ncdump(path, '-v', 'event_kind,event_text')
            result = re.search(r':run_result = "([^"]*)"', dump)
            kinds = re.search(r'event_kind = ([^;]*);', dump)
            kinds = [k.strip().rstrip('b') for k in kinds.group(1).split(',')] if kinds else []
            texts = re.findall(r'"([^"]*)"', dump[dump.find(' event_text ='):]) if ' event_text =' in dump else []
            facts.append(f'demo300{suffix}: run_result={result.group(1) if result else "-"}; events: '
                         f'{kinds.count("0")} notes, {kinds.count("1")} failures: {" | ".join(texts)}')
        self.row('recover-run-result', 'Skelv demo300.bin -recover -netcdf   (demo + 300 random bytes, seed 0)', facts)

    def feed_fifo(self, fifo, image):
        def pump():
            with open(fifo, 'wb') as out, open(self.images[image], 'rb') as src:
                try:
                    shutil.copyfileobj(src, out, 1 << 16)
                except BrokenPipeError:
                    pass
        thread = threading.Thread(target=pump, daemon=True)
        thread.start()
        return thread

    @staticmethod
    def damage_note(outcome):
        return next((x for x in outcome.lines if re.match(r'^@[0-9A-F]+: Damaged', x)), '(no damage note)')

    @staticmethod
    def input_line(outcome):
        return next((x for x in outcome.lines if x.startswith('Input:')), '(no Input: line)')

    def through_fifo(self, name, image, switches):
        """Runs Skelv on a FIFO named fifo.bin in a new folder, fed with `image`."""
        folder = self.folder(name)
        fifo = os.path.join(folder, 'fifo.bin')
        os.mkfifo(fifo)
        pump = self.feed_fifo(fifo, image)
        outcome = self.run(folder, ['fifo.bin'] + switches)
        pump.join(5)
        return folder, outcome

    def fifo_recover(self):
        file_dir = self.folder('fifo-recover-file', 'b3dmg')
        by_file = self.run(file_dir, ['b3dmg.bin', '-recover'])
        folder, outcome = self.through_fifo('fifo-recover', 'b3dmg', ['-recover'])
        facts = self.basics(outcome, 1)
        facts.append(f'FIFO: first note "{self.damage_note(outcome)}"; {self.input_line(outcome)}; '
                     f'TDR lines {self.line_count(os.path.join(folder, "fifo_tdr.txt"))}')
        facts.append(f'file: first note "{self.damage_note(by_file)}"; {self.input_line(by_file)}; '
                     f'TDR lines {self.line_count(os.path.join(file_dir, "b3dmg_tdr.txt"))}')
        self.row('fifo-recover', 'mkfifo fifo.bin; cat b3dmg.bin > fifo.bin & Skelv fifo.bin -recover   '
                 '(3 MiB image, 300 random bytes over its middle, seed 6)', facts)

        folder = self.folder('pipe-recover')
        os.symlink('/dev/stdin', os.path.join(folder, 'pipe.bin'))
        reader = subprocess.Popen(['cat', self.images['b3dmg']], stdout=subprocess.PIPE)
        outcome = self.run(folder, ['pipe.bin', '-recover'], stdin=reader.stdout)
        reader.stdout.close()
        reader.wait()
        facts = self.basics(outcome, 1)
        facts.append(f'pipe: first note "{self.damage_note(outcome)}"; {self.input_line(outcome)}; '
                     f'TDR lines {self.line_count(os.path.join(folder, "pipe_tdr.txt"))} (file: '
                     f'{self.line_count(os.path.join(file_dir, "b3dmg_tdr.txt"))})')
        self.row('pipe-recover', 'ln -s /dev/stdin pipe.bin; cat b3dmg.bin | Skelv pipe.bin -recover', facts)

        file_dir = self.folder('fifo-plain-file', 'b3dmg')
        by_file = self.run(file_dir, ['b3dmg.bin'])
        folder, outcome = self.through_fifo('fifo-plain', 'b3dmg', [])
        self.row('fifo-plain-hint', 'cat b3dmg.bin > fifo.bin & Skelv fifo.bin   (against Skelv b3dmg.bin)',
                 ['FIFO: ' + self.basics(outcome)[0], 'FIFO: ' + self.stderr(outcome),
                  'file: ' + self.basics(by_file)[0], 'file: ' + self.stderr(by_file)])

    def fifo_netcdf(self):
        file_dir = self.folder('fifo-netcdf-file', 'b4')
        by_file = self.run(file_dir, ['b4.bin', '-netcdf'])
        folder, outcome = self.through_fifo('fifo-netcdf', 'b4', ['-netcdf'])

        def facts_of(run, folder, stem):
            path = os.path.join(folder, stem + '_accel.nc')
            code, header = self.ncdump(path, '-hs') if os.path.exists(path) else (1, '')
            chunk = re.search(r'\ttime:_ChunkSizes = (\d+)', header)
            size = re.search(r':input_file_size = (\d+)', header)
            nc_bytes = sum(os.path.getsize(os.path.join(folder, stem + s)) for s in SUFFIXES
                           if s.endswith('.nc') and os.path.exists(os.path.join(folder, stem + s)))
            return (f'{self.status(run)}; CPU {run.cpu:.2f} s, peak {run.max_rss_kib / 1024:.1f} MiB, '
                    f'_accel.nc time chunk {chunk.group(1) if chunk else "-"} rows, input_file_size '
                    f'{size.group(1) if size else "absent"}, NetCDF {nc_bytes} B; {self.input_line(run)}')
        self.row('fifo-netcdf', 'cat b4.bin > fifo.bin & Skelv fifo.bin -netcdf   (4 MiB image; against Skelv b4.bin -netcdf)',
                 ['FIFO: ' + facts_of(outcome, folder, 'fifo'), 'file: ' + facts_of(by_file, file_dir, 'b4')])

    def offsets(self):
        folder = self.folder('offset-unreachable', 'demo')
        outcome = self.run(folder, ['demo.bin', '0x7fffffffffffffff'])
        notes = re.findall(r'@[0-9A-F]+ GPS F2!', outcome.out)
        self.row('offset-unreachable', 'Skelv demo.bin 0x7fffffffffffffff',
                 self.basics(outcome, 2) + [
                  f'{self.input_line(outcome)}; first console note {notes[0] if notes else "-"} '
                  f'(from offset 0: @0000003C GPS F2!); '
                  f'TDR lines {self.line_count(os.path.join(folder, "demo_tdr.txt"))}'])
        folder = self.folder('offset-past-end', 'demo')
        outcome = self.run(folder, ['demo.bin', '99999'])
        self.row('offset-past-end', 'Skelv demo.bin 99999   (the image has 3145 bytes)', self.basics(outcome, 4))

    def switches(self):
        for typo in ('-recovr', '-netcfd'):
            folder = self.folder('switch' + typo, 'demo')
            outcome = self.run(folder, ['demo.bin', typo])
            made = sorted(e for e in os.listdir(folder) if e != 'demo.bin')
            self.row('switch' + typo, f'Skelv demo.bin {typo}',
                     self.basics(outcome, 2) + [f'files: {", ".join(made) or "none"}'])
        folder = self.folder('help')
        outcome = self.run(folder, ['--help'])
        first = outcome.out.strip().splitlines()[0] if outcome.out.strip() else '(empty)'
        listed = sorted(set(re.findall(r'(?<![\w-])(--?[a-z][a-z-]*)', outcome.out)))
        self.row('help', 'Skelv --help', [f'{self.status(outcome)}; first line: {first}',
                                          f'switches listed: {" ".join(listed)}'])

    def random_bytes(self):
        folder = self.folder('random-bytes', 'demo300')
        outcome = self.run(folder, ['demo300.bin'])
        # The demo deployment lies in 2026: CTD lines of other years come from the random bytes.
        years, pressures = {}, []
        path = os.path.join(folder, 'demo300_ctd.txt')
        if os.path.exists(path):
            with open(path, errors='replace') as f:
                for line in f:
                    m = re.match(r'^(\d{4})/', line)
                    if m and m.group(1) != '2026':
                        years[m.group(1)] = years.get(m.group(1), 0) + 1
                        try:
                            pressures.append(float(line.split('\t')[1]))
                        except (IndexError, ValueError):
                            pass
        tag = [line for line in outcome.lines if line.startswith('Tag Version')]
        recover = self.run(self.folder('random-bytes-recover', 'demo300'), ['demo300.bin', '-recover'])
        stretches = [line.strip() for line in recover.lines if re.match(r'^\s+[0-9A-F]{8} to ', line)]
        self.row('random-bytes', 'Skelv demo300.bin   (demo + 300 random bytes inserted in its middle, seed 0)',
                 self.basics(outcome, 2) +
                 [f'CTD lines dated outside 2026: {sum(years.values())} '
                  f'({", ".join(f"{y}: {n}" for y, n in sorted(years.items())) or "-"}), pressure '
                  f'{f"{min(pressures)} to {max(pressures)}" if pressures else "-"} dbar; '
                  f'{tag[0] if tag else "no tag version"} (demo: 170); TDR lines '
                  f'{self.line_count(os.path.join(folder, "demo300_tdr.txt"))} (demo: 282)',
                  f'-recover: {self.status(recover)}; stretches: {" | ".join(stretches) or "none"}'])

    def read_error(self):
        ref = self.folder('read-error-ref', 'b3')
        self.run(ref, ['b3.bin'])
        folder = self.folder('read-error', 'b3')
        shim = build_eio_shim(self.args.eio_shim, os.path.join(self.work, 'eio'))
        env = dict(self.env, EIO_FILE=os.path.realpath(self.images['b3']), EIO_AFTER='1048576', LD_PRELOAD=shim)
        outcome = self.run(folder, ['b3.bin'], env=env)
        self.row('read-error', 'EIO_FILE=/abs/b3.bin EIO_AFTER=1048576 LD_PRELOAD=./eio.so Skelv b3.bin   (3 MiB image)',
                 self.basics(outcome, 2) + [
                  f'{self.input_line(outcome)}; TDR lines {self.line_count(os.path.join(folder, "b3_tdr.txt"))} '
                  f'(without the error {self.line_count(os.path.join(ref, "b3_tdr.txt"))})'])
        folder = self.folder('directory-image')
        os.mkdir(os.path.join(folder, 'dir.bin'))
        outcome = self.run(folder, ['dir.bin'])
        self.row('directory-image', 'mkdir dir.bin; Skelv dir.bin', self.basics(outcome, 4))

    def symlinks(self):
        folder = self.folder('symlinks', 'demo')
        victims = os.path.join(folder, 'victims')
        os.mkdir(victims)
        before = {}
        for link in ('demo_tdr.txt', 'demo_ctd.nc', 'demo_dives.txt'):
            target = os.path.join(victims, link + '.precious')
            with open(target, 'w') as f:
                f.write(f'precious file behind {link}\n')
            before[link] = os.path.getsize(target)
            os.symlink(os.path.join('victims', link + '.precious'), os.path.join(folder, link))
        outcome = self.run(folder, ['demo.bin', '-netcdf', '-dives'])
        facts = self.basics(outcome, 2)
        for link in before:
            target = os.path.join(victims, link + '.precious')
            with open(target, 'rb') as f:
                intact = f.read() == f'precious file behind {link}\n'.encode()
            facts.append(f'{link} -> victims/{link}.precious: {"untouched" if intact else f"overwritten ({os.path.getsize(target)} B)"}; '
                         f'{"still a link" if os.path.islink(os.path.join(folder, link)) else "no longer a link"}')
        self.row('symlinks', 'ln -s victims/X demo_tdr.txt (and demo_ctd.nc, demo_dives.txt); Skelv demo.bin -netcdf -dives',
                 facts)

    def kill(self):
        ref = self.folder('kill-ref', 'b32')
        self.run(ref, ['b32.bin', '-netcdf', '-dives'])
        total = folder_bytes(ref, {'b32.bin'})
        folder = self.folder('kill', 'b32')
        outcome = self.run(folder, ['b32.bin', '-netcdf', '-dives'],
                           watch=lambda: folder_bytes(folder, {'b32.bin'}) >= total // 2)
        facts = [f'{self.status(outcome)} when the folder held half of the {total} B an uninterrupted run writes']
        for entry in sorted(os.listdir(folder)):
            path = os.path.join(folder, entry)
            if entry == 'b32.bin':
                continue
            if entry.endswith('.nc'):
                facts.append(f'{entry}: {os.path.getsize(path)} bytes, {self.nc_facts(path)}')
            else:
                facts.append(f'{entry}: {describe(path, ("bytes",))}')
        self.row('kill-9', 'Skelv b32.bin -netcdf -dives & kill -9 half-way   (32 MiB image)', facts)
        shutil.rmtree(ref, ignore_errors=True)
        shutil.rmtree(folder, ignore_errors=True)

    def dives_uncreatable(self):
        folder = self.folder('dives-uncreatable', 'demo')
        os.mkdir(os.path.join(folder, 'demo_dives.txt'))
        outcome = self.run(folder, ['demo.bin', '-dives'])
        self.row('dives-uncreatable', 'mkdir demo_dives.txt; Skelv demo.bin -dives',
                 self.basics(outcome, 2))

    def manual_example(self):
        folder = self.folder('manual-example', 'demo', as_name='tag17.bin')
        outcome = self.run(folder, ['tag17.bin', '0x400', '-scan'])
        self.row('manual-example', 'cp examples/demo.bin tag17.bin; Skelv tag17.bin 0x400 -scan',
                 self.basics(outcome, 2))

    def source_facts(self):
        src = self.args.src
        fuzz = os.path.join(src, 'fuzz')
        text = ''
        if os.path.isdir(fuzz):
            for entry in sorted(os.listdir(fuzz)):
                if entry.endswith(('.cpp', '.h')):
                    with open(os.path.join(fuzz, entry), errors='replace') as f:
                        text += f.read()
        words = {w: len(re.findall(p, text, re.I)) for w, p in
                 (('/dev/null', r'/dev/null'), ('netcdf', r'netcdf'), ('dive table', r'dive_?table|_dives'),
                  ('json report', r'json|-report|report_'))}
        self.row('fuzz-target', f'grep fuzz/*.cpp in {src}', ['mentions: ' + ', '.join(f'{w} {n}' for w, n in words.items())])
        big = []
        for root, _, files in os.walk(os.path.join(src, 'src')):
            for entry in files:
                if entry.endswith(('.cpp', '.h')):
                    path = os.path.join(root, entry)
                    n = self.line_count(path)
                    if n > 500:
                        big.append(f'{os.path.relpath(path, src)} {n}')
        self.row('large-files', f'wc -l {src}/src/**/*.cpp,h over 500 lines', [', '.join(sorted(big)) or 'none'])


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    p.add_argument('skelv')
    p.add_argument('--work', help='work folder (default: a new one in $TMPDIR, removed at the end)')
    p.add_argument('--keep', action='store_true')
    p.add_argument('--tsv', help='also write the rows as name<TAB>command<TAB>facts to this file')
    p.add_argument('--only', help='comma-separated row groups: full-disk, netcdf-dev-full, recover, fifo, '
                                  'fifo-netcdf, offsets, switches, random-bytes, read-error, symlinks, kill, '
                                  'dives-uncreatable, manual, source')
    p.add_argument('--demo', default=os.path.join(REPO, 'examples', 'demo.bin'))
    p.add_argument('--make-bench')
    p.add_argument('--eio-shim', help='read-error preload, .c or .so (default: the one of edge_run.py)')
    p.add_argument('--src', default=REPO, help='source tree for the fuzz-target and large-files rows')
    return p.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    why = Why(args)
    groups = [('full-disk', lambda: (why.full_disk('full-disk-dives', ['-dives']),
                                     why.full_disk('full-disk-netcdf', ['-netcdf']))),
              ('netcdf-dev-full', why.dev_full), ('recover', why.recover_run_result), ('fifo', why.fifo_recover),
              ('fifo-netcdf', why.fifo_netcdf), ('offsets', why.offsets), ('switches', why.switches),
              ('random-bytes', why.random_bytes), ('read-error', why.read_error), ('symlinks', why.symlinks),
              ('kill', why.kill), ('dives-uncreatable', why.dives_uncreatable), ('manual', why.manual_example),
              ('source', why.source_facts)]
    only = set(args.only.split(',')) if args.only else None
    print(f'Skelv under test: {why.skelv}\n')
    try:
        why.prepare()
        for name, step in groups:
            if only is None or name in only:
                step()
    finally:
        if not args.keep:
            shutil.rmtree(why.work if not args.work else os.path.join(why.work, 'rows'), ignore_errors=True)
    if args.tsv:
        with open(args.tsv, 'w') as f:
            for name, command, facts in why.rows:
                f.write('\t'.join([name, command, ' // '.join(facts)]) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))

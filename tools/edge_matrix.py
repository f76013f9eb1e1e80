#!/usr/bin/env python3
"""Edge matrix: runs a Skelv executable where runs go wrong (a full disk, a read error, a kill,
an output name taken by something else) and checks that each run tells the truth about what it
wrote. Running and judging one run is in edge_run.py beside it.

    tools/edge_matrix.py SKELV [--quick] [--parts full-disk,read-error,kill,odd-outputs] [--images demo,bench]
                         [--work DIR] [--keep] [--demo IMAGE] [--make-bench PROGRAM]
                         [--eio-shim FILE.c|FILE.so] [--bench-mib N]

SKELV is the executable under test, so the same script measures an old and a new Skelv. Needs
Python 3 (standard library only), gcc (for the read-error preload), ncdump and ncgen (netcdf-bin)
for the NetCDF files, and root for the full-disk part (tmpfs mounts; skipped otherwise).

Images: the demo image (examples/demo.bin) and a benchmark image of --bench-mib MiB (default 4)
made by skelv-make-bench-image (by default the one beside SKELV). Switch sets: plain, -netcdf,
-dives, -recover, -report (when --help lists it) and all of them together (with -strict when
--help lists it). Each set first gets a reference run on an unconstrained disk.

Parts:
  full-disk   each image and set on a tmpfs of 50 KB to 2 MB in steps, and of 30, 60, 90 and
              97 % of the set's reference output, the image linked into the tmpfs so that the
              outputs land there.
  read-error  read() on the image fails with EIO after N bytes (an LD_PRELOAD shim), at 20 points
              spread over each image; sets plain and all.
  kill        the benchmark image with old sentinel files under every final output name; the run
              is killed with SIGKILL when its folder holds 5, 15, ..., 95 % of the reference
              output; sets all and plain.
  odd-outputs each final output name of the demo (set all) taken in turn by a directory, a link
              to /dev/full, a link to another file, a file of another user (uid 65534) or an
              immutable file (chattr +i): that file must stay as it was (checked through a hard
              link or the link's target), and the name must end up holding the reference's file
              or be named as failed on the console.
--quick runs a slice: full disk at 64 KB, 512 KB, 2 MB and 60 % of the reference, sets plain and
all; read errors at 4 points, set all; kills at 3 points, set all;
odd outputs for the TDR text, the CTD NetCDF file, the dive table and the report only.

Checks made on every run:
  crash         exit status below 128 and no signal (a kill run is killed on purpose); no
                sanitizer report, no abort text (terminate called, assertion, "infinite loop
                closing library", stack smashing, double free) on standard output or error.
  hang          the run ends within max(60 s, 30 x its reference run).
  unnamed       every output under a final name (the reference run's files, and IMAGE_report.json
                with -report) is byte-identical to the reference (NetCDF: the same ncdump but for
                date_created, the time in history, run_result and the event variables), or is the
                old sentinel untouched, or is named in a failure line of the console (or, when
                the console ends its list with "and N more", in the report's failures); a missing
                output must be named too. After a read error the console must name the input and
                the offset of the error and must not say "Completed."; the outputs then may differ.
  disagreement  the console's verdict (Completed., a failure, a damaged image) and the exit status
                agree: without -strict 0 after a run (3 after a -recover run that skipped damage),
                with -strict 0 completed, 2 failed, 3 damaged (not checked after a crash);
                "Completed." never stands beside a failure line; every NetCDF file that opens says
                the console's verdict in run_result; a JSON report under its final name parses,
                and its "result" and its list of failures agree with the console and the exit
                status (every output the console names as failed is among the failures).
  finished      after a kill no file under a final name looks finished but isn't: a text file
                equals the reference or the sentinel, a NetCDF file that opens as a dataset equals
                the reference or the sentinel, a report that parses is only there when every
                other output equals the reference. Files named *.partial are ignored.
  other         a file written through a link, into another user's or an immutable file, or a
                directory removed (odd outputs); stray files beside the outputs (not *.partial);
                HDF5 diagnostics on the console; a reference run that is not a clean
                "Completed." with status 0.

Prints a summary table and the problems; exits with 1 when any check fails, 2 on a setup error.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the tools
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from edge_run import (REPO, Case, Files, Verdict, build_eio_shim, can_mount, check_crash, check_outputs,  # noqa: E402
                      check_verdict, console_lines, describe, execute, folder_bytes, same_as, stem,
                      summary_table)

SENTINEL_CDL = 'netcdf sentinel {\ndimensions:\n\tx = 1 ;\nvariables:\n\tint x(x) ;\n' \
               '\n// global attributes:\n\t\t:sentinel = "old file" ;\ndata:\n\n x = 7 ;\n}\n'

FULL_SIZES_K = [50, 64, 80, 100, 128, 160, 200, 256, 320, 400, 512, 640, 800, 1024, 1280, 1600, 2048]
FULL_FRACTIONS = [0.30, 0.60, 0.90, 0.97]
QUICK_SIZES_K = [64, 512, 2048]
QUICK_FRACTIONS = [0.60]
EIO_POINTS, QUICK_EIO_POINTS = 20, 4
KILL_FRACTIONS = [0.05, 0.15, 0.25, 0.35, 0.45, 0.55, 0.65, 0.75, 0.85, 0.95]
QUICK_KILL_FRACTIONS = [0.15, 0.50, 0.85]


class Matrix:
    """The images, switch sets and reference runs, the parts, and every run's findings."""

    def __init__(self, args):
        self.args = args
        self.skelv = os.path.abspath(args.skelv)
        self.work = os.path.abspath(args.work) if args.work else tempfile.mkdtemp(prefix='skelv-edges-')
        os.makedirs(self.work, exist_ok=True)
        self.env = dict(os.environ)
        self.env['TMPDIR'] = os.path.join(self.work, 'tmp')
        self.env['ASAN_OPTIONS'] = self.env.get('ASAN_OPTIONS', '') + ':verify_asan_link_order=0'
        os.makedirs(self.env['TMPDIR'], exist_ok=True)
        self.ncdump = shutil.which('ncdump')
        self.ncgen = shutil.which('ncgen')
        self.files = Files(self.ncdump)
        self.cases = []
        self.images = {}
        self.references = {}
        help_text = subprocess.run([self.skelv, '--help'], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   env=self.env).stdout.decode('utf-8', 'replace')
        self.has_report = re.search(r'(^|[\s{\[|])--?report\b', help_text) is not None
        self.has_strict = re.search(r'(^|[\s{\[|])--?strict\b', help_text) is not None
        self.sets = [('plain', []), ('-netcdf', ['-netcdf']), ('-dives', ['-dives']), ('-recover', ['-recover'])]
        if self.has_report:
            self.sets.append(('-report', ['-report']))
        everything = ['-netcdf', '-dives', '-recover']
        everything += ['-report'] if self.has_report else []
        everything += ['-strict'] if self.has_strict else []
        self.sets.append(('all', everything))

    def prepare(self):
        image_dir = os.path.join(self.work, 'images')
        os.makedirs(image_dir, exist_ok=True)
        wanted = self.args.images.split(',')
        if 'demo' in wanted:
            path = os.path.join(image_dir, 'demo.bin')
            shutil.copyfile(self.args.demo, path)
            self.images['demo'] = path
        if 'bench' in wanted:
            path = os.path.join(image_dir, f'bench{self.args.bench_mib}.bin')
            maker = self.args.make_bench or os.path.join(os.path.dirname(self.skelv), 'skelv-make-bench-image')
            if not os.path.exists(path):
                subprocess.run([maker, path, str(self.args.bench_mib)], check=True, stdout=subprocess.DEVNULL)
            self.images['bench'] = path
        self.shim = None
        if 'read-error' in self.parts:
            self.shim = build_eio_shim(self.args.eio_shim, os.path.join(self.work, 'eio'))
        self.sentinel_nc = None
        if self.ncgen:
            cdl = os.path.join(self.work, 'sentinel.cdl')
            with open(cdl, 'w') as f:
                f.write(SENTINEL_CDL)
            self.sentinel_nc = os.path.join(self.work, 'sentinel.nc')
            subprocess.run([self.ncgen, '-k', 'nc4', '-o', self.sentinel_nc, cdl], check=True)

    @property
    def parts(self):
        return self.args.parts.split(',')

    def sets_for(self, part):
        names = [name for name, _ in self.sets]
        if self.args.quick:
            chosen = {'full-disk': ['plain', 'all'], 'read-error': ['all'], 'kill': ['all'], 'odd-outputs': ['all']}[part]
        else:
            chosen = {'full-disk': names, 'read-error': ['plain', 'all'], 'kill': ['all', 'plain'],
                      'odd-outputs': ['all']}[part]
        return [(n, s) for n, s in self.sets if n in chosen]

    def run_dir(self, *parts):
        path = os.path.join(self.work, 'runs', *parts)
        if os.path.exists(path):
            shutil.rmtree(path)
        os.makedirs(path)
        return path

    def link_image(self, folder, image_key):
        name = os.path.basename(self.images[image_key])
        os.symlink(self.images[image_key], os.path.join(folder, name))
        return name

    def reference(self, image_key, set_name, switches):
        folder = self.run_dir('reference', image_key, set_name)
        name = self.link_image(folder, image_key)
        case = Case('reference', image_key, set_name, '-', f'cd {folder} && {self.skelv} {name} {" ".join(switches)}')
        outcome = execute([self.skelv, name] + switches, folder, os.path.join(self.work, 'logs', 'reference',
                                                                              image_key, set_name), env=self.env)
        verdict = Verdict(console_lines(outcome.out))
        if outcome.status != 0 or verdict.kinds() != {'completed'}:
            case.add('other', f'reference run not clean: status {outcome.status}, console '
                              f'{" / ".join(verdict.failure_lines) or "without Completed."}')
        check_crash(case, outcome)
        files = {}
        for entry in sorted(os.listdir(folder)):
            if entry == name or entry.endswith('.partial'):
                continue
            files[entry] = self.files.digest(os.path.join(folder, entry))
            if files[entry][0] == 'json' and files[entry][1] is None:
                case.add('other', f'reference report {entry} is not JSON')
        total = folder_bytes(folder, {name})
        self.references[(image_key, set_name)] = {'files': files, 'bytes': total, 'elapsed': outcome.elapsed,
                                                  'folder': folder}
        self.cases.append(case)

    def full_disk(self):
        mount_point = os.path.join(self.work, 'mnt')
        os.makedirs(mount_point, exist_ok=True)
        for image_key in self.images:
            for set_name, switches in self.sets_for('full-disk'):
                total = self.references[(image_key, set_name)]['bytes']
                fractions = QUICK_FRACTIONS if self.args.quick else FULL_FRACTIONS
                sizes = QUICK_SIZES_K if self.args.quick else FULL_SIZES_K
                sizes = sorted(set(sizes) | {max(8, int(f * total / 1024)) for f in fractions})
                for size_k in sizes:
                    self.full_disk_run(mount_point, image_key, set_name, switches, size_k)

    def full_disk_run(self, mount_point, image_key, set_name, switches, size_k):
        subprocess.run(['mount', '-t', 'tmpfs', '-o', f'size={size_k}k', 'tmpfs', mount_point], check=True)
        try:
            name = self.link_image(mount_point, image_key)
            point = f'{size_k}k'
            case = Case('full-disk', image_key, set_name, point,
                        f'mount -t tmpfs -o size={size_k}k tmpfs M && ln -s {self.images[image_key]} M/ && '
                        f'cd M && {self.skelv} {name} {" ".join(switches)}')
            timeout = max(60.0, 30 * self.references[(image_key, set_name)]['elapsed'])
            outcome = execute([self.skelv, name] + switches, mount_point,
                              os.path.join(self.work, 'logs', 'full-disk', image_key, set_name, point),
                              env=self.env, timeout=timeout)
            verdict = Verdict(console_lines(outcome.out))
            check_crash(case, outcome)
            check_verdict(case, outcome, verdict, switches)
            check_outputs(case, self.files, self.references[(image_key, set_name)]['files'], mount_point, name,
                          switches, outcome, verdict)
            self.cases.append(case)
            self.progress(case)
        finally:
            subprocess.run(['umount', mount_point], check=True)

    def read_errors(self):
        points = QUICK_EIO_POINTS if self.args.quick else EIO_POINTS
        for image_key in self.images:
            size = os.path.getsize(self.images[image_key])
            for set_name, switches in self.sets_for('read-error'):
                for k in range(1, points + 1):
                    self.read_error_run(image_key, set_name, switches, size * k // (points + 1))

    def read_error_run(self, image_key, set_name, switches, limit):
        folder = self.run_dir('read-error', image_key, set_name, str(limit))
        name = self.link_image(folder, image_key)
        env = dict(self.env, EIO_FILE=os.path.realpath(self.images[image_key]), EIO_AFTER=str(limit),
                   LD_PRELOAD=self.shim)
        case = Case('read-error', image_key, set_name, f'@{limit}',
                    f'cd {folder} && EIO_FILE={env["EIO_FILE"]} EIO_AFTER={limit} LD_PRELOAD={self.shim} '
                    f'{self.skelv} {name} {" ".join(switches)}')
        timeout = max(60.0, 30 * self.references[(image_key, set_name)]['elapsed'])
        outcome = execute([self.skelv, name] + switches, folder,
                          os.path.join(self.work, 'logs', 'read-error', image_key, set_name, str(limit)),
                          env=env, timeout=timeout)
        verdict = Verdict(console_lines(outcome.out))
        check_crash(case, outcome)
        check_verdict(case, outcome, verdict, switches)
        offset_forms = {str(limit), f'{limit:x}', f'{limit:X}', f'{limit:08X}', f'{limit:08x}'}
        names_input = verdict.names(name)
        names_offset = any(re.search(r'(^|[^0-9A-Fa-f])(0x)?' + re.escape(form) + r'($|[^0-9A-Fa-f])', line)
                           for line in verdict.failure_lines for form in offset_forms)
        if verdict.completed or not verdict.failed:
            case.add('unnamed', f'read error at byte {limit} not reported: the console says '
                                f'{"Completed." if verdict.completed else " / ".join(verdict.failure_lines)}')
        else:
            if not names_input:
                case.add('unnamed', f'the failure does not name the input {name}')
            if not names_offset:
                case.add('unnamed', f'the failure does not name the offset {limit} of the read error')
        check_outputs(case, self.files, self.references[(image_key, set_name)]['files'], folder, name, switches,
                      outcome, verdict, read_error=True)
        self.cases.append(case)
        self.progress(case)
        self.tidy(folder)

    def odd_outputs(self):
        """Each final output name of the demo, in turn, taken by something Skelv must not write
        into: a directory, a link to /dev/full, a link to another file, a file of another user,
        an immutable file."""
        kinds = ['directory', 'dev-full', 'link', 'foreign', 'immutable']
        for set_name, switches in self.sets_for('odd-outputs'):
            names = sorted(self.references[('demo', set_name)]['files'])
            if '-report' in switches:
                names = sorted(set(names) | {'demo_report.json'})
            if self.args.quick:
                names = [n for n in names if n.endswith(('_tdr.txt', '_ctd.nc', '_dives.txt', '_report.json'))]
            for kind in kinds:
                for final in names:
                    self.odd_output_run(set_name, switches, kind, final)

    def odd_output_run(self, set_name, switches, kind, final):
        folder = self.run_dir('odd-outputs', set_name, kind, final)
        side = self.run_dir('odd-outputs-side', set_name, kind, final)
        name = self.link_image(folder, 'demo')
        path = os.path.join(folder, final)
        victim = os.path.join(side, 'victim')
        content = f'someone else\'s file, not {final}\n'.encode()
        if kind == 'directory':
            os.mkdir(path)
        elif kind == 'dev-full':
            os.symlink('/dev/full', path)
        else:
            with open(victim, 'wb') as f:
                f.write(content)
            if kind == 'link':
                os.symlink(victim, path)
            else:
                os.link(victim, path)  # the side name keeps the original file to compare with
                if kind == 'foreign':
                    os.chown(path, 65534, 65534)
                elif subprocess.run(['chattr', '+i', path], stderr=subprocess.DEVNULL).returncode != 0:
                    shutil.rmtree(folder)
                    shutil.rmtree(side)
                    return
        case = Case('odd-output', 'demo', set_name, f'{kind}:{final}',
                    f'cd {folder} && ({kind} as {final}) {self.skelv} {name} {" ".join(switches)}')
        try:
            outcome = execute([self.skelv, name] + switches, folder,
                              os.path.join(self.work, 'logs', 'odd-outputs', set_name, kind, final), env=self.env,
                              timeout=max(60.0, 30 * self.references[('demo', set_name)]['elapsed']))
            verdict = Verdict(console_lines(outcome.out))
            check_crash(case, outcome)
            check_verdict(case, outcome, verdict, switches)
            if kind == 'directory' and not os.path.isdir(path):
                case.add('other', f'the directory {final} was removed')
            trespassed = False
            if kind in ('link', 'foreign', 'immutable'):
                with open(victim, 'rb') as f:
                    trespassed = f.read() != content
                if trespassed:
                    how = {'link': 'through the symbolic link', 'foreign': "into another user's file",
                           'immutable': 'into an immutable file'}[kind]
                    case.add('other', f'wrote {how} {final}')
            check_outputs(case, self.files, self.references[('demo', set_name)]['files'], folder, name, switches,
                          outcome, verdict, odd=(final, kind, trespassed))
        finally:
            if kind == 'immutable':
                subprocess.run(['chattr', '-i', victim], stderr=subprocess.DEVNULL)
        self.cases.append(case)
        self.progress(case)
        self.tidy(folder)
        shutil.rmtree(side, ignore_errors=True)

    def kills(self):
        if 'bench' not in self.images:
            print('kill: needs the benchmark image (--images ...,bench); skipped', file=sys.stderr)
            return
        fractions = QUICK_KILL_FRACTIONS if self.args.quick else KILL_FRACTIONS
        for set_name, switches in self.sets_for('kill'):
            for fraction in fractions:
                self.kill_run('bench', set_name, switches, fraction)

    def kill_run(self, image_key, set_name, switches, fraction):
        point = f'{int(fraction * 100)}%'
        folder = self.run_dir('kill', image_key, set_name, point)
        name = self.link_image(folder, image_key)
        reference = self.references[(image_key, set_name)]
        names = set(reference['files'])
        if '-report' in switches:
            names.add(stem(name) + '_report.json')
        sentinels = {}
        for final in sorted(names):
            path = os.path.join(folder, final)
            if final.endswith('.nc') and self.sentinel_nc:
                shutil.copyfile(self.sentinel_nc, path)
            elif final.endswith('.json'):
                with open(path, 'w') as f:
                    json.dump({'sentinel': final}, f)
            else:
                with open(path, 'w') as f:
                    f.write(f'old sentinel {final}\n')
            sentinels[final] = Files.sha(path)
        threshold = fraction * reference['bytes']
        case = Case('kill', image_key, set_name, point,
                    f'cd {folder} && {self.skelv} {name} {" ".join(switches)} & kill -9 when the folder '
                    f'holds {int(threshold)} bytes')
        outcome = execute([self.skelv, name] + switches, folder,
                          os.path.join(self.work, 'logs', 'kill', image_key, set_name, point), env=self.env,
                          timeout=max(60.0, 30 * reference['elapsed']),
                          watch=lambda: folder_bytes(folder, {name}) >= threshold)
        verdict = Verdict(console_lines(outcome.out))
        check_crash(case, outcome, killed_on_purpose=outcome.killed)
        if not outcome.killed:
            case.point += ' (finished before the kill)'
            check_verdict(case, outcome, verdict, switches)
        present = {e for e in os.listdir(folder) if e != name and not e.endswith('.partial')}
        for stray in sorted(present - names):
            case.add('other', f'stray file {stray}')
        digests = {}
        for final in sorted(names & present):
            path = os.path.join(folder, final)
            if Files.sha(path) == sentinels[final]:
                continue
            digests[final] = self.files.digest(path)
        complete = all(f in digests and same_as(digests[f], reference['files'][f]) for f in reference['files'])
        for final, digest in digests.items():
            if same_as(digest, reference['files'].get(final)):
                continue
            path = os.path.join(folder, final)
            if digest[0] == 'nc' and not digest[1]:
                continue  # does not open as a dataset: does not look finished
            if digest[0] == 'json':
                if digest[1] is None or complete:
                    continue
            if not outcome.killed and verdict.names(final):
                continue
            case.add('finished', f'{final} looks finished but is not ({describe(path, digest)})')
        self.cases.append(case)
        self.progress(case)
        self.tidy(folder)

    def tidy(self, folder):
        if not self.args.keep:
            shutil.rmtree(folder, ignore_errors=True)

    def progress(self, case):
        if self.args.verbose:
            state = 'ok' if not case.problems else '; '.join(f'{c}: {t}' for c, t in case.problems)
            print(f'{case.label()} {state}', file=sys.stderr, flush=True)


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split('\n\n')[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument('skelv', help='the Skelv executable under test')
    p.add_argument('--quick', action='store_true', help='a slice: a few sizes, points and sets')
    p.add_argument('--parts', default='full-disk,read-error,kill,odd-outputs')
    p.add_argument('--images', default='demo,bench', help='demo, bench or both')
    p.add_argument('--bench-mib', type=int, default=4, help='size of the benchmark image (default 4)')
    p.add_argument('--work', help='work folder (default: a new one in $TMPDIR, removed at the end)')
    p.add_argument('--keep', action='store_true', help='keep the work folder and every run folder')
    p.add_argument('--demo', default=os.path.join(REPO, 'examples', 'demo.bin'))
    p.add_argument('--make-bench', help='skelv-make-bench-image (default: beside SKELV)')
    p.add_argument('--eio-shim', help='read-error preload, .c or .so (default: built in)')
    p.add_argument('--verbose', '-v', action='store_true', help='one line per run on standard error')
    return p.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    for part in args.parts.split(','):
        if part not in ('full-disk', 'read-error', 'kill', 'odd-outputs'):
            print(f'edge_matrix: unknown part {part}', file=sys.stderr)
            return 2
    matrix = Matrix(args)
    if 'full-disk' in matrix.parts and not can_mount():
        print('edge_matrix: the full-disk part needs tmpfs mounts (root, a system that allows them); skipped',
              file=sys.stderr)
        args.parts = ','.join(p for p in matrix.parts if p != 'full-disk')
    if matrix.ncdump is None:
        print('edge_matrix: ncdump not found (Debian package netcdf-bin)', file=sys.stderr)
        return 2
    started = time.monotonic()
    sizes = {}
    try:
        matrix.prepare()
        sizes = {k: os.path.getsize(p) for k, p in matrix.images.items()}
        for image_key in matrix.images:
            for set_name, switches in matrix.sets:
                matrix.reference(image_key, set_name, switches)
        if 'full-disk' in matrix.parts:
            matrix.full_disk()
        if 'read-error' in matrix.parts:
            matrix.read_errors()
        if 'kill' in matrix.parts:
            matrix.kills()
        if 'odd-outputs' in matrix.parts and 'demo' in matrix.images:
            matrix.odd_outputs()
    finally:
        if not args.keep and not args.work:
            shutil.rmtree(matrix.work, ignore_errors=True)
        elif not args.keep:
            shutil.rmtree(os.path.join(matrix.work, 'runs'), ignore_errors=True)
    lines = summary_table(matrix.cases)
    print(f'Skelv under test: {matrix.skelv}')
    print(f'-report: {"yes" if matrix.has_report else "no"}, -strict: {"yes" if matrix.has_strict else "no"}; '
          f'images: {", ".join(f"{k} ({n} bytes)" for k, n in sizes.items())}; '
          f'{"quick slice" if args.quick else "full matrix"}; {time.monotonic() - started:.0f} s')
    print('unnamed and finished count files; the other columns count runs\n')
    print('\n'.join(lines))
    problems = [(case, c, t) for case in matrix.cases for c, t in case.problems]
    if problems:
        print(f'\nProblems ({len(problems)}):')
        shown = set()
        for case, category, text in problems:
            print(f'{case.label()} {category}: {text}')
            if case not in shown:
                shown.add(case)
                print(f'    $ {case.command}')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))

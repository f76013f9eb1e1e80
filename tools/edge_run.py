"""Running Skelv and judging one run: the console's verdict, the output files against an
undisturbed run, the exit status, NetCDF run_result and the JSON report. Used by edge_matrix.py
and why_truth.py; the checks are listed in edge_matrix.py."""
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# read() on the file named by EIO_FILE (absolute path, links resolved) fails with EIO once
# EIO_AFTER bytes have been read from it; a read that would pass that point stops there.
EIO_SHIM_SOURCE = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static long long taken;

ssize_t read(int fd, void *buf, size_t n) {
  static ssize_t (*real_read)(int, void *, size_t);
  if (!real_read) real_read = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
  const char *want = getenv("EIO_FILE");
  const char *after = getenv("EIO_AFTER");
  if (want && after) {
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t len = readlink(link, path, sizeof path - 1);
    if (len > 0) {
      path[len] = '\0';
      if (strcmp(path, want) == 0) {
        long long limit = atoll(after);
        if (taken >= limit) { errno = EIO; return -1; }
        if (taken + (long long)n > limit) n = (size_t)(limit - taken);
        ssize_t got = real_read(fd, buf, n);
        if (got > 0) taken += got;
        return got;
      }
    }
  }
  return real_read(fd, buf, n);
}
"""

SUFFIXES = ['_tdr.txt', '_ctd.txt', '_gps.txt', '_accel.txt', '_dives.txt',
            '_ctd.nc', '_dives.nc', '_accel.nc', '_gps.nc', '_report.json']

SANITIZER = re.compile(r'AddressSanitizer|UndefinedBehaviorSanitizer|LeakSanitizer|ThreadSanitizer|'
                       r'MemorySanitizer|runtime error:')
ABORT_TEXT = re.compile(r'terminate called|Assertion .*failed|infinite loop closing library|'
                        r'stack smashing|double free|free\(\): invalid|corrupted size|Segmentation fault')
LIBRARY_TEXT = re.compile(r'HDF5-DIAG|^HDF5:', re.M)
PROGRESS = re.compile(r'\s*[0-9A-F]+\s+\d+ => TDR\s+\d+ \| CTD\s+\d+ \| GPS\s+\d+ \| ACC\s+\d+')
GPS_NOTE = re.compile(r'@[0-9A-F]{8,16} GPS F2!')
COUNT_LINE = re.compile(r'^\s+\S+: \d+ (TDR|CTD|GPS|Accel) records$|^\s+\S+: \d+ dives$')
FAIL_WORDS = re.compile(r"can't|cannot|could not|couldn't|fail|incomplete|error|not written|"
                        r"unwritten|removed|no space|denied|refus", re.I)
TIMESTAMP = re.compile(r'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z ?')
CATEGORIES = ['crash', 'hang', 'unnamed', 'disagreement', 'finished', 'other']


# ---------------------------------------------------------------------------------------------
# Running Skelv

class Outcome:
    """One finished process: exit status (negative: the signal), console texts, times."""

    def __init__(self):
        self.status = None
        self.out = ''
        self.err = ''
        self.elapsed = 0.0
        self.cpu = 0.0
        self.max_rss_kib = 0
        self.timed_out = False
        self.killed = False


def execute(argv, cwd, log_dir, env=None, timeout=600.0, watch=None, stdin=None):
    """Runs argv in cwd with stdout and stderr in log_dir; watch() is polled and kills the process
    with SIGKILL when it returns true."""
    os.makedirs(log_dir, exist_ok=True)
    result = Outcome()
    out_path = os.path.join(log_dir, 'stdout')
    err_path = os.path.join(log_dir, 'stderr')
    with open(out_path, 'wb') as out, open(err_path, 'wb') as err:
        start = time.monotonic()
        proc = subprocess.Popen(argv, cwd=cwd, stdout=out, stderr=err,
                                stdin=stdin if stdin is not None else subprocess.DEVNULL, env=env)
        pause = 0.0005
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            now = time.monotonic()
            if not result.killed and watch is not None and watch():
                os.kill(proc.pid, signal.SIGKILL)
                result.killed = True
            elif not result.killed and now - start > timeout:
                os.kill(proc.pid, signal.SIGKILL)
                result.timed_out = True
                result.killed = True
            time.sleep(pause)
            if watch is None:
                pause = min(pause * 1.5, 0.01)
        result.elapsed = time.monotonic() - start
        result.status = os.waitstatus_to_exitcode(status)
        proc.returncode = result.status
        result.cpu = usage.ru_utime + usage.ru_stime
        result.max_rss_kib = usage.ru_maxrss
    with open(out_path, 'rb') as f:
        result.out = f.read().decode('utf-8', 'replace')
    with open(err_path, 'rb') as f:
        result.err = f.read().decode('utf-8', 'replace')
    return result


def console_lines(text):
    """The console without progress lines and in-stream GPS notes, one entry per line."""
    text = text.replace('\r', '\n')
    text = GPS_NOTE.sub('', text)
    text = PROGRESS.sub('\n', text)
    return [line.rstrip() for line in text.split('\n') if line.strip()]


class Verdict:
    """What the console says about a run."""

    def __init__(self, lines):
        self.lines = lines
        self.completed = any(line.strip() == 'Completed.' for line in lines)
        self.failure_lines = [line for line in lines if line.startswith('Failure:') or
                              (FAIL_WORDS.search(line) and not COUNT_LINE.match(line) and
                               not line.startswith(('File:', 'PWD:', 'Input:')))]
        self.damaged = any(line.startswith(('Failure: Damaged image', 'Damaged image:')) for line in lines)
        self.failed = any('Damaged image' not in line and not re.match(r'^@[0-9A-F]+: Damaged', line)
                          for line in self.failure_lines)
        # The console lists the first failures and then "and N more": the rest are in the report.
        self.truncated = any(re.match(r'^\s*and \d+ more', line) for line in lines)
        self.more_names = ''

    def kinds(self):
        """The verdicts the console allows: failed, damaged or both, else completed."""
        if self.failed or self.damaged:
            return {k for k, on in (('failed', self.failed), ('damaged', self.damaged)) if on}
        return {'completed'} if self.completed else set()

    def names(self, name):
        """True when a failure line names the file (or, past the console's list, the report)."""
        pattern = re.compile(r'(^|[\s/\'"(`])' + re.escape(name) + r'($|[\s\'")`:,.;])')
        return any(pattern.search(line) for line in self.failure_lines) or \
            (self.truncated and pattern.search(self.more_names) is not None)


def expected_statuses(verdict, switches, strict):
    if strict:
        table = {'completed': {0}, 'failed': {2}, 'damaged': {3}}
    else:
        damaged = {3} if '-recover' in switches else {0}
        table = {'completed': {0}, 'failed': {0}, 'damaged': damaged}
    allowed = set()
    for kind in verdict.kinds():
        allowed |= table[kind]
    return allowed


# ---------------------------------------------------------------------------------------------
# Output files

class Files:
    """Digests of output files, with the NetCDF dumps cached by the files' bytes."""

    def __init__(self, ncdump):
        self.ncdump = ncdump
        self.nc_cache = {}

    @staticmethod
    def sha(path):
        h = hashlib.sha256()
        with open(path, 'rb') as f:
            for block in iter(lambda: f.read(1 << 20), b''):
                h.update(block)
        return h.hexdigest()

    def netcdf(self, path):
        """(opens, normalised digest, run_result) of a NetCDF file."""
        raw = self.sha(path)
        if raw in self.nc_cache:
            return self.nc_cache[raw]
        try:
            proc = subprocess.run([self.ncdump, path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  timeout=300)
            ok = proc.returncode == 0
        except subprocess.TimeoutExpired:
            ok = False
        if not ok:
            self.nc_cache[raw] = (False, None, None)
            return self.nc_cache[raw]
        h = hashlib.sha256()
        run_result = None
        current = None
        in_data = False
        for line in proc.stdout.decode('utf-8', 'replace').split('\n')[1:]:
            m = re.search(r':run_result = "(\w*)', line)
            if m:
                run_result = m.group(1)  # the verdict word: "failed: why" counts as failed
            if not line.strip():
                continue
            if line.startswith('data:'):
                in_data = True
            if not in_data:
                if 'event' in line or ':date_created' in line or ':run_result' in line:
                    continue
                line = TIMESTAMP.sub('', line)
            else:
                m = re.match(r'^\s+(\w+) = ', line)
                if m:
                    current = m.group(1)
                elif line.lstrip().startswith('}') or line.lstrip().startswith('group:'):
                    current = None
                if current is not None and current.startswith('event'):
                    continue
            h.update(line.encode() + b'\n')
        self.nc_cache[raw] = (True, h.hexdigest(), run_result)
        return self.nc_cache[raw]

    def digest(self, path):
        """What a file is compared by: ('nc', opens, digest, run_result), ('json', parsed or None,
        sha), ('bytes', sha)."""
        if path.endswith('.nc'):
            return ('nc',) + self.netcdf(path)
        if path.endswith('.json'):
            try:
                with open(path, 'rb') as f:
                    parsed = json.loads(f.read().decode('utf-8'))
            except (ValueError, UnicodeDecodeError):
                parsed = None
            return ('json', parsed, self.sha(path))
        return ('bytes', self.sha(path))


def same_as(digest, reference):
    if digest is None or reference is None or digest[0] != reference[0]:
        return False
    if digest[0] == 'nc':
        return digest[1] and digest[2] == reference[2]
    if digest[0] == 'json':
        return False  # a report holds the run's own command and times; it is checked, not compared
    return digest[1] == reference[1]


def folder_bytes(folder, skip):
    total = 0
    try:
        with os.scandir(folder) as entries:
            for e in entries:
                if e.name not in skip:
                    try:
                        total += e.stat(follow_symlinks=False).st_size
                    except OSError:
                        pass
    except OSError:
        pass
    return total


def report_failures(report):
    """The failures list of a report, as text per item."""
    for key in ('failures', 'failure', 'errors'):
        if isinstance(report.get(key), list):
            return [json.dumps(item) if not isinstance(item, str) else item for item in report[key]]
    return None


class Case:
    """One run of the matrix: where it ran and what it found."""

    def __init__(self, part, image, set_name, point, command):
        self.part = part
        self.image = image
        self.set_name = set_name
        self.point = point
        self.command = command
        self.problems = []  # (category, text)

    def add(self, category, text):
        self.problems.append((category, text))

    def label(self):
        return f'[{self.part} {self.image} {self.set_name} {self.point}]'


def stem(image_name):
    """The output names' common part: the image name without its last dot and what follows."""
    return image_name[:image_name.rfind('.')] if '.' in image_name else image_name


def check_crash(case, outcome, killed_on_purpose=False):
    """Crash, hang, sanitizer or abort text, library text."""
    if outcome.timed_out:
        case.add('hang', f'still running after {outcome.elapsed:.0f} s; killed')
    elif not killed_on_purpose and (outcome.status < 0 or outcome.status >= 128):
        sig = -outcome.status if outcome.status < 0 else outcome.status - 128
        try:
            signame = signal.Signals(sig).name
        except ValueError:
            signame = f'signal {sig}'
        case.add('crash', f'killed by {signame} (shell status {128 + sig})')
    both = outcome.out + '\n' + outcome.err
    reported = set()
    for pattern, what in ((SANITIZER, 'sanitizer report'), (ABORT_TEXT, 'abort text')):
        m = pattern.search(both)
        if m:
            reported.add(first_line_at(both, m.start()))
            case.add('crash', f'{what}: {first_line_at(both, m.start())}')
    m = LIBRARY_TEXT.search(both)
    if m and first_line_at(both, m.start()) not in reported:
        case.add('other', f'library text on the console: {first_line_at(both, m.start())}')


def check_verdict(case, outcome, verdict, switches):
    """The console against itself and the exit status."""
    kinds = verdict.kinds()
    strict = '-strict' in switches
    if not kinds:
        case.add('disagreement', 'the console says neither "Completed." nor a failure')
    if verdict.completed and (verdict.failed or verdict.damaged):
        case.add('disagreement', f'"Completed." beside the failure line "{verdict.failure_lines[0]}"')
    allowed = expected_statuses(verdict, switches, strict)
    # After a crash (a signal, or a sanitizer's exit status) the status says nothing more.
    crashed = outcome.status < 0 or outcome.status >= 128 or any(c == 'crash' for c, _ in case.problems)
    if kinds and not crashed and outcome.status not in allowed:
        case.add('disagreement', f'exit status {outcome.status} for a {"/".join(sorted(kinds))} run '
                                 f'(expected {"/".join(map(str, sorted(allowed)))})')


def check_outputs(case, files, reference, folder, image_name, switches, outcome, verdict,
                  read_error=False, odd=None):
    """After a read error the outputs may differ from the reference (or be missing): the read
    error accounts for them, and whether it is reported is checked on its own."""
    names = set(reference)
    report_name = stem(image_name) + '_report.json'
    if '-report' in switches:
        names.add(report_name)
    present = {e for e in os.listdir(folder) if e != image_name and not e.endswith('.partial')}
    if report_name in present and os.path.isfile(os.path.join(folder, report_name)):
        report = files.digest(os.path.join(folder, report_name))[1]
        if isinstance(report, dict):
            verdict.more_names = '\n'.join(report_failures(report) or [])
    for stray in sorted(present - names):
        if not verdict.names(stray):
            case.add('other', f'stray file {stray}')
    kinds = verdict.kinds()
    for name in sorted(names):
        path = os.path.join(folder, name)
        if odd is not None and name == odd[0]:
            # What stood under the name must be left alone (checked by the caller); the name
            # must then hold a file like the reference's or be named as failed.
            if odd[2]:
                continue
            if not (os.path.isfile(path) and not os.path.islink(path) and
                    same_as(files.digest(path), reference.get(name))) and not verdict.names(name):
                case.add('unnamed', f'{name} ({odd[1]}) is not written and not named on the console')
            continue
        if name not in present:
            if not verdict.names(name) and not read_error:
                case.add('unnamed', f'{name} missing and not named on the console')
            continue
        digest = files.digest(path)
        if digest[0] == 'nc' and digest[1] and digest[3] is not None and kinds and digest[3] not in kinds:
            case.add('disagreement', f'{name} says run_result "{digest[3]}", the console '
                                     f'{"/".join(sorted(kinds))}')
        if digest[0] == 'json':
            check_report(case, name, digest[1], verdict, outcome, switches)
            continue
        if same_as(digest, reference.get(name)) or verdict.names(name) or read_error:
            continue
        case.add('unnamed', f'{name} differs from the reference and is not named on the console '
                            f'({describe(path, digest)})')


def check_report(case, name, report, verdict, outcome, switches):
    """A report that parses: its result and failures against the console and the exit status."""
    if report is None:
        if not verdict.names(name):
            case.add('unnamed', f'{name} is not JSON and is not named on the console')
        return
    kinds = verdict.kinds()
    result = report.get('result') if isinstance(report, dict) else None
    if result not in ('completed', 'failed', 'damaged'):
        case.add('disagreement', f'{name}: "result" is {result!r}')
        return
    if kinds and result not in kinds:
        case.add('disagreement', f'{name}: result "{result}", the console {"/".join(sorted(kinds))}')
    if '-strict' in switches and outcome.status != {'completed': 0, 'failed': 2, 'damaged': 3}[result]:
        case.add('disagreement', f'{name}: result "{result}" with exit status {outcome.status}')
    failures = report_failures(report)
    if failures is None:
        case.add('disagreement', f'{name}: no list of failures')
        return
    if result == 'completed' and failures:
        case.add('disagreement', f'{name}: completed with {len(failures)} failures')
    if result == 'failed' and not failures:
        case.add('disagreement', f'{name}: failed without a failure in its list')
    listed = '\n'.join(failures)
    for candidate in final_names_of(name):
        if candidate != name and verdict.names(candidate) and candidate not in listed:
            case.add('disagreement', f'{name}: the console names {candidate}, the report does not')


def final_names_of(report_name):
    stem = report_name[:-len('_report.json')]
    return [stem + s for s in SUFFIXES]


def summary_table(cases):
    """One row per part, image and switch set: runs, then per category the runs with such a
    problem (the files, for unnamed and finished-looking ones); a total row last."""
    rows = {}
    for case in cases:
        row = rows.setdefault((case.part, case.image, case.set_name), {'runs': 0, **{c: 0 for c in CATEGORIES}})
        row['runs'] += 1
        seen = set()
        for category, _ in case.problems:
            if category in ('unnamed', 'finished') or category not in seen:
                row[category] += 1
            seen.add(category)
    totals = {k: sum(row[k] for row in rows.values()) for k in ['runs'] + CATEGORIES}
    widths = [10, 6, 9, 5, 7, 5, 7, 8, 8, 5]

    def line(cells):
        return '  '.join(str(c).ljust(w) if i < 3 else str(c).rjust(w) for i, (c, w) in enumerate(zip(cells, widths)))
    lines = [line(['part', 'image', 'switches', 'runs', 'crashes', 'hangs', 'unnamed', 'disagree', 'finished', 'other'])]
    for key, row in rows.items():
        lines.append(line(list(key) + [row[k] for k in ['runs'] + CATEGORIES]))
    lines.append(line(['total', '', ''] + [totals[k] for k in ['runs'] + CATEGORIES]))
    return lines


def first_line_at(text, index):
    start = text.rfind('\n', 0, index) + 1
    end = text.find('\n', index)
    return text[start:end if end >= 0 else len(text)].strip()[:160]


def describe(path, digest):
    size = os.path.getsize(path)
    if digest[0] == 'nc':
        return f'{size} bytes, {"opens as a dataset" if digest[1] else "does not open"}'
    if digest[0] == 'json':
        return f'{size} bytes, {"JSON" if digest[1] is not None else "not JSON"}'
    with open(path, 'rb') as f:
        if size > 0:
            f.seek(-1, os.SEEK_END)
        last = f.read(1)
    end = 'empty' if size == 0 else ('ends with a newline' if last == b'\n' else 'ends mid-line')
    return f'{size} bytes, {end}'


def build_eio_shim(given, folder):
    """The read-error preload as a shared object: the given .so, the given .c compiled, or the
    built-in source compiled."""
    os.makedirs(folder, exist_ok=True)
    if given and given.endswith('.so'):
        return os.path.abspath(given)
    source = os.path.join(folder, 'eio_shim.c')
    if given:
        shutil.copyfile(given, source)
    else:
        with open(source, 'w') as f:
            f.write(EIO_SHIM_SOURCE)
    shim = os.path.join(folder, 'eio.so')
    subprocess.run(['gcc', '-shared', '-fPIC', '-O1', '-o', shim, source, '-ldl'], check=True)
    return shim


def can_mount():
    """Whether a small tmpfs can be mounted here (root in a system or container that allows it)."""
    if os.geteuid() != 0:
        return False
    probe = tempfile.mkdtemp(prefix='skelv-mount-probe-')
    try:
        if subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=64k', 'tmpfs', probe],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            return False
        subprocess.run(['umount', probe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return True
    finally:
        os.rmdir(probe)

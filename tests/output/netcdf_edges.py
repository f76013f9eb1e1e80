#!/usr/bin/python3
"""The NetCDF files at the edges of a run: a disk that fills, a run that is killed, an image
read from a pipe.

    netcdf_edges.py SKELV MAKE_BENCH_IMAGE
"""
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time

import netCDF4

FAILURES = []
KINDS = ("ctd", "dives", "accel", "gps")


def check(condition, message):
    if not condition:
        FAILURES.append(message)


def finished(path):
    """True when the file opens as a dataset that was closed at the end of a run (read by ncdump
    in a process of its own: a torn file can crash the library that reads it)."""
    r = subprocess.run(["ncdump", "-h", path], capture_output=True, text=True)
    return r.returncode == 0 and ":run_result = " in r.stdout


def full_disk(skelv, folder, image):
    """Writes that fail part-way (a file size limit, as a full disk) end no run in a crash: every
    NetCDF file that failed is named and removed (the older file of its name went when the run
    began writing the new one)."""
    size = os.path.getsize(image)
    for limit in (8 << 10, 64 << 10, 512 << 10, 4 << 20):
        for kind in KINDS:
            with open("%s/img_%s.nc" % (folder, kind), "w") as f:
                f.write("older")

        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        r = subprocess.run([skelv, "img.bin", "-netcdf"], cwd=folder, capture_output=True, text=True,
                           preexec_fn=limited, timeout=120)
        check(r.returncode == 0, "limit %d: exit status %d: %s" % (limit, r.returncode, r.stderr[-300:]))
        check("HDF5" not in r.stdout + r.stderr, "limit %d: the library speaks: %s" % (limit, (r.stdout + r.stderr)[-300:]))
        left = [f for f in os.listdir(folder) if f.endswith(".partial")]
        check(not left, "limit %d: left %s" % (limit, left))
        for kind in KINDS:
            path = "%s/img_%s.nc" % (folder, kind)
            # A file is either whole, or it failed: then it is gone and the console names it.
            named = "Can't write NetCDF file img_%s.nc" % kind in r.stdout
            check(finished(path) or (not os.path.exists(path) and named),
                  "limit %d: img_%s.nc neither whole nor gone and named" % (limit, kind))
        check("Can't write NetCDF file img_" in r.stdout, "limit %d: no NetCDF failure named" % limit)
        print("file size limit %d of a %d-byte image: exit status %d, %s" % (limit, size, r.returncode,
              [l[l.index("Failure"):] for l in r.stdout.splitlines() if "Failure" in l]))
        for f in os.listdir(folder):
            if f.startswith("img_"):
                os.remove(os.path.join(folder, f))


def killed(skelv, folder):
    """A run killed at any point leaves no file under a final name that opens as a dataset but
    was not finished: killed at ten points spread over the time a whole run takes."""
    start = time.monotonic()
    subprocess.run([skelv, "img.bin", "-netcdf"], cwd=folder, stdout=subprocess.DEVNULL, check=True)
    whole = time.monotonic() - start
    for f in os.listdir(folder):
        if f.startswith("img_"):
            os.remove(os.path.join(folder, f))
    for i in range(10):
        p = subprocess.Popen([skelv, "img.bin", "-netcdf"], cwd=folder, stdout=subprocess.DEVNULL)
        time.sleep(whole * (0.05 + 0.1 * i))
        p.kill()
        p.wait()
        states = []
        for kind in KINDS:
            path = "%s/img_%s.nc" % (folder, kind)
            check(not os.path.exists(path) or finished(path), "killed at %d: img_%s.nc is unfinished" % (i, kind))
            states.append("%s:%s" % (kind, "whole" if os.path.exists(path) else
                                     "partial" if os.path.exists(path + ".partial") else "-"))
        print("killed after %.2f of %.2f s: %s" % (whole * (0.05 + 0.1 * i), whole, " ".join(states)))
        for f in os.listdir(folder):
            if f.startswith("img_"):
                os.remove(os.path.join(folder, f))


def pipe(skelv, folder):
    """An image read from a pipe has no size: whole blocks, and no input_file_size."""
    # 64 KiB of the image: of a known size it would get blocks of 2048 samples.
    os.mkfifo(os.path.join(folder, "pipe.bin"))
    feeder = subprocess.Popen("head -c 65536 img.bin > pipe.bin", shell=True, cwd=folder)
    r = subprocess.run([skelv, "pipe.bin", "-netcdf"], cwd=folder, capture_output=True, text=True, timeout=120)
    feeder.wait()
    check(r.returncode == 0, "pipe: exit status %d" % r.returncode)
    with netCDF4.Dataset(os.path.join(folder, "pipe_dives.nc")) as ds:
        check("input_file_size" not in ds.ncattrs(), "pipe: input_file_size %r" % ds.__dict__.get("input_file_size"))
        check(ds["time"].chunking() == [65536], "pipe: chunks of %r samples" % ds["time"].chunking())
        print("pipe: chunks of %r samples, input_file_size %s" % (ds["time"].chunking(),
                                                                  "absent" if "input_file_size" not in ds.ncattrs() else "given"))


def main(skelv, make_bench_image):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([make_bench_image, os.path.join(folder, "img.bin"), "4"], check=True, capture_output=True)
        full_disk(skelv, folder, os.path.join(folder, "img.bin"))
        killed(skelv, folder)
        pipe(skelv, folder)
    for f in FAILURES:
        print("FAIL:", f)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])))

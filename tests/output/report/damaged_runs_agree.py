#!/usr/bin/python3
"""What a -recover run says of itself agrees with what it wrote, on damaged images: the files the
report lists (every one written, no other), their count and size, the text files' lines, the
NetCDF files' rows, the stretches and their bytes, the exit status, the console's count and each
NetCDF file's run_result.

    damaged_runs_agree.py SKELV VALID_IMAGE [--seeds FIRST-LAST]

Each seed makes a valid image (skelv-valid-image, range and realistic kinds in turn, 8 KiB to
1 MiB) and damages it once in a seeded way: random bytes over a stretch, a flipped bit, a stray
0xFF inserted, the image cut short, a stretch of zeros; half the runs have -dives too.
"""
import json
import os
import random
import re
import subprocess
import sys
import tempfile

import netCDF4

# The text file of each kind of samples, and the NetCDF file holding the same samples as rows.
SAMPLE_FILES = (("tdr", "dives"), ("ctd", "ctd"), ("accel", "accel"), ("gps", "gps"))


def damage(data, rnd):
    """The image with one seeded kind of damage, and what it was."""
    at = rnd.randrange(16, len(data) - 8)
    kind = rnd.randrange(5)
    if kind == 0:
        n = rnd.randint(1, 512)
        return data[:at] + bytes(rnd.randrange(256) for _ in range(n)) + data[at + n:], "random %d at %d" % (n, at)
    if kind == 1:
        b = bytearray(data)
        b[at] ^= 1 << rnd.randrange(8)
        return bytes(b), "bit flipped at %d" % at
    if kind == 2:
        return data[:at] + b"\xff" + data[at:], "0xFF inserted at %d" % at
    if kind == 3:
        return data[:at], "cut at %d" % at
    n = rnd.randint(1, 64)
    return data[:at] + bytes(n) + data[at + n:], "%d zeros at %d" % (n, at)


def data_lines(path):
    """Lines that start with a date: a text file's samples, snapshots or dives."""
    with open(path, "rb") as f:
        return sum(1 for line in f if line[:1].isdigit())


def netcdf_rows(path):
    """Rows of the root group's samples, of the dive table, and the run's result."""
    with netCDF4.Dataset(path) as ds:
        dives = ds.groups["dives"].dimensions["dive"].size if "dives" in ds.groups else None
        return ds.dimensions["obs"].size, dives, ds.getncattr("run_result")


def disagreements(folder, result, console):
    """What the run's report, files and console say that doesn't agree; empty when all agree."""
    wrong = []
    if not os.path.exists(os.path.join(folder, "img_report.json")):
        return ["no report (exit status %d)" % result]
    report = json.load(open(os.path.join(folder, "img_report.json")))
    written = {name for name in os.listdir(folder) if name.startswith("img_") and name != "img_report.json"}
    listed = {f["name"] for f in report["files"]}
    if written != listed:
        wrong.append("files written %s, the report lists %s" % (sorted(written), sorted(listed)))
    lines, rows = {}, {}
    for f in report["files"]:
        path = os.path.join(folder, f["name"])
        if not f["complete"] or not os.path.exists(path):
            wrong.append("%s not complete" % f["name"])
            continue
        if os.path.getsize(path) != f["bytes"]:
            wrong.append("%s: %d bytes, the report says %d" % (f["name"], os.path.getsize(path), f["bytes"]))
        if f["kind"] == "netcdf":
            obs, dives, run_result = netcdf_rows(path)
            kind = f["name"][len("img_"):-len(".nc")]
            rows[kind] = obs
            if dives is not None:
                rows["dive table"] = dives
            if obs != f["records"]:
                wrong.append("%s: %d rows, the report says %d" % (f["name"], obs, f["records"]))
            if run_result != report["result"]:
                wrong.append("%s: run_result %s, the report %s" % (f["name"], run_result, report["result"]))
        else:
            lines[f["kind"]] = data_lines(path)
            if lines[f["kind"]] != f["records"]:
                wrong.append("%s: %d lines, the report says %d" % (f["name"], lines[f["kind"]], f["records"]))
    for text, nc in SAMPLE_FILES:
        if text in lines and nc in rows and lines[text] != rows[nc]:
            wrong.append("%s: %d lines, %s.nc %d rows" % (text, lines[text], nc, rows[nc]))
    if "dives" in lines and lines["dives"] != rows.get("dive table"):
        wrong.append("dives: %d lines, the NetCDF dive table %s rows" % (lines["dives"], rows.get("dive table")))
    stretches = report["damaged_stretches"]
    for s in stretches:
        if s["last"] - s["first"] + 1 != s["bytes"]:
            wrong.append("stretch %s: its bytes don't add up" % s)
    if sum(s["bytes"] for s in stretches) != report["damaged_bytes"]:
        wrong.append("damaged_bytes %d, the stretches %d" % (report["damaged_bytes"], sum(s["bytes"] for s in stretches)))
    read = report["input"]
    if read["bytes_decoded"] + read["bytes_not_decoded"] != read["end_offset"] - read["start_offset"]:
        wrong.append("input: decoded and not decoded bytes don't add up to the bytes read")
    if (result == 3) != bool(stretches) or (report["result"] == "damaged") != bool(stretches):
        wrong.append("exit %d, result %s, %d stretches" % (result, report["result"], len(stretches)))
    m = re.search(r"Damaged image: (\d+) stretch(?:es)? skipped, (\d+) bytes not decoded", console)
    said = (int(m.group(1)), int(m.group(2))) if m else (0, 0)
    if said != (len(stretches), report["damaged_bytes"]):
        wrong.append("console: %d stretches, %d bytes; report: %d, %d" % (said + (len(stretches), report["damaged_bytes"])))
    return wrong


def main():
    skelv, valid_image = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    first, last = 0, 59
    if len(sys.argv) > 4 and sys.argv[3] == "--seeds":
        first, last = (int(x) for x in sys.argv[4].split("-"))
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        image = os.path.join(folder, "img.bin")
        for seed in range(first, last + 1):
            rnd = random.Random(seed)
            kind = "realistic" if seed % 2 else "range"
            size = rnd.choice(("8k", "64k", "256k", "1024k"))
            subprocess.run([valid_image, str(seed), image, "--kind", kind, "--size", size], check=True, capture_output=True)
            data, what = damage(open(image, "rb").read(), rnd)
            open(image, "wb").write(data)
            for name in os.listdir(folder):
                if name.startswith("img_"):
                    os.unlink(os.path.join(folder, name))
            switches = ["-recover", "-report", "-netcdf"] + (["-dives"] if seed % 4 < 2 else [])
            run = subprocess.run([skelv, "img.bin"] + switches, cwd=folder, capture_output=True, text=True)
            wrong = disagreements(folder, run.returncode, run.stdout)
            if wrong:
                failures += 1
                print("seed %d (%s, %s, %s, %s): %s" % (seed, kind, size, what, " ".join(switches), "; ".join(wrong)))
    print("%d damaged images, %d with a disagreement" % (last - first + 1, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

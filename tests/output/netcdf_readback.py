#!/usr/bin/python3
"""Reads the NetCDF datasets of `Skelv IMAGE -netcdf` back as a user would (xarray with CF
decoding) and checks every value against the text line it belongs to, at the text's printed
precision (packed values exactly), plus the things the text can't show (cast numbers, full CTD
times, bursts); then opens every file with the other clients in one line each.

    netcdf_readback.py SKELV MAKE_MIXED_IMAGE            values: the mixed, a damaged and a failing image
    netcdf_readback.py --clients SKELV MAKE_MIXED_IMAGE  ncdump, ncks, pandas, R ncdf4 and cdo
"""
import math
import os
import random
import resource
import subprocess
import sys
import tempfile

import numpy as np
import xarray as xr

import cf_check

FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)


def stamp(seconds, with_ms):
    """The text's date and time of `seconds`: milliseconds rounded half up, else the whole second."""
    whole = math.floor(seconds)
    ms = int(1000.0 * (seconds - whole) + 0.5)
    if ms >= 1000:
        whole, ms = whole + 1, 0
    text = np.datetime64(int(whole), "s").astype(object).strftime("%Y/%m/%d %H:%M:%S")
    return text + (".%03d" % ms if with_ms else "")


def ctd_stamp(seconds):
    return stamp(math.floor(seconds + 0.005), False)


def epoch(values):
    """CF-decoded datetimes back to seconds since 1970."""
    return (np.asarray(values).astype("datetime64[ns]").astype(np.int64)) / 1e9


def close(nc_value, text, decimals, what, exact=False):
    value = float(text)
    # The text rounds to `decimals`; single-precision variables add their own rounding. Packed
    # counts are exact in the text, so they must read back as its value but for double's rounding.
    tolerance = 1e-12 * max(1.0, abs(value)) if exact else 0.5 * 10.0 ** -decimals + 1e-6 * max(1.0, abs(value)) + 1e-9
    check(abs(float(nc_value) - value) <= tolerance, "%s: NetCDF %r, text %s" % (what, float(nc_value), text))


def lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().splitlines()


def notes_of(text_lines):
    """(offset, text) of the "@OFFSET: text" notes and "offset: Illegal ..." lines."""
    found = []
    for line in text_lines:
        if line.startswith("@"):
            offset, text = line[1:].split(": ", 1)
            found.append((int(offset, 16), text))
        elif ": Illegal stream contents" in line:
            offset, text = line.split(": ", 1)
            found.append((int(offset, 16), text))
    return found


def group(path, name=None):
    """A group (or the root) of a file, read whole and the file closed again."""
    with xr.open_dataset(path, group=name) as ds:
        return ds.load()


def check_events(path, text_lines, name, failure=None):
    """The events group against the file's notes; damaged stretches come with their last byte."""
    ev = group(path, "events")
    kinds = ev.event_kind.values.tolist()
    events = list(zip(ev.event_offset.values.tolist(), ev.event_text.values.tolist(), kinds))
    notes = [(o, t) for o, t, k in events if k in (0, 2)]
    check(notes == notes_of(text_lines), "%s events %r, text notes %r" % (name, notes, notes_of(text_lines)))
    for (o, t, k), last in zip(events, ev.event_last_offset.values.tolist()):
        damaged = t.startswith("Damaged: skipped to ")
        check((k == 2) == damaged, "%s event %r: kind %d" % (name, t, k))
        check(last == int(t.split()[3].rstrip(","), 16) if damaged else np.isnan(last), "%s event %r: last byte %r" % (name, t, last))
    failures = [t for o, t, k in events if k == 1]
    check(failures == ([failure] if failure else []), "%s failures %r" % (name, failures))
    return events


TDR_COLUMNS = {
    1: [("depth", 3), ("temperature", 2)],
    2: [("depth", 3)],
    5: [("depth", 3)],
    6: [("depth", 3), ("wetdry", 0)],
    7: [("depth", 3), ("temperature", 2), ("odometer", 2), ("mag_x", 1), ("mag_y", 1), ("mag_z", 1),
        ("mag_temperature", 0), ("wetdry", 0)],
    8: [("depth", 3), ("wetdry", 0)],
}


def check_dives(base):
    text = lines(base + "_tdr.txt")
    ds = group(base + "_dives.nc")
    samples = [l for l in text[1:] if l[:1].isdigit() and "\t" in l]
    hauls = [l.split() for l in text if l.startswith("HAULOUT:")]
    check(ds.sizes["obs"] == len(samples), "dive samples: NetCDF %d, text %d" % (ds.sizes["obs"], len(samples)))
    check(len(ds.to_dataframe()) == len(samples), "dives: to_dataframe() is not one row per sample")
    times = epoch(ds.time.values)
    check(str(ds.time.dtype).startswith("datetime64"), "dive times are datetimes")
    regimes = ds.regime.values
    for i, line in enumerate(samples[: ds.sizes["obs"]]):
        fields = line.split("\t")
        check(stamp(times[i], True) == fields[0], "dive sample %d time %s, text %s" % (i, stamp(times[i], True), fields[0]))
        regime = int(regimes[i])
        columns = TDR_COLUMNS.get(regime) or [("depth", 3)] + [("photo%d" % k, 0) for k in range(len(fields) - 2)]
        check(len(columns) == len(fields) - 1, "dive sample %d: %d columns for regime %d" % (i, len(fields) - 1, regime))
        for (name, decimals), value in zip(columns, fields[1:]):
            close(ds[name].values[i], value, decimals, "dive sample %d %s" % (i, name), exact=True)
        # Channels the regime lacks are fill values (NaN once decoded).
        for name in ("temperature", "odometer", "mag_x", "wetdry", "photo0"):
            if name in ds and name not in [c for c, _ in columns]:
                check(np.isnan(ds[name].values[i]), "dive sample %d %s should be absent" % (i, name))
    haul = group(base + "_dives.nc", "haulouts")
    check(haul.sizes.get("haulout", 0) == len(hauls), "haul-outs: NetCDF %r, text %d" % (dict(haul.sizes), len(hauls)))
    # The end is the HAULOUT line's; the start is the line's too, unless samples deeper than 0 m
    # follow it: then the haul-out begins at the last of them, never over a dive.
    times = epoch(ds.time.values)
    for i, h in enumerate(hauls[: haul.sizes.get("haulout", 0)]):
        end = epoch(haul.haulout_end.values)[i]
        check(stamp(end, False) == h[3] + " " + h[4], "haul-out %d end" % i)
        start = epoch(haul.haulout_start.values)[i]
        check(not np.isnan(start), "haul-out %d start unknown" % i)
        check(stamp(start, False) >= h[1] + " " + h[2], "haul-out %d start before the line's" % i)
        wet_inside = (times > start + 1e-6) & (times <= end) & (ds.depth.values > 0)
        check(not wet_inside.any(), "haul-out %d over %d samples under water" % (i, wet_inside.sum()))
    return ds, text


# The columns of _dives.txt by header, with their NetCDF variables; the others have none yet.
DIVE_COLUMNS = {"DIVE": ("dive_number", None), "START(UTC)": ("dive_start", "time"), "END(UTC)": ("dive_end", "time"),
                "DURATION(s)": ("dive_duration", 3), "MAX_DEPTH(m)": ("dive_max_depth", 3),
                "MAX_DEPTH_TIME(UTC)": ("dive_max_depth_time", "time"), "DESCENT_TIME(s)": ("dive_descent_time", 3),
                "DESCENT_RATE(m/s)": ("dive_descent_rate", 3), "BOTTOM_TIME(s)": ("dive_bottom_time", 3),
                "ASCENT_TIME(s)": ("dive_ascent_time", 3), "ASCENT_RATE(m/s)": ("dive_ascent_rate", 3),
                "BOTTOM_TEMP(C)": ("dive_bottom_temperature", 2), "SURFACE_INTERVAL(s)": ("dive_surface_interval", 3),
                "START_CUT": ("dive_start_cut", None), "END_CUT": ("dive_end_cut", None)}


def check_dive_table(base, text_table=True):
    """The dives group against the lines of _dives.txt, column by column; empty fields are fills."""
    ds = group(base + "_dives.nc", "dives")
    if not text_table:
        return ds
    text = lines(base + "_dives.txt")
    header = text[0].split("\t")
    check(ds.sizes["dive"] == len(text) - 1, "dives: NetCDF %d, text %d" % (ds.sizes["dive"], len(text) - 1))
    for i, line in enumerate(text[1: ds.sizes["dive"] + 1]):
        fields = dict(zip(header, line.split("\t")))
        check(len(fields) == len(header), "dive %d: %d fields" % (i, len(fields)))
        for column, (name, kind) in DIVE_COLUMNS.items():
            field = fields[column]
            value = ds[name].values[i]
            what = "dive %d %s" % (i, name)
            if kind == "time":
                got = stamp(epoch([value])[0], True).replace("/", "-")
                check(got == field, "%s: NetCDF %s, text %s" % (what, got, field))
            elif kind is None:
                check(int(value) == int(field), "%s: NetCDF %r, text %s" % (what, value, field))
            elif field == "":
                check(np.isnan(value), "%s: NetCDF %r, text empty" % (what, value))
            else:
                close(value, field, kind, what, exact=name in ("dive_max_depth", "dive_bottom_temperature"))
    return ds


def check_ctd(base):
    text = lines(base + "_ctd.txt")
    ds = group(base + "_ctd.nc")
    casts = group(base + "_ctd.nc", "casts")
    samples = [l for l in text[1:] if not l.startswith("@")]
    check(ds.sizes["obs"] == len(samples), "CTD samples: NetCDF %d, text %d" % (ds.sizes["obs"], len(samples)))
    check(len(ds.to_dataframe()) == len(samples), "ctd: to_dataframe() is not one row per sample")
    numbers = casts.cast_number.values.tolist()
    check(len(set(numbers)) == len(numbers), "cast numbers repeat: %r" % numbers)
    meanings = casts.sensor_set.attrs["flag_meanings"].split()
    masks = casts.sensor_set.attrs["flag_masks"]
    times = epoch(ds.time.values)
    for i, line in enumerate(samples[: ds.sizes["obs"]]):
        fields = line.split("\t")
        row = numbers.index(int(ds.cast.values[i]))
        sensors = [m for m, bit in zip(meanings, masks) if int(casts.sensor_set.values[row]) & int(bit)]
        for name in meanings:
            if name in ds:
                present = not np.isnan(ds[name].values[i])
                check(present == (name in sensors), "CTD sample %d: %s %s" % (i, name, "missing" if present else "present"))
        check(ctd_stamp(times[i]) == fields[0], "CTD sample %d time %s, text %s" % (i, ctd_stamp(times[i]), fields[0]))
        for name, field, decimals in (("pressure", 1, 2), ("abs_pressure", 2, 2), ("surface_pressure", 3, 2),
                                      ("temperature", 4, 3), ("conductivity", 5, 4), ("salinity", 6, 4)):
            close(ds[name].values[i], fields[field], decimals, "CTD sample %d %s" % (i, name))
        check(len(fields) == 7 + len(sensors), "CTD sample %d: %d auxiliary columns" % (i, len(fields) - 7))
        for name, value in zip(sensors, fields[7:]):
            close(ds[name].values[i], value, 4, "CTD sample %d %s" % (i, name))
    return ds, casts, text


def check_gps(base):
    text = lines(base + "_gps.txt")
    ds = group(base + "_gps.nc")
    entries = group(base + "_gps.nc", "entries")
    snaps = [l.split() for l in text if not l.startswith("@")]
    check(ds.sizes["obs"] == len(snaps), "GPS snapshots: NetCDF %d, text %d" % (ds.sizes["obs"], len(snaps)))
    check(len(ds.to_dataframe()) == len(snaps), "gps: to_dataframe() is not one row per snapshot")
    entry = 0
    for i, f in enumerate(snaps):
        check(stamp(epoch(ds.time.values)[i], False) == f[0] + " " + f[1], "snapshot %d time" % i)
        n = int(ds.entry_count.values[i])
        check(n == int(f[2]), "snapshot %d entry count" % i)
        for k in range(n):
            check(int(entries.snapshot.values[entry + k]) == i, "snapshot %d entry %d snapshot" % (i, k))
            check(int(entries.entry_value.values[entry + k]) == int(f[5 + 2 * k]), "snapshot %d entry %d value" % (i, k))
            check(int(entries.entry_word.values[entry + k]) == int(f[6 + 2 * k], 16), "snapshot %d entry %d word" % (i, k))
        entry += n
    return ds, text


def check_accel(base):
    text = lines(base + "_accel.txt")
    ds = group(base + "_accel.nc")
    samples = [l.split("\t") for l in text[1:] if not l.startswith("@")]
    check(ds.sizes["obs"] == len(samples), "ACC samples: NetCDF %d, text %d" % (ds.sizes["obs"], len(samples)))
    check(len(ds.to_dataframe()) == len(samples), "accel: to_dataframe() is not one row per sample")
    times = epoch(ds.time.values)
    for i, f in enumerate(samples):
        check(stamp(times[i], True) == f[0], "ACC sample %d time" % i)
        for axis, value in zip("xyz", f[1:]):
            close(ds[axis].values[i], value, 4, "ACC sample %d %s" % (i, axis))
    return ds, text


def convert(skelv, folder, image, *options):
    """Runs with -netcdf; the text files, the console and the exit status must be those of a plain run."""
    def texts():
        found = {}
        for name in sorted(f for f in os.listdir(folder) if f.startswith(image[:-4] + "_") and f.endswith(".txt")):
            with open(os.path.join(folder, name), "rb") as f:
                found[name] = f.read()
            os.remove(os.path.join(folder, name))
        return found
    plain = subprocess.run([skelv, image, *options], cwd=folder, capture_output=True)
    plain_texts = texts()
    out = subprocess.run([skelv, image, "-netcdf", *options], cwd=folder, capture_output=True)
    check(out.returncode == plain.returncode, "%s: exit status %d" % (image, out.returncode))
    check((plain.stdout, plain.stderr) == (out.stdout, out.stderr), "%s: console differs from a plain run" % image)
    netcdf_texts = texts()
    check(plain_texts == netcdf_texts, "%s: text files differ from a plain run" % image)
    for name, data in netcdf_texts.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    base = os.path.join(folder, image[: -len(".bin")])
    for kind in ("dives", "ctd", "gps", "accel"):
        if os.path.exists("%s_%s.nc" % (base, kind)):
            with open("%s_%s.nc" % (base, kind), "rb") as f:
                check(f.read(8) == b"\x89HDF\r\n\x1a\n", "%s_%s.nc is no NetCDF-4 file" % (base, kind))
    check(not [f for f in os.listdir(folder) if f.endswith(".partial")], "%s: a .partial file is left" % image)
    return base, out.stdout.decode()


def make_damaged(folder):
    """mixed.bin with 40 seeded random bytes in its middle: -recover skips them as a damaged stretch."""
    with open(os.path.join(folder, "mixed.bin"), "rb") as f:
        data = f.read()
    r = random.Random(0)
    at = r.randrange(len(data) // 4, 3 * len(data) // 4)
    with open(os.path.join(folder, "damaged.bin"), "wb") as f:
        f.write(data[:at] + bytes(r.randrange(256) for _ in range(40)) + data[at:])


def check_all(base, name, result, failure=None, text_table=True):
    """Every file of the run against its text; the events and the global attributes."""
    dives, tdr = check_dives(base)
    table = check_dive_table(base, text_table)
    files = [(dives, tdr, "dives")]
    if os.path.exists(base + "_ctd.nc"):
        ctd, casts, ctd_text = check_ctd(base)
        files.append((ctd, ctd_text, "ctd"))
    gps, gps_text = check_gps(base)
    files.append((gps, gps_text, "gps"))
    if os.path.exists(base + "_accel.nc"):
        acc, acc_text = check_accel(base)
        files.append((acc, acc_text, "accel"))
    events = None
    for ds, text, kind in files:
        events = check_events("%s_%s.nc" % (base, kind), text, name + " " + kind, failure)
        check(ds.attrs["Conventions"] == "CF-1.10", name + " Conventions")
        check(ds.attrs["run_result"] == result, "%s %s run_result %r" % (name, kind, ds.attrs["run_result"]))
        check(ds.attrs["input_file_size"] == os.path.getsize(base + ".bin"), name + " input_file_size")
    return dives, table, events


def readback(skelv, make_image):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([make_image, folder], check=True)
        base, _ = convert(skelv, folder, "mixed.bin", "-dives", "-dive-threshold", "1.5")
        dives, table, _ = check_all(base, "mixed", "completed")
        ctd = group(base + "_ctd.nc")
        casts = group(base + "_ctd.nc", "casts")
        acc = group(base + "_accel.nc")
        starts = group(base + "_dives.nc", "starts")
        check(dives.attrs["tag_version"] == 170 and dives.attrs["calibration_change_count"] == 2, "tag version, calibration changes")

        # Derived by hand from the image: the casts and their sensors, the samples' casts in file
        # order (the first resumed after the one nested in it), the half-second times the text
        # cuts to the second.
        check(casts.cast_number.values.tolist() == [1, 2, 3, 4], "cast numbers %r" % casts.cast_number.values.tolist())
        check(ctd.cast.values.tolist() == [1] * 8 + [2] * 4 + [1] * 6 + [3] * 2 + [4] * 2, "casts %r" % ctd.cast.values.tolist())
        check(casts.channel_mask.values.tolist() == [0x13, 2, 0x0C, 3], "masks %r" % casts.channel_mask.values.tolist())
        # The casts' own intervals (50 and 100 hundredths of a second), not the information record's.
        check(casts.sampling_interval.values.tolist() == [0.5, 1.0, 1.0, 1.0],
              "sampling intervals %r" % casts.sampling_interval.values.tolist())
        sets = [[m for m, bit in zip(casts.sensor_set.flag_meanings.split(), casts.sensor_set.flag_masks) if int(v) & int(bit)]
                for v in casts.sensor_set.values]
        check(sets == [["fluorescence", "bphase", "internal_temperature"], ["fluorescence"], ["ppfd"], ["oxygen"]],
              "sensor sets %r" % sets)
        check(str(ctd.time.values[1]) == "2025-11-30T06:00:06.500000000", "second CTD time %s" % ctd.time.values[1])
        check(acc.burst.values.tolist() == [1] * 6 + [2] * 4 + [3] * 53, "bursts %r" % acc.burst.values.tolist())
        check(starts.start_kind.values.tolist() == [0, 1, 0, 0, 0, 0], "start kinds %r" % starts.start_kind.values.tolist())
        check(dives.regime.values.tolist()[-3:] == [2, 2, 2], "the cut-short dive's samples are kept")
        check(dives.photo1.values[~np.isnan(dives.photo1.values)].tolist() == [65000 - 7 * i for i in range(9)],
              "second photo channel")
        # The dives at a 1.5 m threshold, by hand: one per dive start, each ended by the next start
        # (a gap in time), a dry start or the end of the image, so all cut. Regime 1 starts at 2.0 m
        # (deeper already) and goes 3.5 m a second to 40.5 m at 06:00:11; regime 3 is at 5 m two
        # seconds after its start and 40 m at the last sample, 07:00:16. No surface interval spans a break.
        cut = (table.dive_start_cut.values | table.dive_end_cut.values).tolist()
        check(table.sizes["dive"] == 5 and cut == [1] * 5, "dive table %r" % cut)
        check(str(table.dive_start.values[0]) == "2025-11-30T06:00:00.000000000"
              and str(table.dive_start.values[1]) == "2025-11-30T07:00:02.000000000", "dive starts")
        check(table.dive_max_depth.values[:2].tolist() == [40.5, 40.0], "maximum depths %r" % table.dive_max_depth.values[:2])
        check(str(table.dive_max_depth_time.values[0]) == "2025-11-30T06:00:11.000000000", "time of the first maximum")
        check(np.isnan(table.dive_surface_interval.values).all(),
              "surface intervals %r" % table.dive_surface_interval.values.tolist())
        print("mixed.bin: dives %d samples, %d dives in the table; ctd %d samples of casts %s; gps %d snapshots;"
              " accel %d samples" % (dives.sizes["obs"], table.sizes["dive"], ctd.sizes["obs"],
                                     casts.cast_number.values.tolist(), group(base + "_gps.nc").sizes["obs"],
                                     acc.sizes["obs"]))

        # -zoc 1.5: each sample's corrected depth is its depth less 1.5 m, 0 where that falls below
        # 0; a dry period's temperature stream (regime 1, depth 0) has none. The dive table is found
        # in the corrected depths, and its maxima are 1.5 m less.
        base, _ = convert(skelv, folder, "mixed.bin", "-dives", "-dive-threshold", "1.5", "-zoc", "1.5")
        zoc = group(base + "_dives.nc")
        starts = group(base + "_dives.nc", "starts")
        depth = zoc.depth.values
        wet = ~np.isnan(zoc.depth_corrected.values)
        check(np.allclose(zoc.depth_corrected.values[wet], np.maximum(depth[wet] - 1.5, 0.0))
              and np.allclose(zoc.depth_offset.values[wet], 1.5), "corrected depths")
        check((~wet).sum() == ((zoc.regime.values == 1) & (depth == 0)).sum() and (~wet).sum() > 0,
              "dry samples without a corrected depth: %d" % (~wet).sum())
        check(group(base + "_dives.nc", "dives").dive_max_depth.values[:2].tolist() == [39.0, 38.5], "corrected maxima")

        # A damaged image: the -recover run's stretches are damage events with their first and last
        # byte, as the console lists them, and the run is "damaged".
        make_damaged(folder)
        base, console = convert(skelv, folder, "damaged.bin", "-recover", "-dives")
        _, _, events = check_all(base, "damaged", "damaged")
        listed = [l.strip().split()[:3] for l in console.splitlines() if l.startswith("  ") and " to " in l]
        damage = [(o, int(t.split()[3].rstrip(","), 16)) for o, t, k in events if k == 2]
        check(len(damage) >= 1 and damage == [(int(a, 16), int(b.rstrip(","), 16)) for a, _, b in listed],
              "damage events %r, console %r" % (damage, listed))
        print("damaged.bin: damage events %r" % damage)

        base, _ = convert(skelv, folder, "failing.bin")
        byte = os.path.getsize(os.path.join(folder, "failing.bin")) - 5  # after the regime byte, time and interval
        failure = "Unknown TDR regime 4 at byte %d" % byte
        dives, table, events = check_all(base, "failing", "failed", failure, text_table=False)
        # Without -dives the table still goes into the NetCDF file, and no text table is written. At
        # 2 m the regime 2 samples of 1.0, 3.0, 5.0, 4.2, 2.6, 1.0 m, a second apart, make one whole
        # dive of 3 s to 5.0 m; its bottom (4.0 m and deeper) lasts 1 s, from 5.0 to 4.2 m; descent
        # from 3.0 to 5.0 m in 1 s, ascent from 4.2 to 2.6 m in 1 s.
        check(not os.path.exists(base + "_dives.txt"), "failing.bin: no _dives.txt without -dives")
        # Datasets only for the record kinds the image holds: no CTD cast, no accelerometer burst.
        check([os.path.exists("%s_%s.nc" % (base, k)) for k in ("dives", "gps", "ctd", "accel")] == [True, True, False, False],
              "failing.bin datasets")
        row = [table[name].values.tolist() for name in ("dive_duration", "dive_max_depth", "dive_bottom_time",
                                                        "dive_descent_rate", "dive_ascent_rate", "dive_start_cut",
                                                        "dive_end_cut")]
        check(np.allclose(row[:5], [[3.0], [5.0], [1.0], [2.0], [1.6]]) and row[5:] == [[0], [0]], "failing.bin dive %r" % row)
        check(np.isnan(table.dive_surface_interval.values).all() and np.isnan(table.dive_bottom_temperature.values).all(),
              "failing.bin dive: no surface interval, no temperature")
        print("failing.bin: events %r, run_result %r" % (events, dives.attrs["run_result"]))


def client(command, what, ok=lambda r: r.returncode == 0, limit=None):
    """Runs one client's one line; prints what it printed (shortened)."""
    def limits():
        if limit:
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    try:
        r = subprocess.run(command, capture_output=True, text=True, timeout=30, preexec_fn=limits)
    except subprocess.TimeoutExpired:
        check(False, "%s: no answer in 30 s" % what)
        return None
    check(ok(r), "%s: exit status %d: %s" % (what, r.returncode, (r.stdout + r.stderr)[-400:]))
    return r


def clients(skelv, make_image):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([make_image, folder], check=True)
        make_damaged(folder)
        for image, options in (("mixed.bin", ()), ("damaged.bin", ("-recover",))):
            base, _ = convert(skelv, folder, image, *options)
            for kind in ("ctd", "dives", "accel", "gps"):
                path = "%s_%s.nc" % (base, kind)
                name = "%s_%s.nc" % (image[:-4], kind)
                client(["ncdump", "-h", path], "ncdump -h " + name)
                client(["ncks", "-m", path], "ncks -m " + name)
                # pandas: the root group is one row per sample.
                py = "import xarray as xr, sys; d = xr.open_dataset(sys.argv[1]); print(len(d.to_dataframe()), d.sizes['obs'])"
                r = client([sys.executable, "-c", py, path], "to_dataframe " + name)
                if r:
                    rows, samples = r.stdout.split()
                    check(rows == samples, "%s: to_dataframe() %s rows for %s samples" % (name, rows, samples))
                # R: opening and reading every variable of every group, without a warning.
                rs = ("options(warn = 1); library(ncdf4); nc <- nc_open(commandArgs(TRUE)[1]);"
                      " for (v in names(nc$var)) invisible(ncvar_get(nc, v)); nc_close(nc)")
                r = client(["Rscript", "-e", rs, path], "R ncdf4 " + name)
                if r:
                    check("Warning" not in r.stderr, "R ncdf4 %s warns: %s" % (name, r.stderr[-300:]))
                # cdo is for grids: it finishes or refuses with a message, within 1 GiB and 30 s.
                client(["cdo", "-s", "sinfon", path], "cdo sinfon " + name,
                       ok=lambda r: r.returncode in (0, 1) and (r.returncode == 0 or "Error" in r.stderr), limit=1 << 30)
            print("%s: ncdump, ncks, to_dataframe, R ncdf4 and cdo read the four files" % image)
            failures = cf_check.report(["%s_%s.nc" % (base, k) for k in ("ctd", "dives", "accel", "gps")])
            check(failures == 0, "%s: %d failures of the conventions' rules" % (image, failures))


if __name__ == "__main__":
    args = sys.argv[1:]
    (clients if args[0] == "--clients" else readback)(*[os.path.abspath(a) for a in args[-2:]])
    for f in FAILURES:
        print("FAIL:", f)
    sys.exit(1 if FAILURES else 0)

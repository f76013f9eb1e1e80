#!/usr/bin/python3
"""Reads the NetCDF datasets of `Skelv IMAGE -netcdf` back as a user would (xarray with CF
decoding) and checks every value against the text line it belongs to, at the text's printed
precision, plus the things the text can't show (cast numbers, full CTD times, bursts).

    netcdf_readback.py SKELV MAKE_MIXED_IMAGE         the read-back check
    netcdf_readback.py --ncdump SKELV MAKE_MIXED_IMAGE the CF attributes as ncdump -h shows them
"""
import math
import os
import subprocess
import sys
import tempfile

import numpy as np
import xarray as xr

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


def close(nc_value, text, decimals, what):
    value = float(text)
    # The text rounds to `decimals`; single-precision variables add their own rounding.
    tolerance = 0.5 * 10.0 ** -decimals + 1e-6 * max(1.0, abs(value)) + 1e-9
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


def check_events(ds, text_lines, name, failure=None):
    kinds = ds.event_kind.values.tolist()
    events = list(zip(ds.event_offset.values.tolist(), ds.event_text.values.tolist(), kinds))
    notes = [(o, t) for o, t, k in events if k == 0]
    check(notes == notes_of(text_lines), "%s events %r, text notes %r" % (name, notes, notes_of(text_lines)))
    failures = [t for o, t, k in events if k == 1]
    check(failures == ([failure] if failure else []), "%s failures %r" % (name, failures))


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
    ds = xr.open_dataset(base + "_dives.nc")
    samples = [l for l in text[1:] if l[:1].isdigit() and "\t" in l]
    hauls = [l.split() for l in text if l.startswith("HAULOUT:")]
    check(ds.sizes["obs"] == len(samples), "dive samples: NetCDF %d, text %d" % (ds.sizes["obs"], len(samples)))
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
            close(ds[name].values[i], value, decimals, "dive sample %d %s" % (i, name))
        # Channels the regime lacks are fill values (NaN once decoded).
        for name in ("temperature", "odometer", "mag_x", "wetdry", "photo0"):
            if name in ds and name not in [c for c, _ in columns]:
                check(np.isnan(ds[name].values[i]), "dive sample %d %s should be absent" % (i, name))
    check(ds.sizes["haulout"] == len(hauls), "haul-outs: NetCDF %d, text %d" % (ds.sizes["haulout"], len(hauls)))
    for i, h in enumerate(hauls[: ds.sizes["haulout"]]):
        check(stamp(epoch(ds.haulout_start.values)[i], False) == h[1] + " " + h[2], "haul-out %d start" % i)
        check(stamp(epoch(ds.haulout_end.values)[i], False) == h[3] + " " + h[4], "haul-out %d end" % i)
    return ds, text


# The columns of _dives.txt by header, with their NetCDF variables; the others have none yet.
DIVE_COLUMNS = {"DIVE": ("dive_number", None), "START(UTC)": ("dive_start", "time"), "END(UTC)": ("dive_end", "time"),
                "DURATION(s)": ("dive_duration", 3), "MAX_DEPTH(m)": ("dive_max_depth", 3),
                "MAX_DEPTH_TIME(UTC)": ("dive_max_depth_time", "time"), "BOTTOM_TIME(s)": ("dive_bottom_time", 3),
                "DESCENT_RATE(m/s)": ("dive_descent_rate", 3), "ASCENT_RATE(m/s)": ("dive_ascent_rate", 3),
                "BOTTOM_TEMP(C)": ("dive_bottom_temperature", 2), "SURFACE_INTERVAL(s)": ("dive_surface_interval", 3)}


def check_dive_table(ds, base):
    """The dive dimension against the lines of _dives.txt, column by column; empty fields are fills."""
    text = lines(base + "_dives.txt")
    header = text[0].split("\t")
    check(ds.sizes["dive"] == len(text) - 1, "dives: NetCDF %d, text %d" % (ds.sizes["dive"], len(text) - 1))
    for i, line in enumerate(text[1: ds.sizes["dive"] + 1]):
        fields = dict(zip(header, line.split("\t")))
        check(len(fields) == len(header), "dive %d: %d fields" % (i, len(fields)))
        # dive_cut: cut at either end.
        check(int(ds.dive_cut.values[i]) == int(fields["START_CUT"] == "1" or fields["END_CUT"] == "1"),
              "dive %d dive_cut" % i)
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
                close(value, field, kind, what)
    return len(text) - 1


def check_ctd(base):
    text = lines(base + "_ctd.txt")
    ds = xr.open_dataset(base + "_ctd.nc")
    samples = [l for l in text[1:] if not l.startswith("@")]
    check(ds.sizes["obs"] == len(samples), "CTD samples: NetCDF %d, text %d" % (ds.sizes["obs"], len(samples)))
    check(int(ds.row_size.sum()) == ds.sizes["obs"], "row sizes add up to the samples")
    meanings = ds.sensor_set.attrs["flag_meanings"].split()
    masks = ds.sensor_set.attrs["flag_masks"]
    times = epoch(ds.time.values)
    row = 0
    for p in range(ds.sizes["profile"]):
        n = int(ds.row_size.values[p])
        sensors = [m for m, bit in zip(meanings, masks) if int(ds.sensor_set.values[p]) & int(bit)]
        for name in meanings:
            if name not in ds:
                continue
            present = ~np.isnan(ds[name].values[row:row + n])
            check(present.all() if name in sensors else not present.any(),
                  "cast %d: %s %s" % (p, name, "missing" if name in sensors else "should be absent"))
        for i in range(row, row + n):
            fields = samples[i].split("\t")
            check(ctd_stamp(times[i]) == fields[0], "CTD sample %d time %s, text %s" % (i, ctd_stamp(times[i]), fields[0]))
            close(ds.pressure.values[i], fields[1], 2, "CTD sample %d pressure" % i)
            close(ds.abs_pressure.values[i], fields[2], 2, "CTD sample %d abs_pressure" % i)
            close(ds.surface_pressure.values[p], fields[3], 2, "CTD sample %d surface pressure" % i)
            close(ds.temperature.values[i], fields[4], 3, "CTD sample %d temperature" % i)
            close(ds.conductivity.values[i], fields[5], 4, "CTD sample %d conductivity" % i)
            close(ds.salinity.values[i], fields[6], 4, "CTD sample %d salinity" % i)
            check(len(fields) == 7 + len(sensors), "CTD sample %d: %d auxiliary columns" % (i, len(fields) - 7))
            for name, value in zip(sensors, fields[7:]):
                close(ds[name].values[i], value, 4, "CTD sample %d %s" % (i, name))
        row += n
    return ds, text


def check_gps(base):
    text = lines(base + "_gps.txt")
    ds = xr.open_dataset(base + "_gps.nc")
    snaps = [l.split() for l in text if not l.startswith("@")]
    check(ds.sizes["snapshot"] == len(snaps), "GPS snapshots: NetCDF %d, text %d" % (ds.sizes["snapshot"], len(snaps)))
    entry = 0
    for i, f in enumerate(snaps):
        check(stamp(epoch(ds.time.values)[i], False) == f[0] + " " + f[1], "snapshot %d time" % i)
        n = int(ds.entry_count.values[i])
        check(n == int(f[2]), "snapshot %d entry count" % i)
        for k in range(n):
            check(int(ds.entry_value.values[entry + k]) == int(f[5 + 2 * k]), "snapshot %d entry %d value" % (i, k))
            check(int(ds.entry_word.values[entry + k]) == int(f[6 + 2 * k], 16), "snapshot %d entry %d word" % (i, k))
        entry += n
    return ds, text


def check_accel(base):
    text = lines(base + "_accel.txt")
    ds = xr.open_dataset(base + "_accel.nc")
    samples = [l.split("\t") for l in text[1:] if not l.startswith("@")]
    check(ds.sizes["obs"] == len(samples), "ACC samples: NetCDF %d, text %d" % (ds.sizes["obs"], len(samples)))
    times = epoch(ds.time.values)
    for i, f in enumerate(samples):
        check(stamp(times[i], True) == f[0], "ACC sample %d time" % i)
        for axis, value in zip("xyz", f[1:]):
            close(ds[axis].values[i], value, 4, "ACC sample %d %s" % (i, axis))
    return ds, text


def convert(skelv, folder, image, *options):
    """Runs with -netcdf; the text files and the console must be byte for byte those of a plain run."""
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
    check(out.returncode == 0, "%s: exit status %d" % (image, out.returncode))
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
    return base


def readback(skelv, make_image):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([make_image, folder], check=True)
        base = convert(skelv, folder, "mixed.bin", "-dives", "-dive-threshold", "1.5")
        dives, tdr = check_dives(base)
        table_rows = check_dive_table(dives, base)
        ctd, ctd_text = check_ctd(base)
        gps, gps_text = check_gps(base)
        acc, acc_text = check_accel(base)
        for ds, text, name in ((dives, tdr, "dives"), (ctd, ctd_text, "ctd"), (gps, gps_text, "gps"), (acc, acc_text, "accel")):
            check_events(ds, text, name)
            check(ds.attrs["Conventions"] == "CF-1.10", name + " Conventions")
            check(ds.attrs["tag_version"] == 170, name + " tag_version")
            check(ds.attrs["calibration_change_count"] == 2, name + " calibration changes")
            check(ds.attrs["run_result"] == "completed", name + " run_result")

        # Derived by hand from the image: the casts in file order (the first resumed after the one
        # nested in it) and their sensors; the half-second times the text cuts to the second.
        check(ctd.cast.values.tolist() == [1, 2, 1, 3, 4], "cast numbers %r" % ctd.cast.values.tolist())
        check(ctd.row_size.values.tolist() == [8, 4, 6, 2, 2], "row sizes %r" % ctd.row_size.values.tolist())
        check(ctd.channel_mask.values.tolist() == [0x13, 2, 0x13, 0x0C, 3], "masks %r" % ctd.channel_mask.values.tolist())
        sets = [[m for m, bit in zip(ctd.sensor_set.flag_meanings.split(), ctd.sensor_set.flag_masks) if int(v) & int(bit)]
                for v in ctd.sensor_set.values]
        check(sets == [["fluorescence", "bphase", "internal_temperature"], ["fluorescence"],
                       ["fluorescence", "bphase", "internal_temperature"], ["ppfd"], ["oxygen"]], "sensor sets %r" % sets)
        check(str(ctd.time.values[1]) == "2025-11-30T06:00:06.500000000", "second CTD time %s" % ctd.time.values[1])
        check(acc.burst.values.tolist() == [1] * 6 + [2] * 4 + [3] * 53, "bursts %r" % acc.burst.values.tolist())
        check(dives.start_kind.values.tolist() == [0, 1, 0, 0, 0, 0], "start kinds %r" % dives.start_kind.values.tolist())
        check(dives.regime.values.tolist()[-3:] == [2, 2, 2], "the cut-short dive's samples are kept")
        check(dives.photo1.values[~np.isnan(dives.photo1.values)].tolist() == [65000 - 7 * i for i in range(9)],
              "second photo channel")
        # The dives at a 1.5 m threshold, by hand: one per dive start, each ended by the next start
        # (a gap in time), a dry start or the end of the image, so all cut. Regime 1 starts at 2.0 m
        # (deeper already) and goes 3.5 m a second to 40.5 m at 06:00:11; regime 3 is at 5 m two
        # seconds after its start and 40 m at the last sample, 07:00:16. No surface interval spans a break.
        check(table_rows == 5 and dives.dive_cut.values.tolist() == [1] * 5, "dive table %d rows, cut %r"
              % (table_rows, dives.dive_cut.values.tolist()))
        check(str(dives.dive_start.values[0]) == "2025-11-30T06:00:00.000000000"
              and str(dives.dive_start.values[1]) == "2025-11-30T07:00:02.000000000", "dive starts")
        check(dives.dive_max_depth.values[:2].tolist() == [40.5, 40.0], "maximum depths %r" % dives.dive_max_depth.values[:2])
        check(str(dives.dive_max_depth_time.values[0]) == "2025-11-30T06:00:11.000000000", "time of the first maximum")
        check(np.isnan(dives.dive_surface_interval.values).all(),
              "surface intervals %r" % dives.dive_surface_interval.values.tolist())

        print("mixed.bin: dives %d samples, %d haul-outs, %d starts, %d dives in the table; ctd %d profile rows of casts %s, %d samples;"
              " gps %d snapshots; accel %d samples in bursts %s; events per file %s"
              % (dives.sizes["obs"], dives.sizes["haulout"], dives.sizes["start"], dives.sizes["dive"], ctd.sizes["profile"],
                 ctd.cast.values.tolist(), ctd.sizes["obs"], gps.sizes["snapshot"], acc.sizes["obs"],
                 sorted(set(acc.burst.values.tolist())),
                 [ds.sizes["event"] for ds in (dives, ctd, gps, acc)]))

        base = convert(skelv, folder, "failing.bin")
        dives, tdr = check_dives(base)
        byte = os.path.getsize(os.path.join(folder, "failing.bin")) - 5  # after the regime byte, time and interval
        failure = "Unknown TDR regime 4 at byte %d" % byte
        check_events(dives, tdr, "failing dives", failure)
        # Without -dives the table still goes into the NetCDF file, and no text table is written. At
        # 2 m the regime 2 samples of 1.0, 3.0, 5.0, 4.2, 2.6, 1.0 m, a second apart, make one whole
        # dive of 3 s to 5.0 m; its bottom (4.0 m and deeper) lasts 1 s, from 5.0 to 4.2 m; descent
        # from 3.0 to 5.0 m in 1 s, ascent from 4.2 to 2.6 m in 1 s.
        check(not os.path.exists(base + "_dives.txt"), "failing.bin: no _dives.txt without -dives")
        # Datasets only for the record kinds the image holds: no CTD cast, no accelerometer burst.
        check([os.path.exists("%s_%s.nc" % (base, k)) for k in ("dives", "gps", "ctd", "accel")] == [True, True, False, False],
              "failing.bin datasets")
        row = [dives[name].values.tolist() for name in ("dive_duration", "dive_max_depth", "dive_bottom_time",
                                                        "dive_descent_rate", "dive_ascent_rate", "dive_cut")]
        check(np.allclose(row[:5], [[3.0], [5.0], [1.0], [2.0], [1.6]]) and row[5] == [0], "failing.bin dive %r" % row)
        check(np.isnan(dives.dive_surface_interval.values).all() and np.isnan(dives.dive_bottom_temperature.values).all(),
              "failing.bin dive: no surface interval, no temperature")
        check(dives.attrs["run_result"] == "failed: " + failure, "failing run_result %r" % dives.attrs["run_result"])
        print("failing.bin: events %r, run_result %r" % (list(zip(dives.event_kind.values.tolist(),
                                                                   dives.event_text.values.tolist())),
                                                         dives.attrs["run_result"]))


def ncdump(skelv, make_image):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([make_image, folder], check=True)
        base = convert(skelv, folder, "mixed.bin")
        expected = {
            "ctd": [':Conventions = "CF-1.10"', ':featureType = "profile"', 'cast:cf_role = "profile_id"',
                    'row_size:sample_dimension = "obs"', 'time:units = "seconds since 1970-01-01 00:00:00 UTC"',
                    'temperature:standard_name = "sea_water_temperature"', 'salinity:units = "1"',
                    'pressure:positive = "down"', 'ppfd:_FillValue = 9.96921e+36f',
                    'oxygen:units = "umol L-1"', ':history = ', ':date_created = ', ':calibration_at_start = ',
                    ':calibration_changes = "@', ':input_file = "mixed.bin"', ':input_file_size = '],
            "dives": [':featureType = "timeSeries"', 'deployment:cf_role = "timeseries_id"',
                      'depth:scale_factor = 0.001', 'temperature:add_offset = -273.15', 'depth:standard_name = "depth"',
                      'ushort temperature(obs)', 'temperature:_FillValue = 65535US', 'haulout = UNLIMITED',
                      'start_kind:flag_meanings = "dive_start dry_start"', 'dive = UNLIMITED',
                      'int dive_number(dive)', 'double dive_start(dive)', 'dive_start:calendar = "standard"',
                      'double dive_duration(dive)', 'dive_duration:units = "s"', 'dive_max_depth:scale_factor = 0.001',
                      'dive_max_depth:positive = "down"', 'dive_bottom_time:_FillValue = 9.96920996838687e+36',
                      'dive_descent_rate:units = "m s-1"', 'dive_ascent_rate:_FillValue = 9.96920996838687e+36',
                      'dive_bottom_temperature:scale_factor = 0.01', 'dive_surface_interval:_FillValue',
                      'dive_cut:flag_meanings = "whole cut"'],
            "accel": [':featureType = "timeSeries"', 'x:units = "standard_free_fall"', 'burst:long_name'],
            "gps": [':featureType = "timeSeries"', 'entry_count:sample_dimension = "entry"', 'time:_FillValue'],
        }
        for name, wanted in expected.items():
            header = subprocess.run(["ncdump", "-h", "%s_%s.nc" % (base, name)], capture_output=True, text=True).stdout
            for text in wanted:
                check(text in header, "%s: ncdump -h lacks %s" % (name, text))
            # Every variable has a long_name and, but for strings, units.
            variables = [l.strip() for l in header.splitlines() if l.startswith("\t") and l.rstrip().endswith(") ;")
                         or l.startswith("\tstring ")]
            for decl in variables:
                var = decl.split()[1].split("(")[0].rstrip(";").strip()
                check("%s:long_name" % var in header, "%s: %s has no long_name" % (name, var))
                if not decl.startswith("string"):
                    check("%s:units" % var in header, "%s: %s has no units" % (name, var))
        print("ncdump -h: CF attributes present in the four files")


if __name__ == "__main__":
    args = sys.argv[1:]
    (ncdump if args[0] == "--ncdump" else readback)(*[os.path.abspath(a) for a in args[-2:]])
    for f in FAILURES:
        print("FAIL:", f)
    sys.exit(1 if FAILURES else 0)

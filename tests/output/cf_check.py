#!/usr/bin/python3
"""The CF-1.10 rules the NetCDF datasets rely on, one check each, over every group of a file.

    cf_check.py FILE...                 checks the files; prints each failure and a count
    cf_check.py --self-test SKELV IMAGE breaks each rule in a copy of IMAGE's files: every check
                                        must fail on its own broken file and pass on the others

Units are parsed and compared by udunits2 (Debian udunits-bin); the standard names used are
checked against their canonical units from the CF standard name table.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import netCDF4
import numpy as np

# The standard names the datasets use, with their canonical units in the CF standard name table.
STANDARD_NAMES = {
    "time": "s",
    "depth": "m",
    "sea_water_pressure": "dbar",
    "sea_water_pressure_due_to_sea_water": "dbar",
    "sea_water_temperature": "K",
    "sea_water_electrical_conductivity": "S m-1",
    "sea_water_practical_salinity": "1",
    "mole_concentration_of_dissolved_molecular_oxygen_in_sea_water": "mol m-3",
    "downwelling_photosynthetic_photon_flux_in_sea_water": "mol m-2 s-1",
}
FEATURE_TYPES = {"point", "timeSeries", "trajectory", "profile", "timeSeriesProfile", "trajectoryProfile"}
NAME = re.compile(r"^[A-Za-z][A-Za-z0-9_]*$")
UNITS_CACHE = {}


def udunits(have, want=None):
    """None when `have` parses (and converts to `want`, when given), else udunits2's complaint."""
    key = (have, want)
    if key not in UNITS_CACHE:
        r = subprocess.run(["udunits2", "-H", have, "-W", want or have], capture_output=True, text=True,
                           stdin=subprocess.DEVNULL)
        UNITS_CACHE[key] = None if not r.stderr and " = " in r.stdout else (r.stderr.strip() or "no conversion")
    return UNITS_CACHE[key]


def is_vertical(v, coords):
    """4.3: a coordinate with axis Z, positive, a vertical standard name or units of pressure."""
    return v.name in coords and v.dtype != str and (
        attr(v, "axis") == "Z" or attr(v, "positive") is not None or attr(v, "standard_name") in ("depth", "height")
        or (" since " not in (attr(v, "units") or "") and udunits(attr(v, "units") or "", "Pa") is None))


def variables(ds):
    """(path, variable) of every group, depth first."""
    for v in ds.variables.values():
        yield (ds.path.rstrip("/") + "/" + v.name), v
    for g in ds.groups.values():
        yield from variables(g)


def groups(ds):
    yield ds
    for g in ds.groups.values():
        yield from groups(g)


def attr(v, name):
    return v.__dict__.get(name)


def in_scope(v, name):
    """The variable `name` as seen from `v`'s group: its own, then its ancestors' (CF 2.7)."""
    g = v.group()
    while g is not None:
        if name in g.variables:
            return g.variables[name]
        g = g.parent
    return None


def coordinate_names(ds):
    """The names of the (auxiliary) coordinates: true coordinate variables and what `coordinates` names."""
    named = set()
    for _, v in variables(ds):
        named.update((attr(v, "coordinates") or "").split())
        if v.dimensions == (v.name,):
            named.add(v.name)
    return named


def is_packed(v):
    return attr(v, "scale_factor") is not None or attr(v, "add_offset") is not None


# The rules: each yields the problems it finds in an open dataset.

def rule_conventions(ds):
    """2.6.1: the global Conventions attribute names CF-1.10."""
    if "CF-1.10" not in str(attr(ds, "Conventions") or "").split():
        yield "Conventions is %r" % attr(ds, "Conventions")


def rule_feature_type(ds):
    """9.4: a featureType, when given, is one of the six; its file has a cf_role variable."""
    ft = attr(ds, "featureType")
    if ft is None:
        return
    if ft not in FEATURE_TYPES:
        yield "featureType %r" % ft
    if not any(attr(v, "cf_role") for _, v in variables(ds)):
        yield "featureType %s without a cf_role variable" % ft


def rule_names(ds):
    """2.3: names of variables, dimensions, groups and attributes start with a letter, then letters, digits, _."""
    for g in groups(ds):
        for n in list(g.dimensions) + list(g.groups) + list(g.ncattrs()):
            if not NAME.match(n):
                yield "%s: name %r" % (g.path, n)
    for path, v in variables(ds):
        for n in [v.name] + v.ncattrs():
            if not NAME.match(n) and n not in ("_FillValue",):
                yield "%s: name %r" % (path, n)


def rule_units(ds):
    """3.1: every numeric variable but a flag variable has units that udunits parses."""
    for path, v in variables(ds):
        if v.dtype == str or attr(v, "flag_values") is not None or attr(v, "flag_masks") is not None:
            continue
        u = attr(v, "units")
        if u is None:
            yield "%s has no units" % path
        elif " since " not in u and udunits(u) is not None:
            yield "%s: units %r do not parse" % (path, u)


def rule_standard_name(ds):
    """3.3: a standard_name is from the table, and the units convert to its canonical units."""
    for path, v in variables(ds):
        sn = attr(v, "standard_name")
        if sn is None:
            continue
        if sn not in STANDARD_NAMES:
            yield "%s: standard_name %r" % (path, sn)
            continue
        u = attr(v, "units") or ""
        if sn == "time":
            if not re.match(r"^\w+ since \d{4}-\d\d-\d\d", u):
                yield "%s: time units %r" % (path, u)
        elif udunits(u, STANDARD_NAMES[sn]) is not None:
            yield "%s: units %r are not those of %s (%s)" % (path, u, sn, STANDARD_NAMES[sn])


def rule_time(ds):
    """4.4: a time coordinate has units "UNIT since DATE" and a known calendar."""
    for path, v in variables(ds):
        if attr(v, "standard_name") != "time":
            continue
        u = attr(v, "units") or ""
        if not re.match(r"^(seconds|s|days|hours|minutes) since \d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)?( UTC)?$", u):
            yield "%s: time units %r" % (path, u)
        if attr(v, "calendar") not in ("standard", "gregorian", "proleptic_gregorian"):
            yield "%s: calendar %r" % (path, attr(v, "calendar"))


def rule_fill_type(ds):
    """2.5.1: _FillValue and missing_value have the variable's type."""
    for path, v in variables(ds):
        for a in ("_FillValue", "missing_value"):
            f = attr(v, a)
            if f is not None and np.asarray(f).dtype != v.dtype:
                yield "%s: %s of type %s, variable %s" % (path, a, np.asarray(f).dtype, v.dtype)


def rule_packing(ds):
    """8.1: packed data is byte, short or int, with float or double scale_factor and add_offset of one type."""
    for path, v in variables(ds):
        if is_packed(v):
            yield from rule_packing_of(path, v)


def rule_packing_of(path, v):
    if v.dtype not in (np.int8, np.int16, np.int32):
        yield "%s: packed in %s" % (path, v.dtype)
    kinds = {np.asarray(attr(v, a)).dtype for a in ("scale_factor", "add_offset") if attr(v, a) is not None}
    if len(kinds) != 1 or not kinds <= {np.dtype(np.float32), np.dtype(np.float64)}:
        yield "%s: scale_factor and add_offset of types %s" % (path, sorted(str(k) for k in kinds))


def rule_exact_unpacking(ds):
    """8.1 (advice): an int is unpacked to double, with no add_offset: a reader then adds no error."""
    for path, v in variables(ds):
        if not is_packed(v) or list(rule_packing_of(path, v)):
            continue
        if np.asarray(attr(v, "scale_factor")).dtype != np.float64:
            yield "%s: scale_factor is not double" % path
        if attr(v, "add_offset") is not None:
            yield "%s: add_offset (the sum rounds)" % path
        if v.dtype != np.int32:
            yield "%s: packed in %s, which readers unpack to float" % (path, v.dtype)


def rule_coordinates(ds):
    """5: every name in `coordinates` is a variable in scope whose dimensions are among the variable's."""
    for path, v in variables(ds):
        for name in (attr(v, "coordinates") or "").split():
            c = in_scope(v, name)
            if c is None:
                yield "%s: coordinate %s does not exist" % (path, name)
            elif not set(c.dimensions) <= set(v.dimensions):
                yield "%s: coordinate %s spans %s" % (path, name, c.dimensions)


def rule_named_time(ds):
    """Data variables name their time: where a time variable shares the dimension, `coordinates` names it."""
    coords = coordinate_names(ds)
    for path, v in variables(ds):
        if v.name in coords or v.dtype == str or len(v.dimensions) != 1:
            continue
        times = [c.name for c in v.group().variables.values()
                 if attr(c, "standard_name") == "time" and c.dimensions == v.dimensions and c.name in coords]
        if times and not set(times) & set((attr(v, "coordinates") or "").split()):
            yield "%s names none of its time coordinates %s" % (path, times)


def rule_named_vertical(ds):
    """4.3, 5: a vertical coordinate on a data variable's dimension is named in its `coordinates`."""
    coords = coordinate_names(ds)
    for path, v in variables(ds):
        if v.name in coords or v.dtype == str:
            continue
        for c in v.group().variables.values():
            if is_vertical(c, coords) and c.dimensions == v.dimensions and c.name not in (attr(v, "coordinates") or "").split():
                yield "%s does not name the vertical coordinate %s" % (path, c.name)


def rule_axis(ds):
    """4: axis is X, Y, Z or T and stands only on coordinate variables."""
    coords = coordinate_names(ds)
    for path, v in variables(ds):
        a = attr(v, "axis")
        if a is None:
            continue
        if a not in ("X", "Y", "Z", "T"):
            yield "%s: axis %r" % (path, a)
        if v.name not in coords:
            yield "%s: axis on a variable that is no coordinate" % path


def rule_vertical_positive(ds):
    """4.3: a vertical coordinate not in units of pressure has positive up or down; positive only on coordinates."""
    coords = coordinate_names(ds)
    for path, v in variables(ds):
        p = attr(v, "positive")
        if p is not None and (str(p).lower() not in ("up", "down") or v.name not in coords):
            yield "%s: positive %r on %s" % (path, p, "a coordinate" if v.name in coords else "no coordinate")
        if is_vertical(v, coords) and p is None and udunits(attr(v, "units") or "", "Pa") is not None:
            yield "%s: vertical coordinate without positive" % path


def rule_coordinate_values(ds):
    """5, 2.5.1: a true coordinate variable has no missing values and is strictly monotonic."""
    for path, v in variables(ds):
        if v.dimensions != (v.name,) or v.dtype == str:
            continue
        values = np.ma.filled(v[:].astype(float), np.nan)
        if attr(v, "_FillValue") is not None or np.isnan(values).any():
            yield "%s: coordinate variable with missing values" % path
        d = np.diff(values)
        if len(d) and not ((d > 0).all() or (d < 0).all()):
            yield "%s: coordinate variable not monotonic" % path


def rule_flags(ds):
    """3.5: flag_values and flag_masks have the variable's type and as many entries as flag_meanings has words."""
    for path, v in variables(ds):
        meanings = attr(v, "flag_meanings")
        for a in ("flag_values", "flag_masks"):
            values = attr(v, a)
            if values is None:
                continue
            values = np.atleast_1d(values)
            if values.dtype != v.dtype:
                yield "%s: %s of type %s" % (path, a, values.dtype)
            if meanings is None or len(meanings.split()) != len(values):
                yield "%s: %d %s for meanings %r" % (path, len(values), a, meanings)
            if len(set(values.tolist())) != len(values):
                yield "%s: %s repeat" % (path, a)
        if meanings is not None and not all(NAME.match(w) or re.match(r"^[A-Za-z0-9_.+\-@]+$", w) for w in meanings.split()):
            yield "%s: flag_meanings %r" % (path, meanings)


def rule_feature_ids(ds):
    """9.5: the values of a cf_role variable (the feature ids) are unique."""
    for path, v in variables(ds):
        if attr(v, "cf_role") is None:
            continue
        values = np.atleast_1d(v[:]).tolist()
        if len(set(map(str, values))) != len(values):
            yield "%s: feature ids repeat" % path


def rule_long_name(ds):
    """3.2 (kept by every variable here): a long_name, or a standard_name."""
    for path, v in variables(ds):
        if attr(v, "long_name") is None and attr(v, "standard_name") is None:
            yield "%s has neither long_name nor standard_name" % path


def rule_plain_attribute_types(ds):
    """Numeric attributes are no 64-bit integers, which R and other readers can't hold exactly."""
    for g in groups(ds):
        for n in g.ncattrs():
            if np.asarray(g.getncattr(n)).dtype in (np.int64, np.uint64):
                yield "%s: attribute %s is a 64-bit integer" % (g.path, n)
    for path, v in variables(ds):
        for n in v.ncattrs():
            if np.asarray(v.getncattr(n)).dtype in (np.int64, np.uint64):
                yield "%s: attribute %s is a 64-bit integer" % (path, n)


RULES = [rule_conventions, rule_feature_type, rule_names, rule_units, rule_standard_name, rule_time, rule_fill_type,
         rule_packing, rule_exact_unpacking, rule_coordinates, rule_named_time, rule_named_vertical, rule_axis,
         rule_vertical_positive, rule_coordinate_values, rule_flags, rule_feature_ids, rule_long_name,
         rule_plain_attribute_types]


def check_file(path):
    """{rule name: [problems]} of one file."""
    with netCDF4.Dataset(path) as ds:
        ds.set_auto_mask(True)
        return {r.__name__: list(r(ds)) for r in RULES}


def report(paths):
    failures = 0
    for path in paths:
        found = check_file(path)
        bad = sum(len(p) for p in found.values())
        failures += bad
        print("%s: %d rules, %d failures" % (os.path.basename(path), len(RULES), bad))
        for rule, problems in found.items():
            for p in problems:
                print("  %s: %s" % (rule, p))
    return failures


# Each rule broken in a copy of a good file: (rule, file kind, what to do to the open dataset).
def _var(ds, path):
    g = ds
    *parents, name = path.strip("/").split("/")
    for p in parents:
        g = g.groups[p]
    return g, name


BREAKS = [
    ("rule_conventions", "dives", lambda ds: ds.setncattr("Conventions", "CF-1.6")),
    ("rule_feature_type", "dives", lambda ds: ds.setncattr("featureType", "timeSeries")),
    ("rule_names", "dives", lambda ds: ds.setncattr("2nd", "x")),
    ("rule_units", "accel", lambda ds: ds["x"].setncattr("units", "no_such_unit")),
    ("rule_standard_name", "ctd", lambda ds: ds["temperature"].setncattr("units", "dbar")),
    ("rule_time", "accel", lambda ds: ds["time"].setncattr("calendar", "martian")),
    ("rule_fill_type", "dives", lambda ds: ds["temperature"].setncattr("missing_value", np.float32(-1))),
    ("rule_packing", "new", lambda ds: _packed(ds, "f4", 0.5)),
    ("rule_exact_unpacking", "new", lambda ds: _packed(ds, "i2", 0.05)),
    ("rule_coordinates", "gps", lambda ds: ds["entry_count"].setncattr("coordinates", "time nowhere")),
    ("rule_named_time", "accel", lambda ds: ds["burst"].delncattr("coordinates")),
    ("rule_named_vertical", "ctd", lambda ds: ds["salinity"].setncattr("coordinates", "time")),
    ("rule_axis", "dives", lambda ds: ds["depth"].setncattr("axis", "Z")),
    ("rule_vertical_positive", "ctd", lambda ds: ds["pressure"].setncatts({"units": "m", "standard_name": "depth"})),
    ("rule_coordinate_values", "new", lambda ds: _coordinate_variable(ds)),
    ("rule_flags", "dives", lambda ds: ds.groups["dives"]["dive_end_cut"].setncattr("flag_meanings", "whole")),
    ("rule_feature_ids", "ctd", lambda ds: _repeated_ids(ds)),
    ("rule_long_name", "accel", lambda ds: ds["y"].delncattr("long_name")),
    ("rule_plain_attribute_types", "dives", lambda ds: ds.setncattr("tag_version", np.int64(170))),
]


def _packed(ds, dtype, scale):
    v = ds.createVariable("packed_value", dtype, ("obs",))
    v.setncatts({"units": "1", "long_name": "packed", "coordinates": "time", "scale_factor": scale})


def _coordinate_variable(ds):
    v = ds.createVariable("obs", "f8", ("obs",))
    v.setncatts({"units": "1", "long_name": "sample number"})
    v[:] = np.zeros(ds.dimensions["obs"].size)


def _repeated_ids(ds):
    ds.groups["casts"]["cast_number"].setncattr("cf_role", "profile_id")
    ds.groups["casts"]["cast_number"][1] = 1


def self_test(skelv, image):
    """Every rule holds on the good files and fails on the file that breaks it, and only that rule."""
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(image, os.path.join(folder, "t.bin"))
        subprocess.run([skelv, "t.bin", "-netcdf"], cwd=folder, capture_output=True, check=False)
        good = {k: os.path.join(folder, "t_%s.nc" % k) for k in ("dives", "ctd", "accel", "gps")}
        for kind, path in good.items():
            bad = [p for ps in check_file(path).values() for p in ps]
            if bad:
                problems.append("good %s file fails: %s" % (kind, bad))
        covered = set()
        for rule, kind, act in BREAKS:
            broken = os.path.join(folder, "broken.nc")
            shutil.copy(good["dives" if kind == "new" else kind], broken)
            with netCDF4.Dataset(broken, "a") as ds:
                act(ds)
            found = {r: p for r, p in check_file(broken).items() if p}
            if list(found) != [rule]:
                problems.append("%s: breaking it made %r fail" % (rule, found))
            covered.add(rule)
        missing = {r.__name__ for r in RULES} - covered
        if missing:
            problems.append("rules never broken: %s" % sorted(missing))
    for p in problems:
        print("FAIL:", p)
    print("%d rules, each failing on its own broken file: %s" % (len(RULES), "no" if problems else "yes"))
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1] == "--self-test":
        sys.exit(self_test(os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])))
    sys.exit(1 if report(sys.argv[1:]) else 0)

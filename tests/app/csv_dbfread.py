#!/usr/bin/python3
"""zorvik --csv checked against an independent reader: every fixture table below is written to
CSV by zorvik, read back with Python's csv module, and compared cell by cell with what dbfread
decodes from the same table (deleted records left out by both). Then the command's exit
statuses: a missing table, a usage error, a table whose memo file is missing.

    csv_dbfread.py ZORVIK FIXTURES
"""
import csv
import datetime
import decimal
import os
import subprocess
import sys
import tempfile

import dbfread

ZORVIK, FIXTURES = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])

# Table and the code page to tell dbfread where its language driver table has no entry.
# Left out: dbase_8b.dbf, whose dBASE IV memo blocks dbfread reads past the length they state
# ("Fifth memoo\n" for a block of 10 bytes), and dbase_f5.dbf, whose text carries no code page
# mark (which one to read it in is a guess, not a decoding to compare).
TABLES = [
    ("dbase/db3_plain.dbf", None),
    ("dbase/db3_memo.dbf", None),
    ("dbase/cp866.dbf", None),
    ("dbase/cp1251.dbf", None),
    ("dbase/deleted.dbf", None),
    ("dbase/fox26_memo.dbf", None),
    ("dbase/vfp_types.dbf", None),
    ("real/dbase/dbase_03.dbf", None),
    ("real/dbase/dbase_30.dbf", None),
    ("real/dbase/cp1251.dbf", "cp1251"),
]

failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def expected(value):
    """dbfread's value in the neutral form, or a float to compare as a number."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, (float, decimal.Decimal)):
        return float(value)
    if isinstance(value, datetime.datetime):
        return value
    if isinstance(value, datetime.date):
        return value.isoformat()
    if isinstance(value, bytes):
        return value.hex()
    return value


def same(ours, theirs):
    """Numbers within rounding; Visual FoxPro date-times within a second (they are stored with
    millisecond noise, 61984999 for 17:13:05: zorvik rounds it, dbfread cuts it)."""
    if isinstance(theirs, datetime.datetime):
        try:
            return abs((datetime.datetime.fromisoformat(ours) - theirs).total_seconds()) <= 1
        except ValueError:
            return False
    if isinstance(theirs, float):
        try:
            return abs(float(ours) - theirs) <= 1e-9 * max(1.0, abs(theirs))
        except ValueError:
            return False
    return ours == theirs


def run(*arguments):
    return subprocess.run([ZORVIK, *arguments], capture_output=True, text=True, timeout=120)


with tempfile.TemporaryDirectory() as scratch:
    out = os.path.join(scratch, "out.csv")
    compared = 0
    for name, encoding in TABLES:
        path = os.path.join(FIXTURES, name)
        done = run("--csv", out, path)
        if done.returncode != 0:
            fail(f"{name}: exit status {done.returncode}: {done.stderr.strip()}")
            continue
        with open(out, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
        # Records as lists of (name, value): a table may name two fields alike.
        table = dbfread.DBF(path, load=True, encoding=encoding, recfactory=list)
        system = [i for i, n in enumerate(table.field_names) if n.upper() == "_NULLFLAGS"]
        names = [n for i, n in enumerate(table.field_names) if i not in system]
        if rows[0] != names:
            fail(f"{name}: header {rows[0]} != {names}")
            continue
        if len(rows) - 1 != len(table.records):
            fail(f"{name}: {len(rows) - 1} records != {len(table.records)}")
            continue
        for number, (ours, record) in enumerate(zip(rows[1:], table.records), 1):
            values = [v for i, (_, v) in enumerate(record) if i not in system]
            for field, cell, value in zip(names, ours, values):
                theirs = expected(value)
                compared += 1
                if not same(cell, theirs):
                    fail(f"{name}: record {number}, {field}: {cell!r} != {theirs!r}")
    print(f"{compared} cells of {len(TABLES)} tables compared")

    # Exit statuses, and an older file kept when the table cannot be read.
    with open(out, "w") as f:
        f.write("old")
    done = run("--csv", out, os.path.join(scratch, "nothing.dbf"))
    if done.returncode != 1 or "nothing.dbf" not in done.stderr or open(out).read() != "old":
        fail(f"missing table: status {done.returncode}, {done.stderr!r}")
    done = run("--csv", out)
    if done.returncode != 2 or "--csv" not in done.stderr:
        fail(f"no table: status {done.returncode}, {done.stderr!r}")
    done = run("--csv", out, os.path.join(FIXTURES, "real/dbase/dbase_83_missing_memo.dbf"))
    if done.returncode != 3 or "нет файла примечаний" not in done.stderr:
        fail(f"missing memo file: status {done.returncode}, {done.stderr!r}")
    # Neither a display nor the catalogue: run in an empty folder without DISPLAY.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    done = subprocess.run([ZORVIK, "--csv", "here.csv", os.path.join(FIXTURES, "dbase/cp866.dbf")],
                          cwd=scratch, env=env, capture_output=True, text=True, timeout=60)
    if done.returncode != 0 or not os.path.exists(os.path.join(scratch, "here.csv")):
        fail(f"no display, no Data/: status {done.returncode}, {done.stderr!r}")

print(f"{0 if failures else 1} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)

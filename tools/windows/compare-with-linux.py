#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""kestrone-scan.exe (under wine) against the Linux kestrone-scan on the same
files: both write CSV and JSON Lines reports of the folders given, and every
record must agree field by field. Texts agree word for word, and each number
in them, and each CSV cell, to one unit of its last printed digit; the JSON
Lines numbers, which carry every bit of a double, to 1e-3 relative, the
precision of the figures the reports print (four digits, as in 106.9 dB).
Windows' C library computes cos, exp and log10 a few bits differently, and a
level measured 100 dB and more down a spectrum's floor shows it; verdicts,
conclusions and every other text must not move at all, with one exception:
the Opus grid search at 44.1 kHz reads its segments through libsoxr's
single-precision engine, whose output differs in its last float bits between
the Linux and the Windows builds of the library, so the near-zero counts of
that search (its evidence line and opus_* numbers) move; the verdicts, which
are compared, may not. The path is the one other difference allowed: Z:\\dir\\file
on Windows, /dir/file on Linux.

usage: compare-with-linux.py LINUX_SCAN WINDOWS_SCAN_EXE FOLDER...
"""
import csv
import json
import os
import re
import subprocess
import sys
import tempfile


def linux_path(value):
    """Z:\\a\\b (wine's drive for /) as /a/b."""
    if len(value) > 2 and value[0] in "Zz" and value[1] == ":":
        return value[2:].replace("\\", "/")
    return value


NUMBER = re.compile(r"-?\d+(?:\.\d+)?")
largest = {"relative": 0.0, "printed": 0.0}


def same_printed(linux, windows):
    """Equal text, with each number allowed one unit of its last printed digit."""
    if linux == windows:
        return True
    a_parts, b_parts = NUMBER.split(linux), NUMBER.split(windows)
    a_numbers, b_numbers = NUMBER.findall(linux), NUMBER.findall(windows)
    if a_parts != b_parts or len(a_numbers) != len(b_numbers):
        return False
    for a, b in zip(a_numbers, b_numbers):
        decimals = len(a.split(".")[1]) if "." in a else 0
        if decimals != (len(b.split(".")[1]) if "." in b else 0):
            return False
        unit = 10.0 ** -decimals
        steps = abs(float(a) - float(b)) / unit
        if steps > 1 + 1e-9:
            return False
        largest["printed"] = max(largest["printed"], steps)
    return True


OPUS_LINE = re.compile(r"Opus frame grid: [^\r\n]*(\r\n)?")


def differences(where, linux, windows):
    """Leaf by leaf: texts and integers equal, floating-point numbers close."""
    if isinstance(linux, dict) and isinstance(windows, dict):
        for key in sorted(set(linux) | set(windows)):
            if key.startswith("opus_"):
                continue
            yield from differences(f"{where}.{key}", linux.get(key), windows.get(key))
    elif isinstance(linux, list) and isinstance(windows, list) and len(linux) == len(windows):
        for i, (a, b) in enumerate(zip(linux, windows)):
            yield from differences(f"{where}[{i}]", a, b)
    elif isinstance(linux, float) or isinstance(windows, float):
        if not (isinstance(linux, (int, float)) and isinstance(windows, (int, float))):
            yield f"{where} is {linux!r} on Linux, {windows!r} on Windows"
            return
        relative = abs(linux - windows) / max(abs(linux), abs(windows), 1e-300)
        largest["relative"] = max(largest["relative"], relative)
        if relative > 1e-3:
            yield f"{where} is {linux!r} on Linux, {windows!r} on Windows"
    elif isinstance(linux, str) and isinstance(windows, str):
        if not same_printed(OPUS_LINE.sub("", linux), OPUS_LINE.sub("", windows)):
            yield f"{where} is {linux!r} on Linux, {windows!r} on Windows"
    elif linux != windows:
        yield f"{where} is {linux!r} on Linux, {windows!r} on Windows"


def via_link(path):
    """Whether any folder or file on the way to path is a symbolic link."""
    while path not in ("/", ""):
        if os.path.islink(path):
            return True
        path = os.path.dirname(path)
    return False


def run(command, env=None):
    done = subprocess.run(command, env=env, capture_output=True, text=True)
    # 1 says that some file failed, which test audio is meant to contain.
    if done.returncode not in (0, 1):
        sys.exit(f"{command[0]} ended with {done.returncode}: {done.stderr}")
    return done.returncode


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    return rows[0], rows[1:]


def read_jsonl(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    linux_scan, windows_scan, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
    folders = [os.path.abspath(f) for f in folders]
    env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    with tempfile.TemporaryDirectory() as tmp:
        out = {name: os.path.join(tmp, name) for name in ("l.csv", "l.jsonl", "w.csv", "w.jsonl")}
        codes = (
            run([linux_scan, "--csv", out["l.csv"], "--jsonl", out["l.jsonl"], *folders], env),
            run(["wine", windows_scan, "--csv", "Z:" + out["w.csv"], "--jsonl", "Z:" + out["w.jsonl"],
                 *("Z:" + f for f in folders)], env),
        )
        problems = []
        if codes[0] != codes[1]:
            problems.append(f"exit codes differ: Linux {codes[0]}, Windows {codes[1]}")

        linux_header, linux_rows = read_csv(out["l.csv"])
        windows_header, windows_rows = read_csv(out["w.csv"])
        if linux_header != windows_header:
            problems.append(f"CSV headers differ: {linux_header} / {windows_header}")
        column = linux_header.index("File") if "File" in linux_header else 0
        linux_csv = {row[column]: row for row in linux_rows}
        windows_csv = {linux_path(row[column]): row for row in windows_rows}
        # A Linux name that is not UTF-8 has no Windows form (wine shows its
        # stray bytes otherwise); such files are left out on both sides.
        linux_jsonl = read_jsonl(out["l.jsonl"])
        not_utf8 = {record["File"] for record in linux_jsonl if "PathBase64" in record}
        # (The CSV shows such a name's stray bytes as \xNN after a U+FFFD.)
        for name in [name for name in linux_csv if "\ufffd" in name and name not in windows_csv]:
            linux_csv.pop(name)
        for name in [name for name in windows_csv if name not in linux_csv and "\ufffd" in name]:
            windows_csv.pop(name)
        problems.extend(f"only on Linux: {name}" for name in sorted(set(linux_csv) - set(windows_csv)))
        # Wine shows a Linux symbolic link as the file or folder it names, so
        # the Windows walk follows links that Windows' own would not.
        through_link = sorted(name for name in set(windows_csv) - set(linux_csv) if via_link(name))
        for name in through_link:
            windows_csv.pop(name)
        problems.extend(f"only on Windows: {name}" for name in sorted(set(windows_csv) - set(linux_csv)))
        for name in sorted(set(linux_csv) & set(windows_csv)):
            for header, a, b in zip(linux_header, linux_csv[name], windows_csv[name]):
                if header != "File" and not same_printed(a, b):
                    problems.append(f"CSV {name}: {header} is {a!r} on Linux, {b!r} on Windows")

        linux_records = {record["File"]: record for record in linux_jsonl if record["File"] not in not_utf8}
        windows_records = {linux_path(record["File"]): record for record in read_jsonl(out["w.jsonl"])}
        for name in sorted(set(linux_records) & set(windows_records)):
            linux, windows = linux_records[name], windows_records[name]
            # The run's own numbering follows the walk, which the rows above compare.
            for key in ("File", "index", "ShardFiles"):
                linux.pop(key, None)
                windows.pop(key, None)
            problems.extend(f"JSON Lines {name}: {difference}" for difference in differences("record", linux, windows))

    for problem in problems:
        print(problem)
    print(f"{len(linux_csv)} files compared ({len(not_utf8)} named in bytes that are not UTF-8 left out, "
          f"{len(through_link)} more reached through links on Windows only), "
          f"{len(problems)} differences; largest relative difference of a "
          f"JSON Lines number {largest['relative']:.1e}, of a printed figure {largest['printed']:.0f} unit(s) "
          f"of its last digit")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints a Kestrone JSON report (from `kestrone --analyze-test`) readably:
per file its path, its facts and the three checks with verdict, summary and
evidence, laid out like the window's details text.

    usage: print-report.py REPORT.json
"""
import json
import signal
import sys

CHECKS = (("Upscaling", "UPSCALING"), ("Upsampling", "UPSAMPLING"), ("Aac", "AAC-SIN \u00b7 EXPERIMENTAL"))
SEPARATOR = "  \u00b7  "


def lines(text):
    return text.replace("\r\n", "\n").split("\n")


def render(record):
    out = [record["File"]]
    if record["Error"] is not None:
        out += ["Analysis could not complete", ""] + lines(record["Error"])
        return out
    bits = f'{record["StoredBits"]} bit' if record["StoredBits"] != 0 else "unknown precision"
    facts = [record["Codec"], f'{record["SampleRate"] / 1000.0:.3f} kHz', bits, f'{record["Channels"]} ch']
    out.append(SEPARATOR.join(facts))
    out.append(f'Analyzed {record["AnalyzedSeconds"]:.2f} s of {record["Duration"]:.2f} s')
    for key, title in CHECKS:
        check = record[key]
        out += ["", f'{title} / {check["Status"]}', check["Summary"]]
        if check["Evidence"]:
            out += ["    " + line for line in lines(check["Evidence"])]
    return out


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 64
    with open(argv[1], encoding="utf-8") as source:
        report = json.load(source)
    blocks = ["\n".join(render(record)) for record in report["reports"]]
    print(("\n" + "-" * 40 + "\n").join(blocks))
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quietly stop when piped into head
    sys.exit(main(sys.argv))

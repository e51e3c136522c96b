#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the Debian changelog and the AppStream metainfo from CHANGELOG, so the
release history is written once.

usage: make-release-files.py CHANGELOG METAINFO_TEMPLATE OUTDIR PACKAGE... \
           --version V --maintainer M --homepage URL
Writes OUTDIR/PACKAGE.changelog for every PACKAGE and OUTDIR/<metainfo name>.
"""
import argparse
import datetime
import email.utils
import html
import os
import re
import sys


def read_releases(path):
    releases = []
    item = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            heading = re.fullmatch(r"## (\S+) \((\d{4}-\d{2}-\d{2})\)", line)
            if heading:
                releases.append({"version": heading[1], "date": heading[2], "items": []})
                item = None
            elif line.startswith("- ") and releases:
                item = line[2:].strip()
                releases[-1]["items"].append(item)
            elif line.startswith("  ") and item is not None and line.strip():
                releases[-1]["items"][-1] += " " + line.strip()
            elif line.strip() and not line.startswith("#"):
                sys.exit(f"{path}:{number}: expected '## VERSION (DATE)' or a '- ' item")
            elif not line.strip():
                item = None
    if not releases or any(not r["items"] for r in releases):
        sys.exit(f"{path}: every release needs at least one item")
    return releases


def write(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(temporary, path)


def wrap(text, width, first, rest):
    lines, line = [], first
    for word in text.split():
        if len(line) + len(word) + 1 > width and line.strip() not in ("", first.strip()):
            lines.append(line.rstrip())
            line = rest
        line += word + " "
    lines.append(line.rstrip())
    return "\n".join(lines)


def debian_changelog(package, releases, maintainer):
    entries = []
    for release in releases:
        when = datetime.datetime.strptime(release["date"], "%Y-%m-%d").replace(tzinfo=datetime.timezone.utc)
        items = "\n".join(wrap(i, 78, "  * ", "    ") for i in release["items"])
        entries.append(f"{package} ({release['version']}) unstable; urgency=medium\n\n{items}\n\n"
                       f" -- {maintainer}  {email.utils.format_datetime(when)}\n")
    return "\n".join(entries)


def appstream_releases(releases):
    out = ["<releases>"]
    for release in releases:
        out.append(f'    <release version="{release["version"]}" date="{release["date"]}">')
        out.append("      <description>")
        out.append("        <ul>")
        out.extend(f"          <li>{html.escape(i, quote=False)}</li>" for i in release["items"])
        out.append("        </ul>")
        out.append("      </description>")
        out.append("    </release>")
    out.append("  </releases>")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("changelog")
    parser.add_argument("metainfo_template")
    parser.add_argument("outdir")
    parser.add_argument("packages", nargs="+")
    parser.add_argument("--version", required=True)
    parser.add_argument("--maintainer", required=True)
    parser.add_argument("--homepage", required=True)
    args = parser.parse_args()

    releases = read_releases(args.changelog)
    if releases[0]["version"] != args.version:
        sys.exit(f"{args.changelog}: the newest release is {releases[0]['version']}, "
                 f"the project version is {args.version}")
    for package in args.packages:
        write(os.path.join(args.outdir, package + ".changelog"),
              debian_changelog(package, releases, args.maintainer))
    with open(args.metainfo_template, encoding="utf-8") as f:
        template = f.read()
    metainfo = (template.replace("@RELEASES@", appstream_releases(releases))
                        .replace("@HOMEPAGE@", html.escape(args.homepage)))
    name = os.path.basename(args.metainfo_template)
    write(os.path.join(args.outdir, name[:-3] if name.endswith(".in") else name), metainfo)


if __name__ == "__main__":
    main()

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that ./test built into a fresh Debian 12 root
# made with debootstrap, with the dependencies resolved by apt from the archive
# this machine's apt configuration names; runs kestrone-scan on a generated
# FLAC and kestrone --math-test there; purges both packages and checks that no
# file of theirs is left. Needs root. Skips (exit 0, with a message) only when
# the package archive cannot be reached. Everything it writes stays in
# BUILD_DIR/install-test.
#   usage: packaging/install-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build}")
suite=bookworm
work="$build/install-test"
root="$work/root"
say() { echo "install-test: $*" >&2; }
die() { say "FAIL: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root for debootstrap and chroot"
shopt -s nullglob
scan_debs=("$build"/packaging/deb/kestrone-scan_*.deb)
desktop_debs=("$build"/packaging/deb/kestrone_*.deb)
shopt -u nullglob
[ ${#scan_debs[@]} -eq 1 ] && [ ${#desktop_debs[@]} -eq 1 ] ||
  die "no packages in $build/packaging/deb (./test builds them)"
for tool in debootstrap sox wget; do
  command -v "$tool" >/dev/null || die "$tool is missing (tools/install-deps.sh installs it)"
done

# The Debian 12 entries of this machine's apt sources, one-line and deb822
# files alike: "URI SUITE COMPONENT..." for the suite and its -updates and
# -security companions.
entries=$(python3 - "$suite" /etc/apt/sources.list /etc/apt/sources.list.d/* <<'PY'
import re, sys
suite, paths = sys.argv[1], sys.argv[2:]
wanted = re.compile(re.escape(suite) + r"(-updates|-security)?/?$")
found = []
def add(types, uris, suites, components):
    if "deb" not in types:
        return
    for uri in uris:
        if not re.match(r"https?://", uri):
            continue
        for s in suites:
            if wanted.fullmatch(s):
                found.append(f"{uri.rstrip('/')} {s.rstrip('/')} {' '.join(components) or 'main'}")
for path in paths:
    try:
        text = open(path, encoding="utf-8", errors="replace").read()
    except OSError:
        continue
    if path.endswith(".list") or path == "/etc/apt/sources.list":
        for line in text.splitlines():
            line = re.sub(r"\[[^]]*\]", " ", line.split("#", 1)[0]).split()
            if len(line) >= 3:
                add([line[0]], [line[1]], [line[2]], line[3:])
    elif path.endswith(".sources"):
        for stanza in re.split(r"\n\s*\n", text):
            fields, key = {}, None
            for line in stanza.splitlines():
                if line.startswith("#"):
                    continue
                if line[:1].isspace() and key:
                    fields[key] += " " + line.strip()
                elif ":" in line:
                    key, value = line.split(":", 1)
                    key = key.strip().lower()
                    fields[key] = value.strip()
            if fields.get("enabled", "yes").lower() == "no":
                continue
            add(fields.get("types", "").split(), fields.get("uris", "").split(),
                fields.get("suites", "").split(), fields.get("components", "").split())
for entry in dict.fromkeys(found):
    print(entry)
PY
)
mirror=$(awk -v s="$suite" '$2 == s { print $1; exit }' <<<"$entries")
if [ -z "$mirror" ]; then
  say "SKIPPED: this machine's apt sources name no http(s) archive for Debian 12 ($suite)"
  exit 0
fi

cleanup() {
  for mount in "$root/proc" "$root/sys" "$root/dev/pts"; do
    if mountpoint -q "$mount" 2>/dev/null; then umount -l "$mount" || true; fi
  done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cleanup
mkdir -p "$work"
rm -f "$work"/*.log

# debootstrap fetches with wget; the same fetch of the suite's index tells an
# unreachable archive from a broken install.
if ! wget -q -T 30 -t 2 -O "$work/InRelease" "$mirror/dists/$suite/InRelease"; then
  say "SKIPPED: debootstrap cannot reach the package archive ($mirror, from this machine's apt sources)"
  exit 0
fi

started=$SECONDS
include=()
grep -q '^https://' <<<"$entries" && include=(--include=ca-certificates)
say "debootstrap --variant=minbase $suite from $mirror"
timeout 900 debootstrap --variant=minbase "${include[@]}" "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log" >&2; die "debootstrap failed (log: $work/debootstrap.log)"; }
bootstrapped=$SECONDS

awk '{ printf "deb %s %s", $1, $2; for (i = 3; i <= NF; i++) printf " %s", $i; print "" }' <<<"$entries" \
  >"$root/etc/apt/sources.list"
apt-config dump | grep -E '^Acquire::https?::Proxy ' >"$root/etc/apt/apt.conf.d/80proxy" || rm -f "$root/etc/apt/apt.conf.d/80proxy"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc" 2>/dev/null || say "note: /proc not mounted in the root"
in_root() { timeout 600 chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
                  DEBIAN_FRONTEND=noninteractive HOME=/root "$@"; }

mkdir -p "$root/tmp/kestrone"
cp "${scan_debs[0]}" "${desktop_debs[0]}" "$root/tmp/kestrone/"
scan_deb=/tmp/kestrone/$(basename "${scan_debs[0]}")
desktop_deb=/tmp/kestrone/$(basename "${desktop_debs[0]}")
say "apt-get install $(basename "$scan_deb") $(basename "$desktop_deb")"
{ in_root apt-get update && in_root apt-get install -y --no-install-recommends "$scan_deb" "$desktop_deb"; } \
  >"$work/apt-install.log" 2>&1 || { tail -30 "$work/apt-install.log" >&2; die "apt-get install failed"; }
installed=$SECONDS
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' kestrone kestrone-scan | tee "$work/installed.txt"
in_root dpkg -L kestrone kestrone-scan | sort -u >"$work/files.txt"

# A 16-bit noise stored as 24-bit FLAC: Upscaling must find the padding.
sox -R -n -r 44100 -c 2 -b 16 "$work/noise16.wav" synth 3 whitenoise gain -6
sox -R "$work/noise16.wav" -b 24 "$root/tmp/kestrone/padded-16in24.flac"
rm -f "$work/noise16.wav"
status=0
csv=$(in_root kestrone-scan --csv - --json /tmp/kestrone/report.json /tmp/kestrone/padded-16in24.flac) || status=$?
printf '%s\n' "$csv"
[ "$status" -eq 0 ] || die "kestrone-scan exited with $status"
row=$(tail -n 1 <<<"$csv")
[[ $row == /tmp/kestrone/padded-16in24.flac,FLAC,44100,24,2,*,Evidence\ found,* ]] ||
  die "kestrone-scan did not report the padding: $row"
grep -q '"Evidence found"' "$root/tmp/kestrone/report.json" || die "kestrone-scan wrote no JSON report"
status=0
in_root kestrone --math-test || status=$?
[ "$status" -eq 0 ] || die "kestrone --math-test exited with $status"
say "kestrone --math-test: 0"
in_root kestrone --version
in_root kestrone-scan --version

# Purge, then nothing the packages installed may be left but folders that
# other packages still use.
in_root apt-get purge -y kestrone kestrone-scan >"$work/apt-purge.log" 2>&1 ||
  { tail -20 "$work/apt-purge.log" >&2; die "apt-get purge failed"; }
if in_root dpkg-query -W -f='${Status}\n' kestrone kestrone-scan 2>/dev/null | grep -q 'installed'; then
  die "a package is still installed after the purge"
fi
left=()
while IFS= read -r path; do
  [ -e "$root$path" ] || [ -L "$root$path" ] || continue
  if [ -d "$root$path" ] && [ ! -L "$root$path" ] &&
     { [ -n "$(ls -A "$root$path")" ] || in_root dpkg-query -S "$path" >/dev/null 2>&1; }; then
    continue
  fi
  left+=("$path")
done <"$work/files.txt"
[ ${#left[@]} -eq 0 ] || die "left after the purge: ${left[*]}"

say "PASSED: $(grep -c . "$work/files.txt") paths installed and removed;" \
    "debootstrap $((bootstrapped - started)) s, apt install $((installed - bootstrapped)) s, total $((SECONDS - started)) s"

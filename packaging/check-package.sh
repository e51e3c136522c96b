#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages from a built tree with CPack and checks them: the
# files each package must hold, dependencies from the binaries (and none on Qt
# for kestrone-scan), lintian, desktop-file-validate, appstreamcli, the manual
# pages against --help, the bash completion, and that the audio extensions the
# help lists are the ones a folder walk picks up.
#   usage: check-package.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
section() { printf '\n== %s\n' "$*"; }

rm -rf "$out"
mkdir -p "$out"
if ! (cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1); then
  cat "$out/cpack.log" >&2
  exit 1
fi
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
desktop_deb="$out/kestrone_${version}_${arch}.deb"
scan_deb="$out/kestrone-scan_${version}_${arch}.deb"
for deb in "$scan_deb" "$desktop_deb"; do
  [ -f "$deb" ] || { echo "FAIL: cpack made no $deb" >&2; ls "$out" >&2; exit 1; }
done

# --- contents and metadata
declare -A expected=(
  [kestrone-scan]="usr/bin/kestrone-scan usr/share/man/man1/kestrone-scan.1.gz
    usr/share/bash-completion/completions/kestrone-scan usr/share/zsh/vendor-completions/_kestrone-scan
    usr/share/doc/kestrone-scan/copyright usr/share/doc/kestrone-scan/changelog.gz
    usr/share/doc/kestrone-scan/licenses.txt"
  [kestrone]="usr/bin/kestrone usr/share/man/man1/kestrone.1.gz usr/share/applications/kestrone.desktop
    usr/share/icons/hicolor/scalable/apps/kestrone.svg usr/share/metainfo/org.kestrone.Kestrone.metainfo.xml
    usr/share/doc/kestrone/copyright usr/share/doc/kestrone/changelog.gz usr/share/doc/kestrone/licenses.txt"
)
for size in 16 22 24 32 48 64 128 256 512; do
  expected[kestrone]+=" usr/share/icons/hicolor/${size}x${size}/apps/kestrone.png"
done
for deb in "$scan_deb" "$desktop_deb"; do
  package=$(dpkg-deb -f "$deb" Package)
  section "$package: dpkg-deb --info"
  dpkg-deb --info "$deb"
  section "$package: dpkg-deb --contents"
  dpkg-deb --contents "$deb"
  files=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./||')
  for path in ${expected[$package]}; do
    grep -qxF "$path" <<<"$files" || fail "$package lacks $path"
  done
  if [ "$package" = kestrone-scan ] && grep -q 'kestrone\.desktop\|usr/bin/kestrone$' <<<"$files"; then
    fail "kestrone-scan holds files of the window package"
  fi
  rm -rf "$out/root-$package"
  dpkg-deb --extract "$deb" "$out/root-$package"
done
scan_depends=$(dpkg-deb -f "$scan_deb" Depends)
desktop_depends=$(dpkg-deb -f "$desktop_deb" Depends)
for lib in libc6 libflac12 libsndfile1 libsoxr0 libavcodec libavformat libstdc++6; do
  grep -q "$lib" <<<"$scan_depends" || fail "kestrone-scan's Depends lacks $lib (shlibdeps): $scan_depends"
done
grep -qi 'qt' <<<"$scan_depends" && fail "kestrone-scan depends on Qt: $scan_depends"
grep -q 'libqt6widgets6' <<<"$desktop_depends" || fail "kestrone's Depends lacks Qt: $desktop_depends"
grep -qF "kestrone-scan (= $version)" <<<"$desktop_depends" || fail "kestrone does not depend on kestrone-scan $version"

# --- lintian: errors fail, everything else is listed
section "lintian --pedantic --display-info"
lintian_status=0
lintian_out=$(lintian --pedantic --display-info --fail-on error "$scan_deb" "$desktop_deb" 2>&1) || lintian_status=$?
grep -v '^running with root privileges' <<<"$lintian_out" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors (exit status $lintian_status)"

# --- desktop metadata
root="$out/root-kestrone"
section "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/kestrone.desktop" && echo "kestrone.desktop: valid" ||
  fail "desktop-file-validate"
section "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.kestrone.Kestrone.metainfo.xml" ||
  fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.kestrone.Kestrone.metainfo.xml" ||
  fail "the metainfo has no release $version"
zcat "$root/usr/share/doc/kestrone/changelog.gz" | head -1 | grep -qF "kestrone ($version)" ||
  fail "the Debian changelog does not start with $version"
python3 - "$root/usr/share/icons/hicolor" <<'PY' || fail "icon sizes"
import pathlib, struct, sys
for png in sorted(pathlib.Path(sys.argv[1]).glob("*x*/apps/kestrone.png")):
    data = png.read_bytes()
    width, height = struct.unpack(">II", data[16:24])
    expected = int(png.parts[-3].split("x")[0])
    if data[:8] != b"\x89PNG\r\n\x1a\n" or (width, height) != (expected, expected):
        sys.exit(f"{png}: {width}x{height}, expected {expected}x{expected}")
PY

# --- manual pages: clean under man --warnings, and every option of --help in them
section "manual pages"
for program in kestrone kestrone-scan; do
  root="$out/root-$program"
  page="$root/usr/share/man/man1/$program.1.gz"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings on $program.1: $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | sed 's/\x08.//g')
  help=$("$root/usr/bin/$program" --help)
  for option in $(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "$program.1 does not mention $option"
  done
  grep -qiE 'exit +status' <<<"$text" || fail "$program.1 has no exit status"
  grep -qF "$program $version" <<<"$text" || fail "$program.1 is not the page of version $version"
  echo "$program.1: $(wc -l <<<"$text") lines, no warnings"
done

# --- the audio extensions the help lists are exactly the ones a folder walk takes
section "extensions"
scan="$out/root-kestrone-scan/usr/bin/kestrone-scan"
scan_help=$("$scan" --help)
listed=$(tr -s '[:space:]' '\n' <<<"$scan_help" | sed -n 's/^\.\([a-z0-9]\{1,6\}\)$/\1/p' | sort -u)
walk="$out/walk"
mkdir -p "$walk"
candidates="$listed 3gp aa aac ac3 aif aifc aiff alac amr ape au caf dff dsf dts flac m4a m4b mka mkv mp2 mp3 mp4
  mpc oga ogg opus ra rf64 snd spx tak tta voc w64 wav weba webm wma wv txt jpg cue log"
for ext in $candidates; do : >"$walk/a.$ext"; done
set +e
walked=$("$scan" --csv - "$walk" 2>/dev/null | tail -n +2 | cut -d, -f1 | sed 's/.*\.//' | sort -u)
set -e
if [ "$walked" != "$listed" ]; then
  fail "the help lists [$(echo $listed)] but a folder walk takes [$(echo $walked)]"
else
  echo "help and folder walk agree: $(echo $listed)"
fi

# --- shell completion
section "completion"
completion="$out/root-kestrone-scan/usr/share/bash-completion/completions/kestrone-scan"
tree="$out/completion-tree"
mkdir -p "$tree/sub"
: >"$tree/a.flac"; : >"$tree/B.WAV"; : >"$tree/notes.txt"; : >"$tree/report.json"
complete_words() {
  (cd "$tree" && bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _kestrone_scan kestrone-scan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "' completion "$completion" "$@")
}
check_completion() {
  local want=$1; shift
  local got
  got=$(complete_words kestrone-scan "$@")
  [ "$got" = "$want" ] && echo "kestrone-scan $* -> $got" || fail "completing '$*': got '$got', want '$want'"
}
# Options as the help's option table lists them, whatever options are added later.
table_options=$(grep -E '^  -' <<<"$scan_help" | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | LC_ALL=C sort -u)
for prefix in --j --c --; do
  check_completion "$(grep -- "^$prefix" <<<"$table_options" | tr '\n' ' ')" "$prefix"
done
check_completion "B.WAV a.flac sub " ""
check_completion "B.WAV a.flac notes.txt report.json sub " --json ""
check_completion "report.json " --text r
check_completion "report.json " --csv=r
check_completion "" --jobs ""
zsh_completion="$out/root-kestrone-scan/usr/share/zsh/vendor-completions/_kestrone-scan"
if command -v zsh >/dev/null; then
  zsh -n "$zsh_completion" || fail "zsh cannot parse _kestrone-scan"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "packages: $scan_deb $desktop_deb"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the libraries the Windows build needs from Debian's own source
# packages into a cache folder outside the tree, one prefix per package keyed
# by its Debian version; a prefix that is there already is used as it is.
# Prints the prefixes, separated by ';', as the last line (for CMAKE_PREFIX_PATH).
#   usage: build-deps.sh [package...]   (default: all of them, in order)
#   KESTRONE_WINDOWS_DEPS  the cache folder (default ~/.cache/kestrone/windows-deps)
#   JOBS                   parallel compile jobs (default 2)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/toolchain-x86_64-w64-mingw32.cmake
cache=${KESTRONE_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrone/windows-deps}
jobs=${JOBS:-2}
# Raised whenever the way a package is built changes, so that old prefixes are
# not taken for new ones.
recipe=r2
all=(googletest libogg flac libsndfile sqlite3)
wanted=("$@")
[ ${#wanted[@]} -eq 0 ] && wanted=("${all[@]}")
mkdir -p "$cache"
log() { echo "build-deps: $*" >&2; }
# apt hands downloads to its unprivileged user, which needs a writable /dev/null;
# where that is not so, the downloads run as root.
apt_opts=()
if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %a /dev/null)" != 666 ]; then
  apt_opts=(-o APT::Sandbox::User=root)
fi

# apt-get source needs source entries: one deb-src entry for each deb entry of
# the .sources files apt uses now (same URIs, suites and components).
enable_sources() {
  if apt-get "${apt_opts[@]}" source --print-uris -qq libogg >/dev/null 2>&1; then
    return
  fi
  local out=/etc/apt/sources.list.d/kestrone-deb-src.sources
  log "adding source entries for apt in $out"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ "$f" = "$out" ] && continue
    awk '
      function flush() {
        if (stanza != "" && isdeb && !disabled) printf "%s\n", stanza
        stanza = ""; isdeb = 0; disabled = 0
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ {
        for (i = 2; i <= NF; ++i) if ($i == "deb") isdeb = 1
        stanza = stanza "Types: deb-src\n"; next
      }
      /^Enabled:[ \t]*no/ { disabled = 1 }
      { stanza = stanza $0 "\n" }
      END { flush() }
    ' "$f"
  done >"$out.tmp"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb[ \t]\+\(.*\)$/deb-src \1/p' /etc/apt/sources.list >"${out%.sources}.list.tmp"
    if [ -s "${out%.sources}.list.tmp" ]; then
      mv "${out%.sources}.list.tmp" "${out%.sources}.list"
    else
      rm -f "${out%.sources}.list.tmp"
    fi
  fi
  mv "$out.tmp" "$out"
  apt-get "${apt_opts[@]}" update -qq
}

# The version apt-get source would fetch.
source_version() {
  apt-get "${apt_opts[@]}" source --print-uris -qq "$1" | sed -n "s/.* $1_\(.*\)\.dsc .*/\1/p" | head -n1
}

cmake_package() { # source-dir prefix deps-prefixes cmake-options...
  local src=$1 prefix=$2 deps=$3
  shift 3
  cmake -S "$src" -B "$src/build-windows" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$deps" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=OFF \
    ${CMAKE_C_COMPILER_LAUNCHER:+-DCMAKE_C_COMPILER_LAUNCHER="$CMAKE_C_COMPILER_LAUNCHER"} \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER="$CMAKE_CXX_COMPILER_LAUNCHER"} \
    "$@" >&2
  cmake --build "$src/build-windows" -j"$jobs" >&2
  cmake --install "$src/build-windows" >&2
}

build_googletest() {
  cmake_package "$1" "$2" "$3" -Dgtest_disable_pthreads=OFF -DINSTALL_GTEST=ON -DBUILD_GMOCK=ON
}
build_libogg() {
  cmake_package "$1" "$2" "$3" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
}
build_flac() {
  cmake_package "$1" "$2" "$3" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DBUILD_CXXLIBS=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF
  # Without it the headers declare every function as imported from a DLL.
  sed -i 's/^Cflags: .*/& -DFLAC__NO_DLL/' "$2/lib/pkgconfig/flac.pc"
}
build_libsndfile() {
  # WAV, AIFF and the other PCM containers; FLAC is decoded by libFLAC itself.
  cmake_package "$1" "$2" "$3" -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF \
    -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF -DBUILD_REGTEST=OFF
}
build_sqlite3() {
  # The source tree makes its one-file amalgamation with host tools (lemon,
  # mkkeywordhash, tclsh); that file alone is then compiled for Windows.
  local src=$1 prefix=$2
  mkdir -p "$src/build-host"
  (cd "$src/build-host" && ../configure --disable-tcl --disable-readline >&2 && make -j"$jobs" sqlite3.c >&2)
  local cc=x86_64-w64-mingw32-gcc-posix
  ${CMAKE_C_COMPILER_LAUNCHER:-} $cc -O2 -Wa,-muse-unaligned-vector-move -DSQLITE_OS_WIN=1 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_MATH_FUNCTIONS \
    -c "$src/build-host/sqlite3.c" -o "$src/build-host/sqlite3.obj"
  mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
  x86_64-w64-mingw32-gcc-ar-posix rcs "$prefix/lib/libsqlite3.a" "$src/build-host/sqlite3.obj"
  cp "$src/build-host/sqlite3.h" "$src/src/sqlite3ext.h" "$prefix/include/"
  cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine
Version: ${src##*sqlite3-}
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC
}

enable_sources
work=""
trap 'if [ -n "$work" ]; then rm -rf "$work"; fi' EXIT
prefixes=()
for pkg in "${wanted[@]}"; do
  version=$(source_version "$pkg")
  if [ -z "$version" ]; then
    log "apt has no source package $pkg"
    exit 1
  fi
  prefix=$cache/$pkg-$version-$recipe
  if [ ! -f "$prefix/.complete" ]; then
    log "building $pkg $version"
    start=$(date +%s)
    work=$(mktemp -d "$cache/.work-$pkg.XXXXXX")
    (cd "$work" && apt-get "${apt_opts[@]}" source -qq "$pkg=$version" >&2)
    src=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n1)
    rm -rf "$prefix"
    deps=$(IFS=';'; echo "${prefixes[*]}")
    "build_$pkg" "$src" "$prefix" "$deps"
    echo $(($(date +%s) - start)) >"$prefix/.build-seconds"
    touch "$prefix/.complete"
    rm -rf "$work"
    log "built $pkg $version in $(cat "$prefix/.build-seconds") s"
  fi
  prefixes+=("$prefix")
done
(IFS=';'; echo "${prefixes[*]}")

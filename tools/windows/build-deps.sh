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
# zlib is not here: Debian's libz-mingw-w64-dev has it (static libz.a and its
# zlib.pc under /usr/x86_64-w64-mingw32), and the pkg-config wrapper finds it.
all=(googletest libogg flac libsndfile libsoxr sqlite3 libpng1.6 pixman cairo ffmpeg)
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

# The versions of a source package apt knows, newest first.
source_versions() {
  local v w sorted=() i
  for v in $(apt-cache showsrc "$1" 2>/dev/null |
    awk -v p="$1" '/^Package:/ { ours = ($2 == p) } ours && /^Version:/ { print $2 }' | sort -u); do
    i=${#sorted[@]}
    while [ "$i" -gt 0 ] && dpkg --compare-versions "$v" gt "${sorted[$((i - 1))]}"; do
      sorted[i]=${sorted[$((i - 1))]}
      i=$((i - 1))
    done
    sorted[i]=$v
  done
  for w in "${sorted[@]}"; do echo "$w"; done
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

mingw_cc="${CMAKE_C_COMPILER_LAUNCHER:+$CMAKE_C_COMPILER_LAUNCHER }x86_64-w64-mingw32-gcc-posix"

autotools_package() { # source-dir prefix deps-prefixes subdir configure-options...
  # Builds and installs subdir alone (the library without its tests and tools).
  local src=$1 prefix=$2 deps=$3 subdir=$4
  shift 4
  # The configure script and Makefile.in files are used as shipped: Debian's
  # patches to their inputs are for its own shared libraries and tools, and
  # would otherwise make make run autotools that are not installed.
  touch "$src/aclocal.m4"
  touch "$src/configure" "$src/config.h.in"
  find "$src" -name Makefile.in -exec touch {} +
  mkdir -p "$src/build-windows"
  (cd "$src/build-windows" &&
    ../configure --host=x86_64-w64-mingw32 --prefix="$prefix" --enable-static --disable-shared \
      CC="$mingw_cc" CFLAGS="-O2 -Wa,-muse-unaligned-vector-move" \
      PKG_CONFIG="$here/pkg-config" PKG_CONFIG_PATH="$(pc_path "$deps")" "$@" >&2 &&
    make -j"$jobs" -C "$subdir" >&2 && make -C "$subdir" install >&2)
  # libtool's records of the build folders; pkg-config says what to link.
  rm -f "$prefix"/lib/*.la
}

# The lib/pkgconfig folders of the given prefixes, for PKG_CONFIG_PATH.
pc_path() {
  local IFS=';' d out=""
  for d in $1; do out=$out${out:+:}$d/lib/pkgconfig; done
  echo "$out"
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
build_libsoxr() {
  # The library alone, without OpenMP (the analysis runs it on one thread) and
  # without libsamplerate's interface; its SIMD engines stay, as on Linux.
  cmake_package "$1" "$2" "$3" -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF \
    -DWITH_LSR_BINDINGS=OFF
  # Its build writes soxr.pc on Unix only.
  mkdir -p "$2/lib/pkgconfig"
  cat >"$2/lib/pkgconfig/soxr.pc" <<PC
prefix=$2
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: soxr
Description: High quality, one-dimensional sample-rate conversion library
Version: ${1##*libsoxr-}
Libs: -L\${libdir} -lsoxr
Cflags: -I\${includedir}
PC
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

build_libpng1.6() {
  cmake_package "$1" "$2" "$3" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF
}
build_pixman() {
  autotools_package "$1" "$2" "$3" pixman --disable-gtk --disable-libpng --disable-openmp
  (cd "$1/build-windows" && make install-pkgconfigDATA >&2)
}
build_cairo() {
  # The image surface and PNG output; text through the Windows (GDI) font
  # backend, which needs the win32 surface. No FreeType or fontconfig.
  # The font backend measures and draws through one device context for the
  # whole process, unlocked, and text drawn on two threads at once came out
  # wrong or not at all: each thread gets a context of its own.
  sed -i 's/^    static HDC hdc;$/    static __thread HDC hdc;/' "$1/src/win32/cairo-win32-font.c"
  grep -q '__thread HDC hdc;' "$1/src/win32/cairo-win32-font.c"
  # mingw-w64's fortified string functions would need libssp in every program.
  sed -i 's/ -Wp,-D_FORTIFY_SOURCE=2//' "$1/configure"
  # A static cairo has no DllMain to set its mutexes up, and sets them up on
  # first use, which two threads can do at once: here it is done before main.
  cat >>"$1/src/cairo.c" <<'C'

#if CAIRO_MUTEX_IMPL_WIN32 && CAIRO_WIN32_STATIC_BUILD
static void __attribute__ ((constructor))
_cairo_static_build_mutex_initialize (void)
{
    CAIRO_MUTEX_INITIALIZE ();
}
#endif
C
  autotools_package "$1" "$2" "$3" src CPPFLAGS=-DCAIRO_WIN32_STATIC_BUILD \
    --enable-win32=yes --enable-win32-font=yes --enable-png=yes \
    --enable-xlib=no --enable-xlib-xrender=no --enable-xcb=no --enable-xlib-xcb=no --enable-xcb-shm=no \
    --enable-ft=no --enable-fc=no --enable-ps=no --enable-pdf=no --enable-svg=no --enable-script=no \
    --enable-interpreter=no --enable-trace=no --enable-gobject=no --enable-tee=no --enable-xml=no \
    --enable-symbol-lookup=no --enable-gl=no --enable-egl=no --enable-glx=no --enable-wgl=no \
    --disable-gtk-doc --disable-valgrind
  # Without DllMain the headers must not expect cairo in a DLL (MSVC), and the
  # mutex set-up above is only compiled with it.
  sed -i 's/^Cflags: .*/& -DCAIRO_WIN32_STATIC_BUILD/' "$2"/lib/pkgconfig/cairo*.pc
  # configure names the win32 backends' system libraries nowhere in the .pc files.
  sed -i 's/^Libs.private:.*/Libs.private: -lgdi32 -lmsimg32/' "$2/lib/pkgconfig/cairo.pc"
}
build_ffmpeg() {
  # Shared, as on Linux, where kestrone-scan loads it when a file needs it:
  # avutil, avcodec and avformat DLLs with the demuxers and decoders of the
  # formats kestrone reads and nothing else, and swresample, without which
  # configure leaves the Opus decoder out. zlib (compressed MP4 headers and
  # Matroska tracks) and the compiler's runtime are linked in, so the DLLs
  # need only Windows' own DLLs and each other.
  local src=$1 prefix=$2
  local decoders=(aac aac_latm alac ape tak tta wavpack flac vorbis opus speex
    mp1 mp1float mp2 mp2float mp3 mp3float mp3adu mp3adufloat mp3on4 mp3on4float
    wmav1 wmav2 wmapro wmavoice wmalossless ac3 eac3 dca mlp truehd
    'pcm_*' adpcm_ima_qt gsm gsm_ms mace3 mace6 qdm2 qdmc)
  local demuxers=(mov caf aac mp3 wv ape tta tak ogg asf matroska)
  local parsers=(aac aac_latm ac3 dca flac mlp mpegaudio opus tak vorbis gsm)
  local enable=(--enable-protocol=file) name
  for name in "${decoders[@]}"; do enable+=(--enable-decoder="$name"); done
  for name in "${demuxers[@]}"; do enable+=(--enable-demuxer="$name"); done
  for name in "${parsers[@]}"; do enable+=(--enable-parser="$name"); done
  mkdir -p "$src/build-windows"
  (cd "$src/build-windows" &&
    ../configure --prefix="$prefix" --target-os=mingw32 --arch=x86_64 \
      --cross-prefix=x86_64-w64-mingw32- --cc="$mingw_cc" --pkg-config=false \
      --extra-cflags=-Wa,-muse-unaligned-vector-move --extra-ldflags=-static \
      --enable-shared --disable-static --disable-programs --disable-doc --disable-network \
      --disable-avdevice --disable-swscale --disable-postproc --disable-avfilter \
      --disable-everything --disable-autodetect --enable-w32threads --enable-zlib "${enable[@]}" >&2 &&
    make -j"$jobs" >&2 && make install >&2)
}

enable_sources
work=""
trap 'if [ -n "$work" ]; then rm -rf "$work"; fi' EXIT
prefixes=()

# Builds one package from the source tree in $work into $prefix.
build_in_work() { # package label prefix
  local src deps start
  start=$(date +%s)
  src=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n1)
  rm -rf "$3"
  deps=$(IFS=';'; echo "${prefixes[*]}")
  "build_$1" "$src" "$3" "$deps"
  echo $(($(date +%s) - start)) >"$3/.build-seconds"
  touch "$3/.complete"
  rm -rf "$work"
  work=""
  log "built $1 $2 in $(cat "$3/.build-seconds") s"
}

# The newest version whose source apt can fetch whole; a mirror can lack a
# file of the newest one. Where none can be fetched, the upstream tarball of
# the newest one alone, without Debian's changes (its prefix is named by the
# upstream version).
for pkg in "${wanted[@]}"; do
  versions=($(source_versions "$pkg"))
  if [ ${#versions[@]} -eq 0 ]; then
    log "apt has no source package $pkg"
    exit 1
  fi
  prefix=""
  for version in "${versions[@]}"; do
    # Without the epoch: a ':' would split PKG_CONFIG_PATH and PATH.
    candidate=$cache/$pkg-${version#*:}-$recipe
    if [ -f "$candidate/.complete" ]; then
      prefix=$candidate
      break
    fi
    log "fetching $pkg $version"
    work=$(mktemp -d "$cache/.work-$pkg.XXXXXX")
    if (cd "$work" && apt-get "${apt_opts[@]}" source -qq "$pkg=$version" >&2); then
      log "building $pkg $version"
      prefix=$candidate
      build_in_work "$pkg" "$version" "$prefix"
      break
    fi
    log "apt cannot fetch all of $pkg $version"
    rm -rf "$work"
    work=""
  done
  if [ -z "$prefix" ]; then
    upstream=${versions[0]#*:}
    upstream=${upstream%-*}
    prefix=$cache/$pkg-$upstream-$recipe
    if [ ! -f "$prefix/.complete" ]; then
      log "building $pkg $upstream from its upstream tarball, without Debian's changes"
      work=$(mktemp -d "$cache/.work-$pkg.XXXXXX")
      (cd "$work" && apt-get "${apt_opts[@]}" source --download-only -qq "$pkg=${versions[0]}" >&2) || true
      orig=$(find "$work" -maxdepth 1 -name "${pkg}_$upstream.orig.tar.*" ! -name '*.asc' | head -n1)
      if [ -z "$orig" ]; then
        log "apt cannot fetch the upstream tarball of $pkg $upstream either"
        exit 1
      fi
      tar -xf "$orig" -C "$work"
      build_in_work "$pkg" "$upstream" "$prefix"
    fi
  fi
  prefixes+=("$prefix")
done
(IFS=';'; echo "${prefixes[*]}")

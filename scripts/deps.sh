#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need, when any is missing.
#
#   scripts/deps.sh             the Linux build
#   scripts/deps.sh --windows   the Windows cross-build as well: MinGW-w64 (posix threads), Wine,
#                               the Japanese locale, and SQLite, GoogleTest and Google Benchmark
#                               cross-built from Debian's own sources into build/deps/<triplet>
#                               (made once; a rebuild reuses them and fetches nothing)
set -euo pipefail
cd "$(dirname "$0")/.."
windows=false
case ${1:-} in
  "") ;;
  --windows) windows=true ;;
  *) echo "usage: scripts/deps.sh [--windows]" >&2; exit 2 ;;
esac

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 libgmime-3.0-dev
  qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic xvfb xauth
  manpages-ja
  time bc
)
if $windows; then
  packages+=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 fonts-wine
    locales x11-utils x11-apps netpbm
    dpkg-dev tcl googletest
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
$windows || exit 0

# --- The Japanese locale: Wine's ANSI code page is 932 only under it --------------------------
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "Generating the locale ja_JP.UTF-8" >&2
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# --- Libraries cross-built from Debian's sources ----------------------------------------------
deps=$PWD/build/deps
src=$deps/src
mkdir -p "$src"

# Debian's source packages, fetched with apt-get source through a source list of our own (the
# deb-src twins of the machine's configured archives), so the machine's sources stay untouched.
fetch_source() {  # NAME: unpacks Debian's source package NAME into $src once
  local name=$1
  compgen -G "$src/$name-[0-9]*/" >/dev/null && return 0
  local list=$src/sources.list lists=$src/lists
  if [ ! -s "$list" ]; then
    apt-get indextargets --format 'deb-src $(REPO_URI) $(RELEASE) $(COMPONENT)' \
        'Identifier: Packages' | sort -u > "$list"
  fi
  local apt_options=(-o "Dir::Etc::SourceList=$list" -o Dir::Etc::SourceParts=/dev/null
                     -o "Dir::State::Lists=$lists")
  if [ ! -d "$lists" ]; then
    mkdir -p "$lists/partial"
    apt-get -q "${apt_options[@]}" update >&2
  fi
  (cd "$src" && apt-get -q "${apt_options[@]}" source "$name" >&2)
}

# The SQLite amalgamation, made once with the source tree's own build (tclsh generates it).
sqlite_amalgamation() {
  local out=$src/sqlite-amalgamation
  [ -s "$out/sqlite3.c" ] && return 0
  fetch_source sqlite3
  local tree
  tree=$(compgen -G "$src/sqlite3-[0-9]*/" | head -n 1)
  rm -rf "$out.build" && mkdir -p "$out.build"
  (cd "$out.build" && "$tree/configure" --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
  mkdir -p "$out"
  cp "$out.build/sqlite3.c" "$out.build/sqlite3.h" "$out.build/sqlite3ext.h" "$out"
  rm -rf "$out.build"
}

jobs=$(nproc)
cross_cmake() {  # TRIPLET SOURCE BUILD [cmake options...]
  local triplet=$1 source=$2 build=$3
  shift 3
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-${triplet%%-*}.cmake" \
      -DCMAKE_INSTALL_PREFIX="$deps/$triplet" "$@" >/dev/null
  cmake --build "$build" -j "$jobs" >/dev/null
  cmake --install "$build" >/dev/null
}

for triplet in x86_64-w64-mingw32 i686-w64-mingw32; do
  prefix=$deps/$triplet
  # SQLite, for the bundled host orvanLib.dll: a static library and its pkg-config file.
  if [ ! -s "$prefix/lib/libsqlite3.a" ]; then
    echo "Cross-building SQLite for $triplet" >&2
    sqlite_amalgamation
    mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$deps/build-$triplet"
    "$triplet-gcc-posix" -O2 -c "$src/sqlite-amalgamation/sqlite3.c" \
        -o "$deps/build-$triplet/sqlite3.o" -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION
    "$triplet-ar" rcs "$prefix/lib/libsqlite3.a" "$deps/build-$triplet/sqlite3.o"
    cp "$src/sqlite-amalgamation/sqlite3.h" "$src/sqlite-amalgamation/sqlite3ext.h" \
        "$prefix/include/"
    version=$(sed -n 's/^#define SQLITE_VERSION  *"\(.*\)"/\1/p' "$prefix/include/sqlite3.h")
    cat > "$prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$prefix
includedir=\${prefix}/include
libdir=\${prefix}/lib

Name: SQLite
Description: SQL database engine (cross-built amalgamation)
Version: $version
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC
  fi
done

# GoogleTest and Google Benchmark: the 64-bit build runs the tests and the scoring benchmark
# under Wine; the 32-bit build is compiled and linked only.
prefix=$deps/x86_64-w64-mingw32
if [ ! -s "$prefix/lib/libgtest.a" ]; then
  echo "Cross-building GoogleTest for x86_64-w64-mingw32" >&2
  cross_cmake x86_64-w64-mingw32 /usr/src/googletest "$deps/build-gtest" -DBUILD_GMOCK=ON
fi
if [ ! -s "$prefix/lib/libbenchmark.a" ]; then
  echo "Cross-building Google Benchmark for x86_64-w64-mingw32" >&2
  fetch_source benchmark
  tree=$(compgen -G "$src/benchmark-[0-9]*/" | head -n 1)
  version=$(basename "$tree")
  version=${version#benchmark-}
  # Debian's build names the version itself (its tree has no git tags to read it from).
  cross_cmake x86_64-w64-mingw32 "$tree" "$deps/build-benchmark" -DBENCHMARK_ENABLE_TESTING=OFF \
      -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LTO=OFF \
      -DBUILD_SHARED_LIBS=OFF -DGIT_VERSION="$version" -DHAVE_STD_REGEX=ON \
      -DHAVE_STEADY_CLOCK=ON -DHAVE_THREAD_SAFETY_ATTRIBUTES=OFF -DHAVE_POSIX_REGEX=OFF \
      -DHAVE_GNU_POSIX_REGEX=OFF
fi

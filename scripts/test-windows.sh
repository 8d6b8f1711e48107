#!/usr/bin/env bash
# Builds the coder programs and the plain C++ part (core/, results/, analysis/, coder/arith/)
# for 64-bit Windows with MinGW-w64 and runs their tests under Wine; then checks that the
# Windows programs write the same streams as the native ones and decode them.
#
#   scripts/test-windows.sh [BUILD_DIR]     (default build-win; the native programs it compares
#                                            with are built in BUILD_DIR/native)
#
# Installs what is missing (the cross compiler and Wine), builds GoogleTest for the cross
# compiler once (from Debian's /usr/src/googletest), and keeps Wine's prefix inside the build
# folder. Wine shows how the programs behave on Windows; it is not Windows itself.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
source scripts/deps.sh
EKS_PACKAGES=(cmake g++ make libgtest-dev libbenchmark-dev
              mingw-w64 g++-mingw-w64-x86-64-posix wine wine64)
eks_install_deps

build=$(mkdir -p "${1:-build-win}" && cd "${1:-build-win}" && pwd)
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
jobs=$(nproc)

# GoogleTest for the cross compiler, once per build folder.
gtest="$build/googletest"
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$build/googletest-build" -j"$jobs"
  cmake --install "$build/googletest-build" >/dev/null
fi

# Wine: its own prefix in the build folder, no offers to install its add-ons, and one
# server kept for the whole run (without it Wine's helpers hold ctest's pipe open and every
# test waits for them).
export WINEPREFIX="$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
wine=$(command -v wine64 || command -v wine)
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null || true
wineserver -p
trap 'wineserver -k || true' EXIT
"$wine" wineboot --init

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$gtest" -DEKS_WERROR=ON -DEKS_BUILD_BENCH=OFF
cmake --build "$build" -j"$jobs"
(cd "$build" && ctest --output-on-failure -j"$jobs")

# The same streams on both systems: the samples' bit sequences in both bit orders at orders 1,
# 5 and 9, each coded by the Windows and the native program, and each side's stream decoded
# by the other.
native="$build/native"
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DEKS_WITH_QT=OFF -DEKS_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$native" -j"$jobs" --target arith_n earith_n pgm_to_bits
work="$build/streams"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
streams=0
for image in "$repo"/samples/*.pgm; do
  name=$(basename "$image" .pgm)
  "$native/bin/pgm_to_bits" "$image" "$name.B" "$name.P"
  for bits in "$name.B" "$name.P"; do
    for order in 1 5 9; do
      "$native/bin/arith-n.exe" "$bits" native.arn -o "$order"
      "$wine" "$build/bin/arith-n.exe" "$bits" windows.arn -o "$order"
      cmp native.arn windows.arn || { echo "FAIL: $bits, order $order: the streams differ"; exit 1; }
      "$wine" "$build/bin/earith-n.exe" native.arn from-native
      "$native/bin/earith-n.exe" windows.arn from-windows
      cmp "$bits" from-native && cmp "$bits" from-windows ||
        { echo "FAIL: $bits, order $order: a stream does not decode on the other system"; exit 1; }
      streams=$((streams + 1))
    done
  done
done
cd "$repo" && rm -rf "$work"
echo "Windows and native programs: $streams of $streams streams equal, each decoded by the other"

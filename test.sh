#!/usr/bin/env bash
# Installs what is missing, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors) into build-test/ and runs
# every test. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
eks_install_deps

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEKS_SANITIZE=ON -DEKS_WERROR=ON
cmake --build build-test -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-test
ctest --output-on-failure -j"$(nproc)"

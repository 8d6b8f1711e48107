#!/usr/bin/env bash
# Installs what is missing, builds a Release build into build/ and starts the
# workbench from build/bin/ (where the coder programs, the sample images and
# the description page stand).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
eks_install_deps fonts-liberation2 qt6-translations-l10n

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"

cd build/bin
exec ./eksperymenty "$@"

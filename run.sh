#!/usr/bin/env bash
# Installs what is missing, builds a Release build into build/ and starts the
# workbench from build/bin/ (where the coder programs, the sample images and
# the description page stand).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
eks_install_deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"

if [ ! -x build/bin/eksperymenty ]; then
  echo "Build finished in build/bin/; the workbench window (eksperymenty) is not part of this version yet."
  exit 0
fi
cd build/bin
exec ./eksperymenty "$@"

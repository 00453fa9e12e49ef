#!/usr/bin/env bash
# Builds Torvane with warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test, and checks that the benchmarks build in their optimised configuration.
# Installs whatever Debian packages are missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
cmake --preset dev
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs"

if [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh
fi

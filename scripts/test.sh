#!/usr/bin/env bash
# Installs what the build needs when it is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh $(cat scripts/build-packages.txt)
cmake -S . -B build && cmake --build build -j2 && ctest --test-dir build --output-on-failure

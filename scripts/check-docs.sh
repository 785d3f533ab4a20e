#!/usr/bin/env bash
# The documentation check: builds the HTML documentation with warnings as errors, makes the
# model's validation figures and runs the example notebooks (the ctest label `docs`). ./test.sh
# leaves it out because it takes a minute or more; .ci/run calls it after ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target kestrium-batch _kestrium
# --no-tests=error: a build without Sphinx (no docs test) fails the check instead of passing it.
ctest --test-dir build/release -L docs --output-on-failure --no-tests=error

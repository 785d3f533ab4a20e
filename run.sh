#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in runs/ (parameter and result files go there).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"
mkdir -p runs
cd runs
if [ -x ../build/release/app/kestrium ]; then
  exec ../build/release/app/kestrium "$@"
else
  exec ../build/release/app/kestrium-batch KTparam.par "$@"
fi

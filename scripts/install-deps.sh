#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the screenshots, the Python module and the
# documentation need, when missing.
set -euo pipefail
packages=(g++ cmake make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev googletest
          libbenchmark-dev libnlopt-cxx-dev fonts-liberation xvfb xauth xdotool imagemagick clang
          clang-format pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib
          python3-distributed python3-tqdm libcli11-dev nlohmann-json3-dev libtomlplusplus-dev
          python3-sphinx python3-myst-parser python3-nbsphinx jupyter-nbconvert python3-ipykernel pandoc
          python3-setuptools python3-wheel python3-venv python3-pip python3-pandas python3-numpydoc
          libjs-mathjax)
# --cluster: also what the local Slurm test (cluster/test-slurm-local.sh) needs.
if [ "${1:-}" = "--cluster" ]; then packages+=(slurm-wlm munge); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

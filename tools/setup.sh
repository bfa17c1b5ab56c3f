#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the packaging need (only those missing) and builds
# everything into build/. Run as root on Debian 12, or with sudo available. Arguments are
# handed to CMake (for example -DKELVORAND_BUILD_BENCHMARK=OFF).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libwxgtk3.2-dev libeigen3-dev libcminpack-dev
          libglu1-mesa-dev libgl1-mesa-dri xvfb xauth libx11-dev libgtest-dev libbenchmark-dev
          libnanoflann-dev locales file git clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A German locale lets the tests check that numbers never follow the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen || true
  $sudo_cmd locale-gen >/dev/null 2>&1 || true
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$(nproc)"

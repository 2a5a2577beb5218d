#!/usr/bin/env bash
# Builds a Release into build-release (or the folder given), makes the Debian package with
# CPack and checks it without installing it on this machine: its files and control data,
# lintian, the systemd unit, and the packaged programs run from a throw-away root.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF \
  -DTARVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/tarvo-collect_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
shopt -s nullglob
packages=("$build"/tarvo-collect_*.deb)
if [ ${#packages[@]} -ne 1 ]; then
  echo "check-package: expected one tarvo-collect_*.deb in $build, found ${#packages[@]}" >&2
  exit 1
fi
echo "Package: ${packages[0]}"
tests/package/check-deb.sh "${packages[0]}"
tests/package/installed-package-test.sh "${packages[0]}"

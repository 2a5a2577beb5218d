#!/usr/bin/env bash
# Builds a Release into build-release (or the folder given), makes the Debian packages with
# CPack (the service's tarvo-collectd and the window's tarvo-collect) and checks them without
# installing them on this machine: its files and control data,
# lintian, the systemd unit, and the packaged programs run from a throw-away root.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF \
  -DTARVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/tarvo-collect_*.deb "$build"/tarvo-collectd_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
shopt -s nullglob
service=("$build"/tarvo-collectd_*.deb)
window=("$build"/tarvo-collect_*.deb)
if [ ${#service[@]} -ne 1 ] || [ ${#window[@]} -ne 1 ]; then
  echo "check-package: expected one tarvo-collectd_*.deb and one tarvo-collect_*.deb in $build," \
    "found ${#service[@]} and ${#window[@]}" >&2
  exit 1
fi
echo "Packages: ${service[0]} ${window[0]}"
tests/package/check-deb.sh "${service[0]}" "${window[0]}"
tests/package/installed-package-test.sh "${service[0]}" "${window[0]}"

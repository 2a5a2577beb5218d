#!/usr/bin/env bash
# Installs the Debian packages the collector needs to build, run and test, when missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build
  qt6-base-dev qt6-serialport-dev libpugixml-dev
  # the window: Qt Charts for the trend view (its CMake files need the OpenGL and xkbcommon headers)
  qt6-charts-dev libqt6opengl6-dev libxkbcommon-dev
  libgtest-dev libgmock-dev
  # the service: the monitoring endpoint, notifications to systemd, the metrics check
  qt6-httpserver-dev qt6-websockets-dev libsystemd-dev pkg-config prometheus
  dbus-daemon dbus-bin xvfb xauth socat imagemagick x11-utils
  # the Debian package: manual pages, dependencies, checks
  help2man dpkg-dev file man-db lintian desktop-file-utils systemd
)
# the npm packages of the tests (below): the FHIR validator of tarvo-pil's export and the
# integration engine the reporter sends to; a nodejs that brings its own npm needs no npm package
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The npm packages of the tests in the versions their package-lock.json files pin, installed again
# when a lock file is newer than what was installed: the FHIR validator of the tarvo-pil export
# tests and the integration engine the reporter's tests send to (node-hl7-server).
root="$(cd "$(dirname "$0")/.." && pwd)"
for folder in "$root/tests/tools/fhir" "$root/tests/outbound/engine"; do
  if [ ! -f "$folder/node_modules/.package-lock.json" ] ||
     [ "$folder/package-lock.json" -nt "$folder/node_modules/.package-lock.json" ]; then
    (cd "$folder" && npm ci --no-audit --no-fund --loglevel=error)
  fi
done

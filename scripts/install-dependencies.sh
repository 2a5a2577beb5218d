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

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# The tests of results to the hospital run an integration engine from the npm registry: node
# and npm from Debian, unless the machine has them already (a nodejs with its own npm).
for tool in node npm; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    missing+=(nodejs npm)
    break
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

# The integration engine the reporter's tests send to (node-hl7-server, as locked).
engine="$(cd "$(dirname "$0")/.." && pwd)/tests/outbound/engine"
if [ ! -d "$engine/node_modules/node-hl7-server" ] ||
   [ "$engine/package-lock.json" -nt "$engine/node_modules/.package-lock.json" ]; then
  (cd "$engine" && npm ci --no-audit --no-fund --loglevel=error)
fi

#!/usr/bin/env bash
# Installs what is missing, builds a Release and runs the collector on its defaults together
# with the reference Orvanta automation server. Arguments go to tarvo-collect
# (for example --root DIR for a portable installation). Stop it with Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF >/dev/null
cmake --build build

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  # No session bus (a console or a service account): give the run a bus of its own.
  exec dbus-run-session -- scripts/start-collector.sh "$@"
fi
exec scripts/start-collector.sh "$@"

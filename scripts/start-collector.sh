#!/usr/bin/env bash
# Starts the reference automation server and then the collector on the current session bus.
# The server logs every call it receives to build/orvanta-calls.jsonl.
set -euo pipefail
cd "$(dirname "$0")/.."

build/bin/orvanta-automation-stub --log build/orvanta-calls.jsonl >build/orvanta-stub.out 2>&1 &
stub=$!
trap 'kill "$stub" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q ready build/orvanta-stub.out 2>/dev/null && break
  sleep 0.1
done

headless=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=(--headless)
fi
echo "TarvoCollect is running (Ctrl-C stops it). Event log: ~/TEMP/Tarvo Logfile.txt, or DIR/C/TEMP/ with --root DIR."
build/bin/tarvo-collect "${headless[@]}" "$@" &
collector=$!
trap 'kill -TERM "$collector" 2>/dev/null || true' INT TERM
wait "$collector" || status=$?
wait "$collector" 2>/dev/null || true
exit "${status:-0}"

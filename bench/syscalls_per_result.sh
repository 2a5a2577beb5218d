#!/usr/bin/env bash
# System calls the collector makes per stored result.
#
#   bench/syscalls_per_result.sh [BUILD_DIR] [MESSAGES]
#
# Starts tarvo-collect from BUILD_DIR (default build-release) in a scratch portable root
# (collecting, new patients ticked, without the automation server) under `strace -c -f`, sends
# MESSAGES (default 20000) live measurements and automatic controls from one simulated analyzer
# (`tarvo-sim stream`, 50 patients: every fourth message is a control, stored for the
# pseudo-patient AutoControl; the others are announced only), waits until every control is in
# the data file, ends the collector and counts. A second run of 40 messages counts what start-up
# and shut-down cost; it is taken off, so the figure is the calls per stored result of the
# collector alone (the simulator is not traced).
#
# Prints the stored file's SHA-256 too: the messages carry fixed times, so the same build stores
# the same bytes in every run. With KEEP_DUMP=FILE set, the file's `tarvo-pil dump` is kept, with
# KEEP_STRACE=FILE the strace summary of the counted run.
#
# Needs strace (Debian package strace) and python3. Run a Release build.
set -euo pipefail

build=${1:-build-release}
messages=${2:-20000}
bin=$build/bin
for program in tarvo-collect tarvo-sim tarvo-pil; do
  [ -x "$bin/$program" ] || { echo "no $bin/$program: build first" >&2; exit 2; }
done
command -v strace >/dev/null || { echo "strace is needed (apt-get install strace)" >&2; exit 2; }

stored_points() {
  { "$bin/tarvo-pil" dump "$1" 2>/dev/null || true; } |
    { grep -o '"pointCount": *[0-9]*' || true; } | awk '{sub(/.*: */, ""); s += $1} END {print s + 0}'
}

# One traced run: prints "calls stored".
run() {
  local count=$1 root port tracer collector file expected stored
  root=$(mktemp -d)
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf '[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]\nPort=dword:%s\nAutoStart=dword:1\nAutoCreate=dword:1\nUseTarvoSettings=dword:0\n' \
    "$port" > "$root/HKEY_CURRENT_USER.ini"
  strace -c -f -o "$root/strace.txt" "$bin/tarvo-collect" NOORVANTA --headless --root "$root" \
    > "$root/collector.out" 2>&1 &
  tracer=$!
  collector=
  # Whatever goes wrong, the collector does not outlive the run.
  trap '[ -z "$collector" ] || kill -TERM "$collector" 2>/dev/null; kill "$tracer" 2>/dev/null' EXIT
  for _ in $(seq 200); do
    "$bin/tarvo-collect" --root "$root" --command status > /dev/null 2>&1 && break
    sleep 0.1
  done
  collector=$(pgrep -P "$tracer" | head -n 1 || true)
  "$bin/tarvo-sim" --port "$port" --time 2026-12-08T00:00:00 stream --patients 50 \
    --results "$count" > /dev/null
  file=$root/C/TCA/DATA/AutoControl/Tarvo.pil
  expected=$((count / 4))
  stored=0
  for _ in $(seq 1200); do
    stored=$(stored_points "$file")
    [ "$stored" -ge "$expected" ] && break
    sleep 0.5
  done
  kill -TERM "$collector"
  wait "$tracer" || true
  trap - EXIT
  if [ "$count" = "$messages" ]; then
    echo "stored file: $(sha256sum "$file" | cut -d' ' -f1)" >&2
    [ -z "${KEEP_DUMP:-}" ] || "$bin/tarvo-pil" dump "$file" > "$KEEP_DUMP"
    [ -z "${KEEP_STRACE:-}" ] || cp "$root/strace.txt" "$KEEP_STRACE"
  fi
  echo "$(awk '$NF == "total" {print $4}' "$root/strace.txt") $stored"
  rm -rf "$root"
}

read -r base_calls base_stored < <(run 40)
read -r calls stored < <(run "$messages")
echo "collector: $calls system calls for $stored stored results ($messages messages);" \
  "start-up and shut-down $base_calls for $base_stored"
awk -v c="$calls" -v s="$stored" -v bc="$base_calls" -v bs="$base_stored" -v m="$messages" 'BEGIN {
  per = (c - bc) / (s - bs)
  printf "system calls per stored result: %.1f (per message: %.1f); target at most 12\n", per, per * (s - bs) / (m - 40)
}'

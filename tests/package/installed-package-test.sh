#!/usr/bin/env bash
# Unpacks the tarvo-collectd and tarvo-collect packages into a throw-away root (dpkg -x, nothing
# is installed on this machine) and runs what they hold: --version of the installed programs, the collector as its
# service unit runs it (with its UMask) storing a patient-data document sent by the installed
# tarvo-sim, the installed tarvo-pil on the stored file, and every manual page through man -l
# with the sections written for it.
set -euo pipefail
service_deb=$1
window_deb=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

scratch=$(mktemp -d)
collector=
cleanup() {
  [ -n "$collector" ] && kill -TERM "$collector" 2>/dev/null && wait "$collector" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
installed=$scratch/installed
dpkg -x "$service_deb" "$installed"
dpkg -x "$window_deb" "$installed"
bin=$installed/usr/bin
version=$(dpkg-deb --field "$service_deb" Version)

# --version of every installed program is the package's version.
for program in tarvo-collectd tarvo-collect tarvo-pil tarvo-sim; do
  answer=$("$bin/$program" --version)
  [ "$answer" = "$program $version" ] && pass "$program --version: $answer" ||
    fail "$program --version printed '$answer', the package is $version"
done
answer=$("$bin/orvanta-automation-stub" --version)
grep -qF "$version" <<<"$answer" && pass "orvanta-automation-stub --version" ||
  fail "orvanta-automation-stub --version printed '$answer'"

# The installed collector run as the service unit runs it (its ExecStart, its TMPDIR, the
# first settings the package gives the service, INVOCATION_ID as systemd sets it), on a root
# of its own instead of /var/lib/tarvo-collect and on a free port, stores what the installed
# simulator sends.
unit=$installed/usr/lib/systemd/system/tarvo-collect.service
service_root=$(sed -n 's/^WorkingDirectory=//p' "$unit")
service_tmp=$(sed -n 's/^Environment=TMPDIR=//p' "$unit")
read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
command[0]=$bin/$(basename "${command[0]}")
root=$scratch/root
command=("${command[@]/#$service_root/$root}")
echo "Runs: ${command[*]}"
run=$scratch/run
# The root and its files are made as the package makes them, with the unit's UMask.
service_umask=$(sed -n 's/^UMask=//p' "$unit")
[ -n "$service_umask" ] && pass "unit gives UMask $service_umask" || fail "unit gives no UMask"
umask "${service_umask:-0022}"
mkdir -p "$root" "$run"
[ -n "$service_tmp" ] && pass "unit gives TMPDIR $service_tmp" || fail "unit gives no TMPDIR"
log="$root/C/TEMP/Tarvo Logfile.txt"
started=
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  { cat "$installed/usr/share/tarvo-collect/service-settings.ini"; echo "Port=dword:$port"; } \
    >"$root/HKEY_LOCAL_MACHINE.ini"
  rm -f "$log"
  env -u DBUS_SESSION_BUS_ADDRESS INVOCATION_ID=5b0d1a8e6f3c4e2a9d7b1c0e4f8a2d6b \
    TMPDIR="$run" DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus \
    "${command[@]}" 2>"$scratch/journal.txt" &
  collector=$!
  for _ in $(seq 100); do
    grep -q "ServerSocketTarvo is" "$log" 2>/dev/null && break
    sleep 0.1
  done
  if grep -q "ServerSocketTarvo is active" "$log" 2>/dev/null; then
    started=yes
    break
  fi
  kill -TERM "$collector" 2>/dev/null || true
  wait "$collector" 2>/dev/null || true
  collector=
done
if [ -n "$started" ]; then
  pass "installed collector started on port $port"
  grep -q " - No Orvanta at start up" "$log" && pass "service settings: no Orvanta" ||
    fail "the service settings did not switch Orvanta off"
  grep -q "AllowedPeers" "$log" && fail "the service settings' AllowedPeers was logged" ||
    pass "service settings: AllowedPeers read without a remark"
  "$bin/tarvo-sim" --port "$port" document P1 --schema 2012 --measurements 6 >/dev/null &&
    pass "installed tarvo-sim sent a document" || fail "tarvo-sim could not send"
  pil="$root/C/TCA/DATA/P1/Tarvo.pil"
  for _ in $(seq 100); do
    grep -q "Recreated data for P1" "$log" 2>/dev/null && break
    sleep 0.1
  done
  if [ -f "$pil" ]; then
    "$bin/tarvo-pil" check "$pil" && pass "tarvo-pil check: no problems" ||
      fail "tarvo-pil check found problems in $pil"
    dump=$("$bin/tarvo-pil" dump "$pil")
    for series in Glucose Lactate LPRatio; do
      grep -q "\"$series\"" <<<"$dump" && pass "tarvo-pil dump shows $series" ||
        fail "tarvo-pil dump lacks $series"
    done
    # With the unit's UMask nothing below the root is open to other users.
    open_to_all=$(find "$root" -perm /o=rwx -not -type l -not -type s)
    [ -z "$open_to_all" ] && pass "no file or folder below the root is open to other users" ||
      fail "open to other users: $open_to_all"
  else
    fail "no $pil after the document"; cat "$log" >&2 || true
  fi
  # Either program asks the running service.
  for program in tarvo-collectd tarvo-collect; do
    status=$(TMPDIR="$run" "$bin/$program" --root "$root" --command status || true)
    grep -q "^Collection: " <<<"$status" && pass "$program --command through the unit's TMPDIR" ||
      fail "no answer to $program --command status: $status"
  done
  kill -TERM "$collector"
  wait "$collector" && pass "collector closed on SIGTERM" || fail "collector exit status $?"
  collector=
  grep -q ' - Closing application' "$log" && pass "log: Closing application" ||
    fail "no 'Closing application' in the log"
  grep -q '^<6>.* - Closing application$' "$scratch/journal.txt" &&
    pass "journal: <6> Closing application" || fail "no journal lines on standard error"
  grep -q '^<6>.* - Recreated data for P1' "$scratch/journal.txt" &&
    pass "journal: <6> Recreated data for P1" || fail "no rebuild line in the journal"
else
  fail "the installed collector did not start"; cat "$log" "$scratch/journal.txt" >&2 || true
fi

# The manual pages open, and each names its program and the package's version.
for page in "$installed"/usr/share/man/man1/*.1.gz; do
  program=$(basename "$page" .1.gz)
  text=$(MANWIDTH=80 man -P cat -l "$page" 2>/dev/null || true)
  if grep -q "^NAME" <<<"$text" && grep -qE "^ +$program - " <<<"$text" &&
    grep -qF "$version" <<<"$text"; then
    pass "man -l $program"
  else
    fail "man -l $page"; echo "$text" | head -20 >&2
  fi
  # The sections an administrator looks for, written for the page beside the --help text.
  for section in FILES ENVIRONMENT "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -qx "$section" <<<"$text" || fail "$program page has no $section section"
  done
done
if text=$(MANWIDTH=80 man -P cat -l "$installed/usr/share/man/man1/tarvo-collect.1.gz"); then
  grep -q -- "--log-to-stderr" <<<"$text" && pass "tarvo-collect page lists --log-to-stderr" ||
    fail "tarvo-collect page lacks --log-to-stderr"
fi

if [ "$failures" -ne 0 ]; then
  echo "installed-package-test: $failures checks failed" >&2
  exit 1
fi
echo "installed-package-test: all checks passed"

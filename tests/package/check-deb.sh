#!/usr/bin/env bash
# Checks a tarvo-collect .deb without installing it: the files it holds, its control data,
# lintian (no errors, no warnings beyond the accepted ones) and the systemd unit.
set -euo pipefail
deb=$1
here=$(cd "$(dirname "$0")" && pwd)
project_version=$(sed -n 's/^project(TarvoCollect VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Files.
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
expected=(
  ./usr/bin/tarvo-collect ./usr/bin/tarvo-pil ./usr/bin/tarvo-sim ./usr/bin/orvanta-automation-stub
  ./usr/lib/systemd/system/tarvo-collect.service
  ./usr/share/dbus-1/system.d/se.keldamed.Orvanta.Automation.conf
  ./usr/share/applications/tarvo-collect.desktop
  ./usr/share/icons/hicolor/48x48/apps/tarvo-collect.png
  ./usr/share/icons/hicolor/scalable/apps/tarvo-collect.svg
  ./usr/share/man/man1/tarvo-collect.1.gz ./usr/share/man/man1/tarvo-pil.1.gz
  ./usr/share/man/man1/tarvo-sim.1.gz ./usr/share/man/man1/orvanta-automation-stub.1.gz
  ./usr/share/tarvo-collect/service-settings.ini
  ./usr/share/doc/tarvo-collect/copyright ./usr/share/doc/tarvo-collect/changelog.gz
)
# Every program in /usr/bin has its manual page (astm-host too, once it is built).
for program in $(grep '^\./usr/bin/.' <<<"$contents" | sed 's|^\./usr/bin/||'); do
  expected+=("./usr/share/man/man1/$program.1.gz")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$contents" && pass "holds $path" || fail "missing $path"
done

# Control data.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tarvo-collect ] && pass "package name" || fail "package name $(field Package)"
[ "$(field Version)" = "$project_version" ] && pass "version $project_version" ||
  fail "version $(field Version), the project's is $project_version"
[ "$(basename "$deb")" = "tarvo-collect_${project_version}_$(field Architecture).deb" ] &&
  pass "file name" || fail "file name $(basename "$deb")"
depends=$(field Depends)
echo "Depends: $depends"
depended=$(sed 's/, */\n/g' <<<"$depends" | awk '{print $1}')
for library in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6dbus6 libpugixml1v5 adduser; do
  grep -qxF "$library" <<<"$depended" && pass "depends on $library" ||
    fail "no dependency on $library"
done
# The maintainer scripts are there and executable ("*" in the listing).
info=$(dpkg-deb --info "$deb")
for script in postinst prerm postrm; do
  grep -qE "^ +[0-9]+ bytes, +[0-9]+ lines +\* +$script " <<<"$info" && pass "executable $script" ||
    fail "no executable $script"
done

# Lintian: no errors, and only the warnings accepted in lintian-accepted.txt.
if command -v lintian >/dev/null; then
  report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
  [ -n "$report" ] && echo "$report"
  grep -q '^E: ' <<<"$report" && fail "lintian reports errors" || pass "lintian: no errors"
  accepted=$(awk '!/^#/ && NF {print $1}' "$here/lintian-accepted.txt")
  while read -r tag; do
    [ -z "$tag" ] && continue
    grep -qxF "$tag" <<<"$accepted" && pass "accepted lintian warning $tag" ||
      fail "lintian warning $tag is not accepted (tests/package/lintian-accepted.txt)"
  done < <(sed -n 's/^W: [^:]*: \([^ ]*\).*/\1/p' <<<"$report" | sort -u)
else
  fail "lintian is not installed (Debian package lintian)"
fi

# The desktop entry.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg -x "$deb" "$unpacked"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$unpacked/usr/share/applications/tarvo-collect.desktop" &&
    pass "desktop entry valid" || fail "desktop entry"
fi

# The systemd unit. Its program is not installed here, so a copy that starts the unpacked
# program is verified; any remark (systemd-analyze ends with 0 even then) is a failure.
if command -v systemd-analyze >/dev/null; then
  mkdir "$unpacked/unit"
  sed "s|^ExecStart=/usr/bin/|ExecStart=$unpacked/usr/bin/|" \
    "$unpacked/usr/lib/systemd/system/tarvo-collect.service" >"$unpacked/unit/tarvo-collect.service"
  output=$(systemd-analyze verify --man=no "$unpacked/unit/tarvo-collect.service" 2>&1) &&
    [ -z "$output" ] && pass "systemd-analyze verify" ||
    fail "systemd-analyze verify: $output"
  # Its exposure as systemd rates it (0 best, 10 worst) stays at 4.0 or less.
  rating=$(systemd-analyze security --offline=true --no-pager \
    "$unpacked/unit/tarvo-collect.service" 2>&1 || true)
  exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$rating")
  if [ -z "$exposure" ]; then
    fail "systemd-analyze security gave no exposure: $(tail -3 <<<"$rating")"
  elif awk -v e="$exposure" 'BEGIN { exit !(e <= 4.0) }'; then
    pass "systemd-analyze security: exposure $exposure"
  else
    fail "systemd-analyze security: exposure $exposure, more than 4.0"
    grep '✗' <<<"$rating" >&2 || true
  fi
else
  echo "skipped: systemd-analyze verify and security (systemd-analyze is not installed)"
fi
grep -qx 'UMask=0027' "$unpacked/usr/lib/systemd/system/tarvo-collect.service" &&
  pass "unit: UMask=0027" || fail "unit: no UMask=0027"

# The service's first settings admit the loopback addresses only.
settings=$unpacked/usr/share/tarvo-collect/service-settings.ini
grep -qx 'AllowedPeers=127.0.0.1,::1' "$settings" && pass "service settings: AllowedPeers loopback" ||
  fail "service settings: AllowedPeers is not 127.0.0.1,::1"

if [ "$failures" -ne 0 ]; then
  echo "check-deb: $failures checks failed" >&2
  exit 1
fi
echo "check-deb: all checks passed"

#!/usr/bin/env bash
# Checks the two packages without installing them, the service's tarvo-collectd .deb and the
# window's tarvo-collect .deb: the files each holds, their control data and dependencies (the
# service's none on a GUI library), lintian (no errors, no warnings beyond the accepted ones)
# and the systemd unit.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project_version=$(sed -n 's/^project(TarvoCollect VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

service_deb=$1
window_deb=$2

# Files.
contents() { dpkg-deb --contents "$1" | awk '{print $6}'; }
service_contents=$(contents "$service_deb")
window_contents=$(contents "$window_deb")
service_expected=(
  ./usr/bin/tarvo-collectd ./usr/bin/tarvo-pil ./usr/bin/tarvo-sim ./usr/bin/orvanta-automation-stub
  ./usr/lib/systemd/system/tarvo-collect.service
  ./usr/share/dbus-1/system.d/se.keldamed.Orvanta.Automation.conf
  ./usr/share/tarvo-collect/service-settings.ini
  ./usr/share/doc/tarvo-collectd/copyright ./usr/share/doc/tarvo-collectd/changelog.gz
)
window_expected=(
  ./usr/bin/tarvo-collect
  ./usr/share/applications/tarvo-collect.desktop
  ./usr/share/icons/hicolor/48x48/apps/tarvo-collect.png
  ./usr/share/icons/hicolor/scalable/apps/tarvo-collect.svg
  ./usr/share/doc/tarvo-collect/copyright ./usr/share/doc/tarvo-collect/changelog.gz
)
# Every program in /usr/bin has its manual page in its package (astm-host too, once it is built).
for program in $(grep '^\./usr/bin/.' <<<"$service_contents" | sed 's|^\./usr/bin/||'); do
  service_expected+=("./usr/share/man/man1/$program.1.gz")
done
window_expected+=(./usr/share/man/man1/tarvo-collect.1.gz)
for path in "${service_expected[@]}"; do
  grep -qxF "$path" <<<"$service_contents" && pass "tarvo-collectd holds $path" ||
    fail "tarvo-collectd lacks $path"
done
for path in "${window_expected[@]}"; do
  grep -qxF "$path" <<<"$window_contents" && pass "tarvo-collect holds $path" ||
    fail "tarvo-collect lacks $path"
done
# No file is in both packages.
shared=$(comm -12 <(grep -v '/$' <<<"$service_contents" | sort) <(grep -v '/$' <<<"$window_contents" | sort))
[ -z "$shared" ] && pass "no file in both packages" || fail "in both packages: $shared"

# Control data.
for deb in "$service_deb" "$window_deb"; do
  field() { dpkg-deb --field "$deb" "$1"; }
  name=$(field Package)
  [ "$(field Version)" = "$project_version" ] && pass "$name version $project_version" ||
    fail "$name version $(field Version), the project's is $project_version"
  [ "$(basename "$deb")" = "${name}_${project_version}_$(field Architecture).deb" ] &&
    pass "$name file name" || fail "file name $(basename "$deb")"
done
field() { dpkg-deb --field "$1" "$2"; }
[ "$(field "$service_deb" Package)" = tarvo-collectd ] && pass "service package name" ||
  fail "service package name $(field "$service_deb" Package)"
[ "$(field "$window_deb" Package)" = tarvo-collect ] && pass "window package name" ||
  fail "window package name $(field "$window_deb" Package)"
depended() { sed 's/, */\n/g' <<<"$(field "$1" Depends)" | awk '{print $1}'; }
echo "tarvo-collectd Depends: $(field "$service_deb" Depends)"
echo "tarvo-collect Depends: $(field "$window_deb" Depends)"
for library in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6dbus6 libpugixml1v5 adduser; do
  grep -qxF "$library" <<<"$(depended "$service_deb")" && pass "tarvo-collectd depends on $library" ||
    fail "tarvo-collectd: no dependency on $library"
done
# The service's package needs no graphical library: not Qt Gui, Widgets or Charts, nor X or GL.
gui=$(depended "$service_deb" | grep -E '^libqt6(gui|widgets|charts|opengl|svg)|^libx|^libgl|^libegl|^libxkb' || true)
[ -z "$gui" ] && pass "tarvo-collectd depends on no GUI library" ||
  fail "tarvo-collectd depends on GUI libraries: $gui"
grep -qE "(^|, )tarvo-collectd \(= $project_version\)" <<<"$(field "$window_deb" Depends)" &&
  pass "tarvo-collect depends on tarvo-collectd (= $project_version)" ||
  fail "tarvo-collect does not depend on tarvo-collectd of its version"
grep -qxF libqt6widgets6 <<<"$(depended "$window_deb")" && pass "tarvo-collect depends on libqt6widgets6" ||
  fail "tarvo-collect: no dependency on libqt6widgets6"
for relation in Breaks Replaces; do
  grep -qF "tarvo-collect (<< 0.2.0)" <<<"$(field "$service_deb" "$relation")" &&
    pass "tarvo-collectd $relation the single package of 0.1" ||
    fail "tarvo-collectd: no $relation: tarvo-collect (<< 0.2.0)"
done
# The maintainer scripts are there and executable ("*" in the listing).
info=$(dpkg-deb --info "$service_deb")
for script in postinst prerm postrm; do
  grep -qE "^ +[0-9]+ bytes, +[0-9]+ lines +\* +$script " <<<"$info" && pass "executable $script" ||
    fail "no executable $script"
done

# Lintian: no errors, and only the warnings accepted in lintian-accepted.txt.
if command -v lintian >/dev/null; then
  for deb in "$service_deb" "$window_deb"; do
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
    [ -n "$report" ] && echo "$report"
    grep -q '^E: ' <<<"$report" && fail "lintian reports errors for $deb" ||
      pass "lintian: no errors for $(basename "$deb")"
    accepted=$(awk '!/^#/ && NF {print $1}' "$here/lintian-accepted.txt")
    while read -r tag; do
      [ -z "$tag" ] && continue
      grep -qxF "$tag" <<<"$accepted" && pass "accepted lintian warning $tag" ||
        fail "lintian warning $tag is not accepted (tests/package/lintian-accepted.txt)"
    done < <(sed -n 's/^W: [^:]*: \([^ ]*\).*/\1/p' <<<"$report" | sort -u)
  done
else
  fail "lintian is not installed (Debian package lintian)"
fi

# The desktop entry.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg -x "$service_deb" "$unpacked"
dpkg -x "$window_deb" "$unpacked"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$unpacked/usr/share/applications/tarvo-collect.desktop" &&
    pass "desktop entry valid" || fail "desktop entry"
fi
# The service's program reaches no GUI library at run time either.
gui_libraries=$(ldd "$unpacked/usr/bin/tarvo-collectd" | grep -E 'libQt6(Gui|Widgets|Charts|OpenGL)|libX|libGL|libEGL|libxkb' || true)
[ -z "$gui_libraries" ] && pass "tarvo-collectd loads no GUI library" ||
  fail "tarvo-collectd loads GUI libraries: $gui_libraries"

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

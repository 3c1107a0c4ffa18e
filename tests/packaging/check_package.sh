#!/usr/bin/env bash
# Checks the Debian package of a build the way Debian and a desktop would:
# its exact file list, lintian, the manual page, the desktop entry and the
# AppStream metadata, the stripped binary and its separate debug symbols, the
# dependencies read off the binary, and (for hardened builds) the hardening.
#
#   check_package.sh BUILD_DIR [DEB]
#
# Without DEB the package is built from BUILD_DIR into a scratch folder; with
# DEB (and its -dbgsym .ddeb beside it) that package is checked as it is.
set -uo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
check() { # description, command...
  local what=$1; shift
  if "$@" >"$scratch/out" 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; cat "$scratch/out"; fi
}
# Succeeds when a command prints nothing (on either stream) and exits 0.
silent() {
  local output
  output=$("$@" 2>&1) && [ -z "$output" ] || { printf '%s\n' "$output"; return 1; }
}
# Succeeds when a command exits 0 and prints nothing on standard error.
quiet() {
  local errors
  errors=$("$@" 2>&1 >/dev/null) && [ -z "$errors" ] || { printf '%s\n' "$errors"; return 1; }
}

desktop_id=org.korvanteslin.Korvanteslin
component_id=org.korvanteslin.korvanteslin
expected_files="./usr/bin/korvanteslin
./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/korvanteslin/korvanteslin-window.so
./usr/share/applications/$desktop_id.desktop
./usr/share/doc/korvanteslin/changelog.Debian.gz
./usr/share/doc/korvanteslin/copyright
./usr/share/icons/hicolor/scalable/apps/$desktop_id.svg
./usr/share/lintian/overrides/korvanteslin
./usr/share/man/man1/korvanteslin.1.gz
./usr/share/metainfo/$component_id.metainfo.xml"

if [ $# -ge 2 ]; then
  deb=$(realpath "$2")
else
  (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || cat "$scratch/cpack.log"
  deb=$(ls "$scratch"/pkg/*.deb 2>/dev/null | head -n 1)
fi
if [ ! -f "$deb" ]; then
  echo "FAILED: no package was built"
  echo "0 passed, 1 failed"
  exit 1
fi
ddeb=${deb%.deb}.ddeb
ddeb=$(dirname "$ddeb")/$(basename "$ddeb" | sed 's/^korvanteslin_/korvanteslin-dbgsym_/')
root=$scratch/root
dpkg-deb -x "$deb" "$root"

# Exactly these files, nothing missing and nothing stray.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort > "$scratch/files"
check "the package holds exactly the expected files" diff -u <(sort <<<"$expected_files") "$scratch/files"

# Lintian: no error and no warning, pedantic tags included; this covers the
# stripped binary, the compressed files' time stamps, the manual page and the
# changelog. What remains (informational and pedantic tags) is shown.
lintian --pedantic --display-info --tag-display-limit 0 "$deb" > "$scratch/lintian" 2>/dev/null
check "lintian reports no error or warning" bash -c "! grep -E '^[EW]: ' '$scratch/lintian'"
grep -E '^[IPX]: ' "$scratch/lintian" | sed 's/^/lintian: /'

man=$root/usr/share/man/man1/korvanteslin.1.gz
check "the manual page formats without a warning" \
  quiet env LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS" EXAMPLES; do
  check "the manual page has the section $section" zgrep -qx "\.SH \"*$section\"*" "$man"
done

desktop=$root/usr/share/applications/$desktop_id.desktop
metainfo=$root/usr/share/metainfo/$component_id.metainfo.xml
check "desktop entry validates" silent desktop-file-validate "$desktop"
check "metainfo validates, pedantic hints included" \
  bash -c "! appstreamcli validate --pedantic --no-net '$metainfo' | grep -E '^[EWIP]: '"
check "metainfo launches the packaged desktop entry" \
  grep -q "<launchable type=\"desktop-id\">$desktop_id.desktop</launchable>" "$metainfo"
for tag in "name xml:lang=\"ru\"" "summary xml:lang=\"ru\"" "p xml:lang=\"ru\""; do
  check "metainfo has <$tag>" grep -q "<$tag>" "$metainfo"
done
for key in 'Name\[ru\]' 'GenericName\[ru\]' 'Comment\[ru\]'; do
  check "desktop entry has $key" grep -q "^$key=." "$desktop"
done
check "metainfo lists both screenshots over https" \
  bash -c "grep -c '<image>https://[^<]*/window-\(en\|ru\)\.png</image>' '$metainfo' | grep -qx 2"

# Launchers and task bars match the window to its entry: on Wayland by the
# desktop file name the program announces, on X11 by the window's WM_CLASS
# against the entry's StartupWMClass.
binary=$root/usr/bin/korvanteslin
window=$(find "$root/usr/lib" -name korvanteslin-window.so)
check "the window announces the desktop entry's id" \
  bash -c "{ strings -a '$window'; strings -a -el '$window'; } | grep -qx '$desktop_id'"
# One try at the program's first X11 window on a display of its own: succeeds
# when its class is the one given, else leaves the reason in FOLDER/report. The
# program gets a line of its own (a fresh settings file names COM2, which
# would otherwise be /dev/ttyS1), so no real port is touched.
window_class_try() { # class folder
  local want=$1 dir=$2 xvfb app class="" tries=0 display
  mkdir -p "$dir/data/Korvanteslin v.1.02"
  ln -s "$dir/no-line" "$dir/data/Korvanteslin v.1.02/COM2"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
  xvfb=$!
  while [ ! -s "$dir/display" ] && kill -0 "$xvfb" 2>/dev/null && [ $((tries += 1)) -le 300 ]; do sleep 0.1; done
  if [ ! -s "$dir/display" ]; then
    { echo "Xvfb gave no display:"; cat "$dir/xvfb.log"; } >"$dir/report"
    kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
    return 1
  fi
  display=:$(cat "$dir/display")
  DISPLAY=$display QT_QPA_PLATFORM=xcb ProgramFiles=$dir/data "$binary" >"$dir/program.log" 2>&1 &
  app=$!
  tries=0
  while [ -z "$class" ] && kill -0 "$app" 2>/dev/null && [ $((tries += 1)) -le 300 ]; do
    DISPLAY=$display xwininfo -root -tree >"$dir/windows" 2>&1
    class=$(sed -n 's/.*("[^"]*" "\([^"]*\)").*/\1/p' "$dir/windows" | head -n 1)
    [ -n "$class" ] || sleep 0.1
  done
  if [ -z "$class" ] && ! kill -0 "$app" 2>/dev/null; then
    wait "$app"
    echo "the program ended (status $?) before a window appeared; it printed:" >"$dir/report"
  elif [ -z "$class" ]; then
    echo "no window had a class after 30 s; the windows were:" >"$dir/report"
    cat "$dir/windows" >>"$dir/report"
    echo "the program printed:" >>"$dir/report"
  else
    echo "the window's class is \"$class\", not \"$want\"" >"$dir/report"
  fi
  [ -z "$class" ] && tail -n 20 "$dir/program.log" >>"$dir/report"
  kill "$app" "$xvfb" 2>/dev/null
  wait "$app" "$xvfb" 2>/dev/null
  [ "$class" = "$want" ]
}
# A display server or a start-up can stumble on a loaded machine, so a failed
# try is repeated once; when both fail, both say why.
window_class_is() { # class
  window_class_try "$1" "$scratch/x11-1" || window_class_try "$1" "$scratch/x11-2" && return 0
  for try in 1 2; do echo "try $try: $(cat "$scratch/x11-$try/report")"; done
  return 1
}
check "on X11 the window's class is the entry's StartupWMClass" \
  window_class_is "$(sed -n 's/^StartupWMClass=//p' "$desktop")"

if [ -f "$ddeb" ]; then
  build_id=$(readelf -n "$binary" | sed -n 's/.*Build ID: //p')
  check "the debug symbols are in the -dbgsym package" \
    bash -c "dpkg-deb -c '$ddeb' | grep -q './usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug\$'"
else
  check "a -dbgsym package was built beside the package" test -f "$ddeb"
fi

# Nothing but these tests ties the hand-kept texts to the version.
version=$(dpkg-deb -f "$deb" Version)
check "the changelog's latest entry is this version" \
  bash -c "zcat '$root/usr/share/doc/korvanteslin/changelog.Debian.gz' | head -n 1 | grep -q '^korvanteslin ($version) '"
check "the manual page names this version" \
  bash -c "zgrep '^\.TH ' '$man' | grep -qF 'Korvanteslin ${version%-*}\"'"
check "the copyright file is machine-readable" \
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$root/usr/share/doc/korvanteslin/copyright"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6serialport6 libqt6svg6; do
  check "depends on $lib" grep -q "$lib" <<<"$depends"
done
check "recommends the layout's fonts" grep -q fonts-liberation <<<"$(dpkg-deb -f "$deb" Recommends)"

# The flags of a Debian package build, seen in the binary: a position-
# independent executable, read-only relocations bound at start, a stack
# protector and fortified libc calls.
if grep -qx 'KORVANTESLIN_HARDEN:BOOL=ON' "$build/CMakeCache.txt"; then
  readelf -ldW "$binary" > "$scratch/elf"
  readelf --dyn-syms -W "$binary" > "$scratch/syms"
  check "hardened: position-independent executable" grep -q 'Flags: .*PIE' "$scratch/elf"
  check "hardened: read-only relocations" grep -q GNU_RELRO "$scratch/elf"
  check "hardened: bound at start" grep -qE 'BIND_NOW|Flags: .*NOW' "$scratch/elf"
  check "hardened: stack protector" grep -q __stack_chk_fail "$scratch/syms"
  check "hardened: fortified libc calls" grep -qE '__[a-z_]+_chk\b' "$scratch/syms"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

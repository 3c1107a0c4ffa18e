#!/usr/bin/env bash
# Installs the built program into a scratch root, builds its Debian package,
# and checks that both carry the program, its desktop entry, icon and
# metadata, that the validators accept them, and that the package's
# dependencies were read off the binary.
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

app=org.korvanteslin.Korvanteslin
files=(usr/bin/korvanteslin
       usr/share/applications/$app.desktop
       usr/share/metainfo/$app.metainfo.xml
       usr/share/icons/hicolor/scalable/apps/$app.svg)

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
for f in "${files[@]}"; do check "installed $f" test -f "$scratch/root/$f"; done
check "desktop entry validates" desktop-file-validate "$scratch/root/usr/share/applications/$app.desktop"
check "metainfo validates" appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/$app.metainfo.xml"

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || cat "$scratch/cpack.log"
deb=$(ls "$scratch"/pkg/*.deb 2>/dev/null | head -n 1)
check "a package was built" test -n "$deb"
if [ -n "$deb" ]; then
  dpkg-deb -c "$deb" > "$scratch/list"
  for f in "${files[@]}"; do check "packaged $f" grep -q " \./$f\$" "$scratch/list"; done
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libqt6widgets6 libqt6serialport6 libqt6svg6; do
    check "depends on $lib" grep -q "$lib" <<<"$depends"
  done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

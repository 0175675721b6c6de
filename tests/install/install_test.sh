#!/usr/bin/env bash
# install_test.sh BUILD VERSION: installs BUILD into a temporary prefix and
# checks what a desktop sees there: both programs, the launcher entry, the
# AppStream description, the icon at every size, the manual pages; validates
# the entry and the description with the desktop's own tools; runs --version
# and --help of the installed programs without a display.
set -uo pipefail
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
stage=$tmp/stage
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$stage" >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }

share=$stage/share
desktop=$share/applications/org.brannock.Vantrell.desktop
metainfo=$share/metainfo/org.brannock.Vantrell.metainfo.xml
expected=(bin/vantrell bin/vantrell-db
          share/applications/org.brannock.Vantrell.desktop
          share/metainfo/org.brannock.Vantrell.metainfo.xml
          share/icons/hicolor/scalable/apps/vantrell.svg
          share/man/man1/vantrell.1.gz share/man/man1/vantrell-db.1.gz
          share/doc/vantrell/copyright share/doc/vantrell/changelog.gz)
for side in 16 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${side}x${side}/apps/vantrell.png")
done
for f in "${expected[@]}"; do
  [[ -s $stage/$f ]] || fail "not installed: $f"
done
for f in bin/vantrell bin/vantrell-db; do
  [[ -x $stage/$f ]] || fail "not executable: $f"
done

# Each PNG is of the size its folder names, with transparency.
for side in 16 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${side}x${side}/apps/vantrell.png
  [[ -f $png ]] || continue
  info=$(file -b "$png")
  [[ $info == *"PNG image data, $side x $side,"*RGBA* ]] || fail "$png: $info"
done
# The SVG is well-formed XML.
svg=$share/icons/hicolor/scalable/apps/vantrell.svg
/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' "$svg" ||
  fail "vantrell.svg is not well-formed"

# The entry starts the installed program by the icon it installs.
grep -qx 'Exec=vantrell' "$desktop" || fail "desktop entry: Exec is not vantrell"
grep -qx 'Icon=vantrell' "$desktop" || fail "desktop entry: Icon is not vantrell"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" >"$tmp/as.log" 2>&1 ||
  { cat "$tmp/as.log" >&2; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo: no release $version"

# The manual pages format without warnings.
for page in vantrell vantrell-db; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [[ -z $out ]] || fail "man $page: $out"
  # The page's footer carries the version the programs print.
  zcat "$share/man/man1/$page.1.gz" | head -1 | grep -qF "\"Vantrell $version\"" || fail "man $page: not version $version"
done

# --version and --help print and end with 0, without a display.
run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$@" </dev/null; }
out=$(run "$stage/bin/vantrell" --version) || fail "vantrell --version exit $?"
[[ $out == "vantrell $version" ]] || fail "vantrell --version printed: $out"
out=$(run "$stage/bin/vantrell" --help) || fail "vantrell --help exit $?"
[[ $out == *"--data-dir <folder>"* && $out == *"--version"* ]] || fail "vantrell --help printed: $out"
out=$(run "$stage/bin/vantrell-db" --version) || fail "vantrell-db --version exit $?"
[[ $out == "vantrell-db $version" ]] || fail "vantrell-db --version printed: $out"
out=$(run "$stage/bin/vantrell-db" --help) || fail "vantrell-db --help exit $?"
[[ $out == usage:*"vantrell-db check DATADIR"* ]] || fail "vantrell-db --help printed: $out"

[[ $failures -eq 0 ]] || exit 1
echo "installed tree ok"

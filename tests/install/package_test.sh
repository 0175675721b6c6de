#!/usr/bin/env bash
# package_test.sh BUILD VERSION: builds the Debian package of BUILD in a
# temporary folder and checks its name, its file list, that its
# dependencies, found from the linked libraries, name Qt 6, and what Debian
# policy asks of its documents: a copyright file, a changelog of this
# version, manual pages and changelog compressed with gzip -9n.
set -uo pipefail
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }

arch=$(dpkg --print-architecture)
deb=$tmp/out/vantrell_${version}_${arch}.deb
[[ -f $deb ]] || { ls "$tmp/out" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$tmp/files"
expected=(/usr/bin/vantrell /usr/bin/vantrell-db
          /usr/share/applications/org.brannock.Vantrell.desktop
          /usr/share/metainfo/org.brannock.Vantrell.metainfo.xml
          /usr/share/icons/hicolor/scalable/apps/vantrell.svg
          /usr/share/man/man1/vantrell.1.gz /usr/share/man/man1/vantrell-db.1.gz
          /usr/share/doc/vantrell/copyright /usr/share/doc/vantrell/changelog.gz)
for side in 16 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${side}x${side}/apps/vantrell.png")
done
for f in "${expected[@]}"; do
  grep -qx "$f" "$tmp/files" || fail "not in the package: $f"
done
# Nothing of the build (tests, tools, libraries, headers) comes along.
extra=$(grep -v -e '/$' "$tmp/files" | grep -vxF -f <(printf '%s\n' "${expected[@]}"))
[[ -z $extra ]] || fail "unexpected files in the package: $extra"

[[ $(dpkg-deb -f "$deb" Package) == vantrell ]] || fail "Package is not vantrell"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version is not $version"
[[ $(dpkg-deb -f "$deb" Section) == utils ]] || fail "Section is not utils"
[[ $(dpkg-deb -f "$deb" Maintainer) == "Brannock <maintainers@brannock.example>" ]] || fail "Maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6printsupport6 libzip4 libblkid1 qt6-qpa-plugins; do
  [[ $depends == *"$lib"* ]] || fail "Depends does not name $lib: $depends"
done

# The documents as Debian policy has them.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/vantrell
head -1 "$doc/copyright" 2>/dev/null | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright is not in the machine-readable format"
grep -q '^License: ' "$doc/copyright" 2>/dev/null || fail "copyright names no license"
if zcat "$doc/changelog.gz" >"$tmp/changelog" 2>/dev/null; then
  [[ $(dpkg-parsechangelog -l "$tmp/changelog" -S Version) == "$version" ]] ||
    fail "the changelog's latest entry is not $version"
else
  fail "changelog.gz is not gzip"
fi
for f in "$doc/changelog.gz" "$root"/usr/share/man/man1/*.gz; do
  gzip -t "$f" 2>/dev/null || { fail "not gzip: $f"; continue; }
  # gzip -9n: no file name or time stamp in the header, best compression.
  header=$(head -c 10 "$f" | od -An -tu1 | tr -s ' ')
  read -r _ _ _ flags t0 t1 t2 t3 xfl _ <<<"$header"
  (( (flags & 8) == 0 && t0 + t1 + t2 + t3 == 0 && xfl == 2 )) || fail "not compressed with gzip -9n: $f"
done
[[ -z $(find "$root/usr/share/man" -type f ! -name '*.gz') ]] || fail "uncompressed manual pages"
for f in "$doc"/* "$root"/usr/share/man/man1/*; do
  [[ $(stat -c %a "$f") == 644 ]] || fail "$f is not mode 644"
done

[[ $failures -eq 0 ]] || exit 1
echo "package ok: $(basename "$deb")"

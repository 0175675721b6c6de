#!/usr/bin/env bash
# Installs the Debian packages the build (and, with --test, the tests; with
# --bench, the benchmarks and their peers; with --package, the Debian
# package; with --windows, the Windows build and Wine; with --screenshots
# or --desktop, the screenshot scripts) needs, only those that are
# missing. Works as root or through sudo.
set -euo pipefail

# qt6-svg-dev: the icons are SVG files. libblkid-dev: the UUID and label of
# a volume where udev keeps no links under /dev/disk.
build_pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libzip-dev zlib1g-dev
            libblkid-dev libgl-dev fonts-liberation2)
# libicu-dev: the reference the engine's own case folding is tested against.
test_pkgs=(libicu-dev python3 python3-dbfread python3-dbf sqlite3 libsqlite3-dev xvfb xauth
           poppler-utils zip unzip googletest libgtest-dev cups printer-driver-cups-pdf
           desktop-file-utils appstream man-db file dpkg-dev)
# `make package`: CPack finds the package's dependencies with dpkg-shlibdeps,
# which looks at the files `file` calls executables.
package_pkgs=(dpkg-dev file)

# clang and its libFuzzer runtime: tests/fuzz/run.sh, and `make test`, which
# fuzzes each engine fuzz target for a minute.
fuzz_pkgs=(clang libclang-rt-dev)
# The benchmark program links SQLite; its whole-process peers are the sqlite3
# shell and grep.
bench_pkgs=(sqlite3 libsqlite3-dev grep)
# scripts/screenshots.sh, and scripts/desktop-screenshots.sh with its window
# manager, panel and application menu.
screenshots_pkgs=(xvfb xauth imagemagick xdotool zip)
desktop_pkgs=(xvfb imagemagick xdotool openbox tint2 rofi)
# make windows / make windows-test: the MinGW-w64 cross compiler (the posix
# thread model, for std::thread), GoogleTest's sources to build for it, and
# Wine to run the programs.
windows_pkgs=(g++-mingw-w64-x86-64-posix googletest wine wine64)

want=("${build_pkgs[@]}")
case "${1:-}" in
  --test) want+=("${test_pkgs[@]}" "${fuzz_pkgs[@]}") ;;
  --fuzz) want+=("${fuzz_pkgs[@]}") ;;
  --bench) want+=("${bench_pkgs[@]}") ;;
  --package) want+=("${package_pkgs[@]}") ;;
  --screenshots) want+=("${screenshots_pkgs[@]}") ;;
  --desktop) want+=("${desktop_pkgs[@]}") ;;
  --windows) want+=("${windows_pkgs[@]}") ;;
esac

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

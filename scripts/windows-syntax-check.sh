#!/usr/bin/env bash
# Compiles every source file of the windows for Windows, syntax only, with
# the MinGW-w64 compiler: the Windows branches (_WIN32, Q_OS_WIN) and the
# *_win32.cpp files are parsed against the real Windows headers. There is no
# Qt for Windows here, so Qt's headers are those of the Linux Qt 6
# development package: they parse for a Windows target, but their
# configuration is Linux's, and nothing is linked or run. A check that the
# Windows code is well-formed C++ calling Win32 functions that exist, not a
# Windows build.
#
#   scripts/windows-syntax-check.sh [FILE...]   (default: every window source)
set -euo pipefail
cd "$(dirname "$0")/.."

CXX=${CXX_MINGW:-x86_64-w64-mingw32-g++-posix}
QT=${QT_HEADERS:-$(ls -d /usr/include/*-linux-gnu/qt6 2>/dev/null | head -n 1)}
if ! command -v "$CXX" >/dev/null || [[ -z "$QT" || ! -d "$QT/QtCore" ]]; then
  echo "Needs $CXX (g++-mingw-w64-x86-64-posix) and Qt 6's headers (qt6-base-dev)." >&2
  exit 1
fi

# The headers of libzip and zlib alone: the rest of /usr/include is Linux's
# own.
zipinc=$(mktemp -d)
trap 'rm -rf "$zipinc"' EXIT
for h in zip.h zipconf.h zlib.h zconf.h; do
  ln -s "$(find /usr/include -name "$h" | head -n 1)" "$zipinc/$h"
done

folders=(components app browse addfiles search reports fileops zip help)
if [[ $# -gt 0 ]]; then
  files=("$@")
else
  # The POSIX halves of the split files are left to the Linux build.
  mapfile -t files < <(find "${folders[@]}" -name '*.cpp' ! -name '*_posix.cpp' | sort)
fi

flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wno-unused-parameter -Werror
       -DVANTRELL_VERSION='"0"' -isystem "$zipinc")
for m in "" QtCore QtGui QtWidgets QtNetwork QtPrintSupport QtSvg; do flags+=(-isystem "$QT/$m"); done
for d in "${folders[@]}" store store/xbase store/cli; do flags+=(-I"$d"); done

out="$zipinc/messages"
printf '%s\n' "${files[@]}" |
  xargs -P "${JOBS:-2}" -I{} sh -c '"$0" "$@" {} 2>&1 | grep -v "^In file included from\|^  *from " || true' "$CXX" "${flags[@]}" \
  > "$out"
if [[ -s "$out" ]]; then
  cat "$out" >&2
  echo "windows-syntax-check: errors above" >&2
  exit 1
fi
echo "windows-syntax-check: ${#files[@]} files parse for Windows"

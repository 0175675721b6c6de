#!/usr/bin/env bash
# A database written by the Windows build of vantrell-db opens in the Linux
# build, and the reverse: the same records, byte for byte, both ways, after
# every kind of write (import, pack, reindex), and the same search answers.
#   files_both_ways.sh WINDOWS_EXE LINUX_EXE WINE
set -euo pipefail
win_exe="$1"
linux_exe="$2"
wine="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/vantrell-both-ways.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

win() { "$wine" "$win_exe" "$@"; }
# The Windows build's messages and lists end their lines with CR LF, as
# Windows text does; an export is data and the same bytes on both systems.
win_text() { win "$@" | tr -d '\r'; }
lin() { "$linux_exe" "$@"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Records of several catalogs: letters beyond ASCII, Windows and POSIX
# paths, descriptions with tabs and line breaks (kept in the memo file), an
# empty description, a long one.
{
  long="$(printf 'ä%.0s' $(seq 1 3000))"
  for i in $(seq 1 400); do
    printf 'Catalog %d\tTitle %d Ünïcødé 日本語 Straße\tC:\\Files\\Dir %d\\file %d.txt\t%d\t%02d/%02d/20%02d\tline one\\tcell\\nline two %d\n' \
      $((i % 5)) "$i" $((i % 13)) "$i" $((i * 1031)) $((i % 12 + 1)) $((i % 28 + 1)) $((i % 30)) "$i"
  done
  printf 'Ελληνικά\tΤίτλος\t/home/user/φάκελος/αρχείο.jpg\t1,234,567\t31/12/1999\t\n'
  printf 'Long\tA long description\t\\\\server\\share\\x.bin\t0\t01/01/2000\t%s\n' "$long"
} > records.tsv

win create W > /dev/null
lin create L > /dev/null
win import W records.tsv > /dev/null || fail "import by the Windows build"
lin import L records.tsv > /dev/null || fail "import by the Linux build"

same_records() {  # two data folders, read by both builds
  local a="$1" b="$2" what="$3"
  lin export "$a" > "$a.lin" || fail "$what: the Linux build cannot export $a"
  win export "$a" > "$a.win" || fail "$what: the Windows build cannot export $a"
  lin export "$b" > "$b.lin" || fail "$what: the Linux build cannot export $b"
  cmp -s "$a.lin" "$a.win" || fail "$what: the two builds read $a differently"
  cmp -s "$a.lin" "$b.lin" || fail "$what: $a and $b hold different records"
  [[ "$(lin check "$a")" == ok ]] || fail "$what: the Linux build's check of $a"
  [[ "$(win_text check "$b")" == ok ]] || fail "$what: the Windows build's check of $b"
  for f in VTLDataA.dbf VTLDataA.SMT VTLCa.dbf; do
    cmp -s "$a/$f" "$b/$f" || fail "$what: $f differs between the two builds' files"
  done
}
same_records W L "after import"
[[ "$(wc -l < W.lin)" -eq 402 ]] || fail "not every record was exported"

# Each build searches the other's files alike.
for text in "file 1" "ÜNÏCØDÉ" "straße" "αρχείο"; do
  lin search W "$text" --title > s.lin || true
  win_text search L "$text" --title > s.win || true
  cmp -s s.lin s.win || fail "search for \"$text\": the builds answer differently"
done

# The other build writes on: deletes packed away, indexes rebuilt.
printf 'Catalog 9\tAdded on Linux\t/x/y\t1\t01/01/2001\t\n' > more.tsv
lin import W more.tsv > /dev/null
win import L more.tsv > /dev/null
same_records W L "after the other build's import"
win pack W > /dev/null || fail "pack by the Windows build"
lin pack L > /dev/null || fail "pack by the Linux build"
win reindex L > /dev/null || fail "reindex by the Windows build"
lin reindex W > /dev/null || fail "reindex by the Linux build"
same_records W L "after pack and reindex"

# A folder named in letters beyond ASCII, given to the Windows build as a
# drive-letter path with backslashes, and read by the Linux build.
folder="Dätä 日本 $(printf 'é%.0s' 1 2 3)"
windows_path="$("$wine" winepath.exe -w "$work/$folder" 2>/dev/null | tr -d '\r')"
[[ "$windows_path" == ?:\\* ]] || fail "no drive-letter path for $work/$folder (got \"$windows_path\")"
win create "$windows_path" > /dev/null || fail "create in $windows_path"
win import "$windows_path" records.tsv > /dev/null || fail "import into $windows_path"
win pack "$windows_path" > /dev/null || fail "pack of $windows_path"
lin create L0 > /dev/null
lin import L0 records.tsv > /dev/null
same_records "$folder" L0 "in a folder named $folder"
echo "the same records both ways"

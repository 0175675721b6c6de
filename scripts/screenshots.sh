#!/usr/bin/env bash
# Starts the real program under Xvfb on a generated database and saves
# screenshots of the main window, the "Database Utility" window (first run
# on an empty folder), the About window and the other windows of the
# program (adding files, search, reports, the File menu's Copy).
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="${2:-$root/build/screenshots}"
bin="$build/bin"
mkdir -p "$out"

"$root/scripts/setup.sh" --screenshots

if [[ -n "${SCREENSHOT_WORK:-}" ]]; then
  work="$SCREENSHOT_WORK"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# A catalogue of files that are on this machine, and a few that are not.
data="$work/data"
if [[ -z "${SCREENSHOT_SESSION:-}" ]]; then
"$bin/vantrell-db" create "$data" >/dev/null
{
  n=0
  while IFS= read -r f; do
    size=$(stat -c %s "$f"); date=$(date -d "@$(stat -c %Y "$f")" '+%d/%m/%Y %H:%M:%S')
    case $((n % 3)) in 0) cat="System docs";; 1) cat="Licences";; 2) cat="Photos 2019";; esac
    title="$(basename "$(dirname "$f")") $(basename "$f")"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$cat" "$title" "$f" "$(printf "%'d" "$size")" "$date" \
      "Catalogued from $(dirname "$f").\\nSecond line of the description."
    n=$((n + 1))
  done < <(find /usr/share/doc -maxdepth 2 -type f -name 'copyright' | sort | head -300)
  printf 'Backup disk\tHoliday pictures.zip\t/media/backup/holiday.zip\t12,345,678\t01/08/2021 10:12:00\tOn the blue USB disk.\n'
  printf 'Backup disk\tTax return 2020\t/media/backup/tax-2020.pdf\t234,567\t15/04/2021 09:00:00\t\n'
  printf 'Backup disk\tArchive of letters.zip\t%s/letters.zip\t4,096\t02/03/2022 11:30:00\tLetters of 2021, zipped.\n' "$work"
} | "$bin/vantrell-db" import "$data" - >/dev/null
fi

# A zip archive of a few letters, catalogued in "Backup disk".
if [[ ! -f "$work/letters.zip" ]]; then
  mkdir -p "$work/letters/2021"
  for m in January February March April; do
    printf 'Dear friends,\n\nThe %s meeting is on the first Monday, at seven.\nPlease bring the minutes of the last one.\n\nWith kind regards,\nThe secretary\n' "$m" \
      > "$work/letters/2021/$m.txt"
  done
  (cd "$work/letters" && zip -q -r "$work/letters.zip" 2021)
fi

# A folder of documents for the add-files dialog, remembered as the folder
# to add from.
docs="$work/Documents"
mkdir -p "$docs/Letters" "$docs/Photos 2019" "$docs/Tax"
for f in "Invoice 2021-03.pdf" "Invoice 2021-04.pdf" "Holiday plan.odt" "Reading list.txt" "Budget 2022.ods" \
         "Car insurance.pdf" "Recipes.txt" "Garden.jpg"; do
  head -c $((RANDOM * 7)) /dev/zero > "$docs/$f"
done
mkdir -p "$XDG_CONFIG_HOME/Brannock"
printf '[StartUp]\nAddStrtDir=%s/\nAddStrtExt=*.*\n' "$docs" > "$XDG_CONFIG_HOME/Brannock/Vantrell.conf"

shot() {  # shot NAME WINDOW-NAME
  local id
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1) && [[ -n "$id" ]] && break
    sleep 0.2
  done
  [[ -n "${id:-}" ]] || {
    echo "window \"$2\" did not appear (the screen is in $out/$1-missing.png)" >&2
    import -window root "$out/$1-missing.png" 2>/dev/null || true
    return 1
  }
  sleep 0.8
  import -window "$id" -frame "$out/$1.png" 2>/dev/null || import -window "$id" "$out/$1.png"
  echo "$out/$1.png"
}

close_window() {  # close_window WINDOW-NAME: Escape until it is gone
  local id
  for _ in $(seq 1 10); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    [[ -z "$id" ]] && return 0
    xdotool windowfocus --sync "$id" 2>/dev/null && xdotool key Escape 2>/dev/null || true
    sleep 0.3
  done
  return 1
}

run_session() {
  "$bin/vantrell" --data-dir "$data" & local pid=$!
  shot main "Vantrell"
  # No window manager runs under Xvfb: give the window the keyboard focus
  # directly, then type as a user would.
  local main
  main=$(xdotool search --onlyvisible --name '^Vantrell$' | head -1)
  xdotool windowfocus --sync "$main" key F1 || true
  shot help "Vantrell Help" || true
  close_window "Vantrell Help" || true
  xdotool windowfocus --sync "$main" key alt+h sleep 0.5 key a || true
  shot about "About Vantrell" || true
  close_window "About Vantrell" || true

  # Adding files: the dialog on the documents folder, every file chosen,
  # Add; the batch form that lists them; its Add.
  local dialog
  xdotool windowfocus --sync "$main" key alt+r sleep 0.5 key a || true
  shot add-files "Select the file that you want to ADD. " || true
  dialog=$(xdotool search --onlyvisible --name '^Select the file that you want to ADD. $' 2>/dev/null | head -1 || true)
  if [[ -n "$dialog" ]]; then
    # The file list has the focus: choose every file, then press Add at
    # the dialog's bottom left.
    xdotool windowfocus --sync "$dialog" key ctrl+a sleep 0.3
    xdotool mousemove --window "$dialog" 40 "$(( $(xdotool getwindowgeometry "$dialog" | awk '/Geometry/ { split($2, g, "x"); print g[2] }') - 17 ))" click 1
    shot batch-add "Add records to" || true
    close_window "Add records to" || true
  fi

  # The records of the shown catalog chosen in the grid, then Move.
  xdotool windowfocus --sync "$main" mousemove --window "$main" 200 185 click 1 sleep 0.3 key ctrl+a sleep 0.3 \
    key alt+r sleep 0.5 key m || true
  shot batch-move "Move records to" || true
  close_window "Move records to" || true

  # The catalog form, for a new catalog.
  xdotool windowfocus --sync "$main" key alt+c sleep 0.5 key a || true
  shot catalog-add "Add catalog" || true
  close_window "Add catalog" || true

  # Searching every catalog for a piece of the path.
  xdotool windowfocus --sync "$main" key alt+r sleep 0.5 key s || true
  local found
  for _ in $(seq 1 25); do
    found=$(xdotool search --onlyvisible --name '^Search $' 2>/dev/null | head -1 || true)
    [[ -n "$found" ]] && break
    sleep 0.2
  done
  if [[ -n "$found" ]]; then
    xdotool windowfocus --sync "$found" type --delay 20 "copyright"
    xdotool key Return
  fi
  shot search "Search " || true
  close_window "Search " || true

  # The catalog report: its setup, then the preview.
  xdotool windowfocus --sync "$main" key alt+p sleep 0.5 key c || true
  shot report-setup "Report Setup" || true
  xdotool search --onlyvisible --name '^Report Setup$' windowfocus --sync key Return 2>/dev/null || true
  shot report-preview "Report Preview" || true
  close_window "Report Preview" || true
  # The record report of the record shown, previewed.
  xdotool windowfocus --sync "$main" key alt+p sleep 0.5 key r || true
  for _ in $(seq 1 25); do
    xdotool search --onlyvisible --name '^Report Setup$' >/dev/null 2>&1 && break
    sleep 0.2
  done
  sleep 0.8
  # The catalog report's setup window may still be listed: the newest is last.
  for _ in $(seq 1 5); do
    xdotool key --window "$(xdotool search --onlyvisible --name '^Report Setup$' | tail -1)" Return 2>/dev/null || true
    sleep 1
    xdotool search --onlyvisible --name '^Report Preview$' >/dev/null 2>&1 && break
  done
  shot record-preview "Report Preview" || true
  close_window "Report Preview" || true

  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
  "$bin/vantrell" --data-dir "$work/empty" & pid=$!
  shot database-utility "Database Utility"
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true

  # The file operation window of File > Copy, on a record whose file is on
  # this machine: the catalog "Licences" is shown at start.
  mkdir -p "$work/config-fileops/Brannock"
  printf '[FormOps]\nDFTab=Licences\n' > "$work/config-fileops/Brannock/Vantrell.conf"
  XDG_CONFIG_HOME="$work/config-fileops" "$bin/vantrell" --data-dir "$data" & pid=$!
  for _ in $(seq 1 50); do
    main=$(xdotool search --onlyvisible --name '^Vantrell$' 2>/dev/null | head -1 || true)
    [[ -n "$main" ]] && break
    sleep 0.2
  done
  sleep 1  # the record's file is found, which enables the File commands
  # "&Copy" and "&Create Folder" share their key: Return takes the first item.
  xdotool windowfocus --sync "$main" key alt+f sleep 0.5 key Return || true
  shot file-operation "Copy File" || true
  close_window "Copy File" || true
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true

  # The zip archive window on the catalogued archive, after extracting every
  # entry, and the text viewer of its first entry.
  mkdir -p "$work/config-zip/Brannock" "$work/extracted"
  printf '[FormOps]\nDFTab=Backup disk\n[StartUp]\nZipStrtDir=%s/extracted/\nExpDirs=1\nExtAll=0\n' "$work" \
    > "$work/config-zip/Brannock/Vantrell.conf"
  XDG_CONFIG_HOME="$work/config-zip" "$bin/vantrell" --data-dir "$data" & pid=$!
  for _ in $(seq 1 50); do
    main=$(xdotool search --onlyvisible --name '^Vantrell$' 2>/dev/null | head -1 || true)
    [[ -n "$main" ]] && break
    sleep 0.2
  done
  sleep 1  # the archive is found, which enables the zip commands
  xdotool windowfocus --sync "$main" key alt+r sleep 0.5 key z || true
  local zipw=""
  for _ in $(seq 1 25); do
    zipw=$(xdotool search --onlyvisible --name '^Zip File Archive$' 2>/dev/null | head -1 || true)
    [[ -n "$zipw" ]] && break
    sleep 0.2
  done
  if [[ -n "$zipw" ]]; then
    local width
    width=$(xdotool getwindowgeometry "$zipw" | awk '/Geometry/ { split($2, g, "x"); print g[1] }')
    # Extract: the first of the two buttons at the top right.
    xdotool mousemove --window "$zipw" $((width - 6 - 73 - 6 - 36)) 16 click 1 sleep 1
    shot zip-archive "Zip File Archive" || true
    # The first file (the row under the folder's), double-clicked.
    xdotool mousemove --window "$zipw" 100 80 click --repeat 2 1 || true
    shot zip-text "Extracted ZipText " || true
    close_window "Extracted ZipText " || true
    close_window "Zip File Archive" || true
  fi
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
}
if [[ "${SCREENSHOT_SESSION:-}" == 1 ]]; then
  run_session
else
  export bin data work out SCREENSHOT_SESSION=1 SCREENSHOT_WORK="$work"
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$build" "$out"
fi

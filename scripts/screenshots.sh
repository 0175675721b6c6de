#!/usr/bin/env bash
# Starts the real program under Xvfb on a generated database and saves
# screenshots of the main window, the "Database Utility" window (first run
# on an empty folder) and the About window.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="${2:-$root/build/screenshots}"
bin="$build/bin"
mkdir -p "$out"

need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v import >/dev/null || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
if [[ ${#need[@]} -gt 0 ]]; then
  SUDO=(); [[ $(id -u) -eq 0 ]] || SUDO=(sudo)
  "${SUDO[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

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
} | "$bin/vantrell-db" import "$data" - >/dev/null
fi

shot() {  # shot NAME WINDOW-NAME
  local id
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1) && [[ -n "$id" ]] && break
    sleep 0.2
  done
  [[ -n "${id:-}" ]] || { echo "window \"$2\" did not appear" >&2; return 1; }
  sleep 0.8
  import -window "$id" -frame "$out/$1.png" 2>/dev/null || import -window "$id" "$out/$1.png"
  echo "$out/$1.png"
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
  xdotool search --onlyvisible --name '^Vantrell Help$' windowfocus --sync key Escape 2>/dev/null || true
  xdotool windowfocus --sync "$main" key alt+h sleep 0.5 key a || true
  shot about "About Vantrell" || true
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
  "$bin/vantrell" --data-dir "$work/empty" & pid=$!
  shot database-utility "Database Utility"
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
}
if [[ "${SCREENSHOT_SESSION:-}" == 1 ]]; then
  run_session
else
  export bin data work out SCREENSHOT_SESSION=1 SCREENSHOT_WORK="$work"
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$build" "$out"
fi

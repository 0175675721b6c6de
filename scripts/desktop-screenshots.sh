#!/usr/bin/env bash
# The program as installed on a desktop: Xvfb with a window manager
# (openbox) and a panel with a launcher and a notification area (tint2).
# Installs the build into a staging folder, starts the installed program
# from there and saves screenshots of
#   desktop         the window in the tray's company, opened from the tray menu
#   tray-menu       the notification-area icon's menu
#   help-on-top     F1 over a main window that is kept on top
#   menu-entry      the application menu (rofi) showing the menu entry and icon
#   read-only       a catalogue the user cannot write (folder and files
#                   read-only, one index missing), run as a user who is not root
#   scale-200       the main window at 200 % (QT_SCALE_FACTOR=2)
#
#   scripts/desktop-screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

"$root/scripts/setup.sh" --desktop

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# The installed program, found through the staging folder as a desktop
# finds an installed one.
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
export PATH="$prefix/bin:$PATH"
export XDG_DATA_DIRS="$prefix/share:/usr/local/share:/usr/share"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Brannock" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# A small catalogue of files on this machine.
data="$work/data"
vantrell-db create "$data" >/dev/null
{
  n=0
  while IFS= read -r f; do
    case $((n % 3)) in 0) cat="System docs";; 1) cat="Licences";; 2) cat="Photos 2019";; esac
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$cat" "$(basename "$(dirname "$f")") $(basename "$f")" "$f" \
      "$(stat -c %s "$f")" "$(date -d "@$(stat -c %Y "$f")" '+%d/%m/%Y %H:%M:%S')" "Catalogued from $(dirname "$f")."
    n=$((n + 1))
  done < <(find /usr/share/doc -maxdepth 2 -type f -name copyright | sort | head -120)
} | vantrell-db import "$data" - >/dev/null

# The X server, without access control, so that the user who is not root
# (the read-only catalogue) can show windows on it too, with the window
# manager and the panel.
desktop=()
start_desktop() {  # start_desktop WIDTHxHEIGHT
  export DISPLAY=:$((90 + RANDOM % 9))
  Xvfb "$DISPLAY" -screen 0 "$1x24" -nolisten tcp -ac >/dev/null 2>&1 & desktop=($!)
  for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & desktop+=($!)
  tint2 -c "$XDG_CONFIG_HOME/tint2/tint2rc" >/dev/null 2>&1 & desktop+=($!)
  pids+=("${desktop[@]}")
  sleep 1.5
}
stop_desktop() {
  for ((i = ${#desktop[@]} - 1; i >= 0; i--)); do
    kill "${desktop[i]}" 2>/dev/null || true
    wait "${desktop[i]}" 2>/dev/null || true
  done
}
mkdir -p "$XDG_CONFIG_HOME/tint2"
cat > "$XDG_CONFIG_HOME/tint2/tint2rc" <<EOF
panel_items = TS
panel_position = bottom center horizontal
panel_size = 100% 34
panel_background_id = 1
rounded = 0
border_width = 0
background_color = #20262c 100
border_color = #20262c 0
taskbar_mode = single_desktop
task_text = 1
task_icon = 1
task_font_color = #ffffff 100
task_maximum_size = 220 30
systray_padding = 6 4 6
systray_icon_size = 22
EOF
start_desktop 1600x1000

wait_window() {  # wait_window NAME: prints the newest visible window of that name
  local id=""
  for _ in $(seq 1 60); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
    [[ -n "$id" ]] && break
    sleep 0.2
  done
  [[ -n "$id" ]] || { echo "window \"$1\" did not appear" >&2; return 1; }
  echo "$id"
}
shot_screen() { sleep 0.8; import -window root "$out/$1.png"; echo "$out/$1.png"; }
shot_window() { sleep 0.8; import -window "$2" -frame "$out/$1.png" 2>/dev/null || import -window "$2" "$out/$1.png"; echo "$out/$1.png"; }
stop() {  # stop PID: closed as a user closes it (so it tidies up), killed if it stays
  local id
  id=$(xdotool search --onlyvisible --name '^Vantrell$' 2>/dev/null | tail -1 || true)
  [[ -n "$id" ]] && xdotool windowactivate --sync "$id" key --clearmodifiers alt+F4 2>/dev/null || true
  for _ in $(seq 1 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true
}

# 1. Started in the notification area: the icon's menu, Open, then the
#    window kept on top with its help window above it.
printf '[FormOps]\nTryIcn=1\nKeepOnTop=1\n' > "$XDG_CONFIG_HOME/Brannock/Vantrell.conf"
vantrell --data-dir "$data" & app=$!
sleep 2.5
tray=$(xdotool search --class '^Vantrell$' 2>/dev/null | while read -r w; do
  geo=$(xdotool getwindowgeometry "$w" 2>/dev/null | awk '/Geometry/ { print $2 }')
  [[ "$geo" == "22x22" ]] && echo "$w"; done | head -1 || true)
if [[ -n "$tray" ]]; then
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + 11)) $((Y + 11)) click 3
  shot_screen tray-menu
  xdotool key Down Return  # Open, the menu's first item
else
  echo "no notification-area icon was found" >&2
fi
main=$(wait_window Vantrell) || true
if [[ -n "$main" ]]; then
  shot_screen desktop
  xdotool windowactivate --sync "$main" key F1 2>/dev/null || true
  wait_window "Vantrell Help" >/dev/null && shot_screen help-on-top
fi
stop "$app"

# 2. The menu entry, as an application menu lists it.
rofi -show drun -show-icons -filter Vantrell -theme-str 'window { width: 40%; }' >/dev/null 2>&1 & menu=$!
sleep 2
shot_screen menu-entry
stop "$menu"

# 3. A catalogue the user cannot write: a copy with its folder and files
#    read-only and its records index gone, opened by a user who is not root.
printf '[FormOps]\nHints=1\n' > "$XDG_CONFIG_HOME/Brannock/Vantrell.conf"
cd_copy="$work/cdrom/data"
mkdir -p "$cd_copy" && cp "$data"/* "$cd_copy"/ && rm -f "$cd_copy"/VTLDataA.nsx
chmod -R a+rX "$work/cdrom" && chmod a-w "$cd_copy"/* "$cd_copy"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  other="$work/other"; mkdir -p "$other/.config" "$other/run"
  chown -R nobody "$other"; chmod 700 "$other/run"
  chmod a+rx "$prefix" "$prefix/bin"
  as_user=(runuser -u nobody -- env HOME="$other" XDG_CONFIG_HOME="$other/.config" XDG_RUNTIME_DIR="$other/run"
           XDG_DATA_HOME="$other/.local/share")
fi
"${as_user[@]}" "$prefix/bin/vantrell" --data-dir "$cd_copy" 2>"$work/read-only.log" & app=$!
if main=$(wait_window Vantrell); then
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  # The pointer rests on Delete, switched off: its hint says why.
  xdotool mousemove --window "$main" 364 35 sleep 0.3 mousemove --window "$main" 366 36
  sleep 2
  eval "$(xdotool getwindowgeometry --shell "$main")"
  import -window root -crop "$((WIDTH + 240))x$((HEIGHT + 80))+$((X - 40))+$((Y - 40))" +repage "$out/read-only.png"
  echo "$out/read-only.png"
fi
stop "$app"

# 4. The main window at 200 %, on a screen of twice the size.
stop_desktop
start_desktop 3200x2000
printf '[FormOps]\nHints=1\n' > "$XDG_CONFIG_HOME/Brannock/Vantrell.conf"
QT_SCALE_FACTOR=2 vantrell --data-dir "$data" & app=$!
if main=$(wait_window Vantrell); then shot_window scale-200 "$main"; fi
stop "$app"

#!/usr/bin/env bash
# A walk-through of the window with real files and real plugins, under a
# headless X server: add files by dropping them from a stand-in file
# manager, build a chain (x42 dpl from the add menu's filter), preview,
# compare with the original, export, cancel an export and export again;
# also the menus, both file dialogs, a right-click beside a selection, an
# update check that waits, and a second start that hands its file over.
# Screenshots of each step go to the folder given (default
# build/walkthrough); look at them. Openbox manages the windows. With
# TOLVEX_WALKTHROUGH_SOUND=1 a private PulseAudio with a null sink is the
# session's sound server (with TOLVEX_WALKTHROUGH_SOUND=pipewire a private
# PipeWire, with WirePlumber, its PulseAudio service and a D-Bus session bus
# of its own); without it there is no server and no device, and
# the preview says that nothing can be heard. TOLVEX_WALKTHROUGH_SCALE=2
# runs the window at twice the size (on a screen twice as large), and
# TOLVEX_WALKTHROUGH_DARK=1 in a dark desktop theme (qt6ct with its "darker"
# colours, as a desktop outside KDE and GNOME sets it). Needs a default build
# (./test.sh or `cmake --build --preset default`) and the packages of
# install-deps.sh.
#   [TOLVEX_WALKTHROUGH_SOUND=1] [TOLVEX_WALKTHROUGH_SCALE=2] [TOLVEX_WALKTHROUGH_DARK=1] \
#     scripts/walkthrough.sh [OUTPUT_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
out=$(realpath -m "${1:-$build/walkthrough}")
mkdir -p "$out"
rm -f "$out"/*.png
scale=${TOLVEX_WALKTHROUGH_SCALE:-1}

if [ -z "${TOLVEX_WALKTHROUGH_INNER:-}" ]; then
  export TOLVEX_WALKTHROUGH_INNER=1
  exec xvfb-run -a -s "-screen 0 $((1920 * scale))x$((1080 * scale))x24" "$0" "$out"
fi

work=$(mktemp -d)
trap 'kill "${app:-}" "${wm:-}" ${server:-} "${feed:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$work/run" "$work/audio/Ordner" && chmod 700 "$work/run"
unset PULSE_SERVER PIPEWIRE_REMOTE DBUS_SESSION_BUS_ADDRESS
openbox --sm-disable &
wm=$!
if [ "${TOLVEX_WALKTHROUGH_SOUND:-}" = pipewire ]; then
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/run/bus" &
  server=$!
  for _ in $(seq 100); do [ -S "$work/run/bus" ] && break; sleep 0.1; done
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
  HOME=$work pipewire 2>/dev/null &
  server="$server $!"
  for _ in $(seq 100); do [ -S "$work/run/pipewire-0" ] && break; sleep 0.1; done
  HOME=$work wireplumber 2>/dev/null &
  server="$server $!"
  HOME=$work pipewire-pulse 2>/dev/null &
  server="$server $!"
  for _ in $(seq 100); do [ -S "$work/run/pulse/native" ] && break; sleep 0.1; done
  pactl load-module module-null-sink sink_name=walkthrough >/dev/null
  for _ in $(seq 100); do pactl set-default-sink walkthrough 2>/dev/null && break; sleep 0.1; done
elif [ -n "${TOLVEX_WALKTHROUGH_SOUND:-}" ]; then
  HOME=$work pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --log-level=error --load="module-null-sink sink_name=walkthrough" \
    --load=module-suspend-on-idle --load=module-native-protocol-unix &
  server=$!
  for _ in $(seq 100); do [ -S "$work/run/pulse/native" ] && break; sleep 0.1; done
fi
tone() { ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=$2:duration=$3" -ac 2 -ar 48000 "$1"; }
tone "$work/audio/Ordner/Interview Teil 1.wav" 440 6
tone "$work/audio/Ordner/Interview Teil 2.wav" 550 6
tone "$work/audio/Atmo Straße.wav" 330 6
tone "$work/audio/Ordner/Lang.wav" 220 600

tone "$work/audio/Nachzügler.wav" 660 6
mkdir -p "$work/Export"

# An update feed that takes the connection and never answers.
python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen()
print(s.getsockname()[1], flush=True); time.sleep(3600)' >"$work/feed-port" &
feed=$!
until_port() { [ -s "$work/feed-port" ]; }
for _ in $(seq 100); do until_port && break; sleep 0.1; done

# M4A: slow enough to cancel the long file while it runs.
mkdir -p "$work/config/Tolvex"
printf '[General]\nformat=m4a\nupdateFeed=http://127.0.0.1:%s/appcast.xml\n' \
  "$(cat "$work/feed-port")" >"$work/config/Tolvex/Tolvex.conf"

# The window's own environment: its scale, and the desktop's theme.
window_env=(QT_SCALE_FACTOR="$scale")
if [ -n "${TOLVEX_WALKTHROUGH_DARK:-}" ]; then
  mkdir -p "$work/config/qt6ct"
  printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
    >"$work/config/qt6ct/qt6ct.conf"
  window_env+=(QT_QPA_PLATFORMTHEME=qt6ct)
fi

step=0
shot() {
  step=$((step + 1))
  sleep "${2:-1}"
  "$build/tests/tooling/screenshot" "$(printf '%s/%02d-%s.png' "$out" "$step" "$1")"
  echo "screenshot $step: $1"
}
# Waits up to 60 s for a condition given as a command.
until_true() {
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  echo "walkthrough: timed out waiting for: $*" >&2
  return 1
}
outputs() { find "$work/audio" "$work/Export" -name '*Tolvex*' | wc -l; }
# Positions are the window's own (logical) pixels from its top left corner
# (at the screen's), scaled to the screen's.
at() { echo $(($1 * scale)) $(($2 * scale)); }
click() { xdotool mousemove --sync $(at "$1" "$2") click 1; }
key() { xdotool key --clearmodifiers "$@"; }

env "${window_env[@]}" "$build/app/tolvex" &
app=$!
window=$(xdotool search --sync --onlyvisible --name '^Tolvex$' | head -n1)
xdotool windowmove --sync "$window" 0 0
eval "$(xdotool getwindowgeometry --shell "$window")" # WIDTH, HEIGHT
WIDTH=$((WIDTH / scale))
HEIGHT=$((HEIGHT / scale))
shot empty 2

# A file manager's drag of a folder and a file onto the list.
"$build/tests/tooling/drag_source" "$work/audio/Ordner" "$work/audio/Atmo Straße.wav" &
source_pid=$!
source=$(xdotool search --sync --onlyvisible --name '^drag-source$' | head -n1)
xdotool windowmove --sync "$source" $((1300 * scale)) $((700 * scale))
xdotool mousemove --sync $((1300 * scale + 80)) $((700 * scale + 60)) mousedown 1
for x in 1200 900 600 400; do xdotool mousemove --sync $(at "$x" $((x / 2))); sleep 0.2; done
shot drag-hover 0.5
xdotool mouseup 1
wait "$source_pid" || true
shot dropped 2

# Qt's own texts in German: the file menu's shortcuts, the add-files dialog
# and the folder picker (Qt's dialogs: no desktop's dialog under Openbox).
click 25 8
shot file-menu 1
# Loudness: from the menu's end, past "Beenden", its submenu; a target of
# −16 LUFS, and the menu again with the album switch open to a click.
key Up Up Right
shot loudness-menu 1
key Down Down Return
click 25 8
key Up Up Right
shot loudness-chosen 1
key Escape Escape
# Back to "Aus": the exports below are the plain ones.
click 25 8
key Up Up Right Return
key ctrl+o
shot add-files-dialog 2
key Escape
sleep 0.5
click 268 $((HEIGHT - 29))
sleep 0.5
key Down Down Return
shot folder-picker 2
# The folder named in the picker: the destination shows its name whole.
xdotool type --delay 20 "$work/Export"
key Return
shot destination-chosen 1

# The chain: the add menu's filter takes the single match and opens its editor.
click $((WIDTH - 155)) $((HEIGHT - 84))
shot add-menu 1
xdotool type --delay 80 "dpl stereo"
shot add-menu-filtered 1
key Return
shot plugin-added 4
# The editor panel beside the window, where the screenshots show both.
editor=$(timeout 60 xdotool search --sync --onlyvisible --name 'dpl' | head -n1)
[ -n "$editor" ] || { echo "walkthrough: no editor window" >&2; exit 1; }
xdotool windowmove --sync "$editor" $(at $((WIDTH + 20)) 0)
shot editor 1
echo "the editor window's title: $(xdotool getwindowname "$editor")"
# Its parameter list, and back to the plugin's own interface.
click $((WIDTH + 78)) 13
shot editor-parameters 1
click $((WIDTH + 78)) 13
sleep 0.5

# A right-click on a row outside a selection of three opens that row's menu
# and leaves the three selected.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
click 300 86 # the first row
xdotool keydown shift
click 300 164 # the third
xdotool keyup shift
xdotool mousemove --sync $(at 300 203) click 3
shot right-click 1
key Escape
sleep 0.5

# Preview through the chain, then the original.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
click 300 86 # the first row
key space
shot preview 2
# Which path the preview took: a stream of PipeWire's own protocol carries no
# client.api; one through its PulseAudio service says "pipewire-pulse".
if [ -n "${TOLVEX_WALKTHROUGH_SOUND:-}" ]; then
  echo "the preview's stream on the server:"
  pactl list sink-inputs | grep -E 'application.name|media.role|client.api|Corked' | sed 's/^\s*/  /'
fi
# Without a sound server the notice that nothing can be heard lies over
# "Original" until a click takes it away.
[ -n "${TOLVEX_WALKTHROUGH_SOUND:-}" ] || { click $((WIDTH - 370)) $((HEIGHT - 80)); sleep 0.5; }
click $((WIDTH - 370)) $((HEIGHT - 80)) # "Original"
shot compare 1
key space
shot stopped 1

# Export all, cancel during the long file, export again and wait.
key ctrl+e
shot exporting 1
key ctrl+period
shot cancelled 1
cancelled=$(outputs)
echo "after cancelling: $cancelled outputs"
key ctrl+e
# The files done before the cancel, then all four again.
exported_all() { [ "$(outputs)" -ge $((cancelled + 4)) ]; }
until_true exported_all
# An M4A is measured once it is in place: its row ends a moment later.
shot exported 6

find "$work/audio" "$work/Export" -name '*Tolvex*' -printf '%P\n' | sort

# An update check whose server does not answer: the dialog shows at once
# that it runs, and "Abbrechen" ends it.
key alt+h
sleep 0.5
key Return
shot update-check 2
key Escape
sleep 0.5

# A second start (as "Open with" does) hands its file to this window and ends.
timeout 30 env "${window_env[@]}" "$build/app/tolvex" "$work/audio/Nachzügler.wav"
echo "the second start ended with $?"
shot second-start 2
kill -TERM "$app"
wait "$app"
echo "walkthrough: done, screenshots in $out"

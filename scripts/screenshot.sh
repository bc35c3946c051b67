#!/usr/bin/env bash
# Takes the README's screenshot of the main window: the client, the stand-in simulator
# and the stand-in ATC server run on a private Xvfb display, the client connects, and
# the window is captured.
# Usage: scripts/screenshot.sh [output.png [settings|atc|atis|plan|meteo]]
#   (default: docs/main-window.png, the settings panel; "atc" shows the ATC list, "atis"
#   the first station's ATIS after a click on it, "plan" the flight-plan panel with the
#   simulator's plan loaded and filed, "meteo" the weather panel with the local weather)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/main-window.png}")"
view="${2:-settings}"

scripts/install-deps.sh
for tool in xdotool:xdotool import:imagemagick; do
    if ! command -v "${tool%%:*}" >/dev/null; then
        sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${tool##*:}"
    fi
done

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

work="$(mktemp -d)"
cp "$build/bin/tavoro" "$work/"
mkdir -p "$work/sim" "$work/runtime"
chmod 700 "$work/runtime"
touch "$work/sim/FSX.exe"
mkdir -p "$work/plans"
cp scripts/demo-plans/*.pln "$work/plans/"
port=$((20000 + RANDOM % 20000))
scripts/demo-config.sh "$work/sim" "$port" "$work/plans" > "$work/corvanta.ini"

display=":$((50 + RANDOM % 50))"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp &
xvfb=$!
"$build/bin/tavoro-atcserver" --port "$port" --stations scripts/demo-stations.txt </dev/null >"$work/server.log" 2>&1 &
server=$!
# The simulator serves in the client's default folder, under its runtime folder, and
# takes its aircraft through a pipe.
mkfifo "$work/sim.in"
exec 4<>"$work/sim.in"
"$build/bin/tavoro-simhost" --dir "$work/runtime/tavoro-sim" <&4 >"$work/sim.log" 2>&1 &
simhost=$!
{
    cat scripts/demo-aircraft.txt
    echo "set zulu 14:05:00"
    echo "set local 16:05"
    echo "set plan_path $work/plans/LIRF-LIRN.pln"
} >&4
trap 'kill $client $server $simhost $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
client=""
sleep 1

export DISPLAY="$display" XDG_RUNTIME_DIR="$work/runtime"
"$work/tavoro" &
client=$!

window=""
for _ in $(seq 50); do
    window="$(xdotool search --name '^Tavoro 3.81' 2>/dev/null | tail -n 1 || true)"
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the main window did not appear" >&2; exit 1; }

# The window starts minimised; bring it up as "Afficher" would, then connect.
xdotool windowmap "$window" windowmove "$window" 10 10 windowsize "$window" 520 260
sleep 3   # the ready wait and a first poll: the aircraft's position is known
eval "$(xdotool getwindowgeometry --shell "$window")"
panel_x=$(( WIDTH * 20 / 100 ))
xdotool mousemove --window "$window" "$panel_x" 40 click 1
for _ in $(seq 50); do
    grep -q '> #TMserver' "$work/server.log" && break
    sleep 0.2
done
if [ "$view" = atc ] || [ "$view" = atis ]; then
    xdotool mousemove --window "$window" 30 12 click 1    # the "liste ATC" menu item
    sleep 2
    if [ "$view" = atis ]; then
        xdotool mousemove --window "$window" 60 78 click 1    # the first station
    fi
elif [ "$view" = plan ]; then
    # Tall enough for the whole panel, which starts 4 pixels in and 49 down the window.
    xdotool windowsize "$window" 520 380
    sleep 1
    xdotool mousemove --window "$window" 100 12 click 1   # the "Plan de vol" menu item
    sleep 1
    xdotool mousemove --window "$window" 192 233 click 1  # "charger un plan FSX"
    sleep 1
    xdotool mousemove --window "$window" 180 257 click 1  # "Envoi du plan"
    for _ in $(seq 50); do
        grep -q '> \$ACUDEPOT' "$work/server.log" && break
        sleep 0.2
    done
elif [ "$view" = meteo ]; then
    xdotool windowsize "$window" 560 400
    sleep 1
    xdotool mousemove --window "$window" 165 12 click 1   # the "meteo" menu item
else
    xdotool mousemove --window "$window" 230 12 click 1   # the "parametres" menu item
fi
sleep 2   # a poll or two: the caption and the labels show the aircraft

mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "Screenshot written to $out"

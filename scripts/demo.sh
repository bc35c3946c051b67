#!/usr/bin/env bash
# Builds the client and its stand-ins, starts the stand-in simulator and the stand-in ATC
# server and runs the client against them. Without a display the client runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORO_BUILD_TESTS=OFF
cmake --build "$build" -j"$(nproc)"
bin="$PWD/$build/bin"

port="${TAVORO_DEMO_PORT:-6809}"
# The client looks for the simulator's executable in [FSX] DIR; the demo's simulator
# folder holds a stand-in so that start-up does not ask for it.
mkdir -p "$PWD/$build/sim"
touch "$PWD/$build/sim/FSX.exe"
# The demo's own flight plans; the simulator's plan is the first, the others are for the
# load button's dialog, which starts in their folder.
plans="$PWD/$build/plans"
mkdir -p "$plans"
cp scripts/demo-plans/*.pln "$plans/"
# A first run gets a configuration that points at the stand-in server; later runs keep
# whatever the user changed.
if [ ! -f "$bin/corvanta.ini" ]; then
    scripts/demo-config.sh "$PWD/$build/sim" "$port" "$plans" > "$bin/corvanta.ini"
fi

# The server reads its commands from a pipe, so that from another terminal
#   echo "send #TMserver:demo" > build/demo/atcserver.in
# pushes a line to the client. Its output goes to build/demo/atcserver.log.
fifo="$PWD/$build/atcserver.in"
log="$PWD/$build/atcserver.log"
rm -f "$fifo"
mkfifo "$fifo"
exec 3<>"$fifo"
# It announces the stations of scripts/demo-stations.txt, around the demo aircraft, and
# answers their ATIS.
"$bin/tavoro-atcserver" --port "$port" --stations "$PWD/scripts/demo-stations.txt" \
    <&3 >"$log" 2>&1 &
server=$!
echo "Stand-in ATC server on 127.0.0.1:$port (log: $log, commands: $fifo)"

# The stand-in simulator, met by the client in a folder of the demo's own; it too reads
# its commands from a pipe:
#   echo "set gs_kt 250" > build/demo/simhost.in
# and its answers (and "dump") go to build/demo/simhost.log.
export TAVORO_SIM_DIR="$PWD/$build/simdir"
sim_fifo="$PWD/$build/simhost.in"
sim_log="$PWD/$build/simhost.log"
rm -f "$sim_fifo"
mkfifo "$sim_fifo"
exec 4<>"$sim_fifo"
"$bin/tavoro-simhost" --dir "$TAVORO_SIM_DIR" <&4 >"$sim_log" 2>&1 &
simhost=$!
trap 'kill "$server" "$simhost" 2>/dev/null || true; rm -f "$fifo" "$sim_fifo"' EXIT
# A plausible aircraft, on the clock of this machine, with a flight plan loaded.
{
    cat scripts/demo-aircraft.txt
    echo "set zulu $(date -u +%H:%M:%S)"
    echo "set local $(date +%H:%M)"
    echo "set plan_path $plans/LIRF-LIRN.pln"
} >&4
for _ in $(seq 50); do
    grep -q "^serving in" "$sim_log" 2>/dev/null && break
    sleep 0.1
done
echo "Stand-in simulator in $TAVORO_SIM_DIR (log: $sim_log, commands: $sim_fifo)"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$bin/tavoro"
else
    echo "No display: running the client under Xvfb (xvfb-run)."
    xvfb-run -a "$bin/tavoro"
fi

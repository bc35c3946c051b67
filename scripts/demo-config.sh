#!/usr/bin/env bash
# Prints a corvanta.ini for the stand-ins: demo-config.sh SIM_FOLDER PORT [PLAN_FOLDER]
# The [facility] codes are those of the stations in scripts/demo-stations.txt; the plan
# folder, when given, is where the plan dialog starts.
set -euo pipefail
sim_folder="$1"
port="$2"
plan_folder="${3:-}"
if [ -n "$plan_folder" ]; then
    printf '[FSX_plan]\npath=%s/\n' "$plan_folder"
fi
cat <<INI
[FSX]
DIR=$sim_folder/
[connect]
serveur=Tavoro demo
adresse=127.0.0.1
port=$port
password=demo
[envoi]
avion=5000
[ATIS]
audio=false
[facility]
0=Observer
1=FSS
2=Delivery
3=Ground
4=Tower
5=Approach
6=Center
INI

#!/usr/bin/env bash
# Fails when an include runs against the layers, or when code outside the platform folder
# calls the operating system directly. The layers, from the top:
#   app  →  atc, sim, flightplan, weather (never each other)  →  core  →  platform
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [app]="app atc sim flightplan weather core platform"
    [atc]="atc core platform"
    [sim]="sim core platform"
    [flightplan]="flightplan core platform"
    [weather]="weather core platform"
    [core]="core platform"
    [platform]="platform"
)
os_headers='<(unistd\.h|fcntl\.h|poll\.h|signal\.h|csignal|dlfcn\.h|pwd\.h|windows\.h|winsock2?\.h|sys/[a-z_]+\.h)>'

failed=0
while IFS= read -r -d '' file; do
    layer=${file#src/}
    layer=${layer%%/*}
    if [[ -z ${allowed[$layer]+set} ]]; then
        echo "$file: folder src/$layer is no known layer"
        failed=1
        continue
    fi
    while IFS=: read -r line target; do
        folder=${target%%/*}
        if [[ $target != */* ]]; then
            echo "$file:$line: include \"$target\" does not name its folder"
            failed=1
        elif [[ " ${allowed[$layer]} " != *" $folder "* ]]; then
            echo "$file:$line: $layer may not include $target"
            failed=1
        fi
    done < <(grep -noP '^\s*#\s*include\s+"\K[^"]+' "$file" || true)
    if [[ $layer != platform ]]; then
        if grep -nE "^\s*#\s*include\s+$os_headers" "$file"; then
            echo "$file: operating-system header outside src/platform"
            failed=1
        fi
    fi
done < <(git ls-files -z -- 'src/*.h' 'src/*.cpp')

if ((failed)); then
    echo "Layer check failed."
    exit 1
fi

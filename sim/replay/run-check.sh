#!/usr/bin/env bash
# The replay page in a real browser, in two steps: `play` plays the shipped scenarios in
# the stand-in game (the real plugin, under Wine) and writes each session's replay page;
# `check` checks those pages in headless Chromium (check.mjs). Only the first needs the
# game's documents folder, so the second can run beside other tests.
#   sim/replay/run-check.sh play|check BUILD_DIR SOURCE_DIR OUTDIR
# It needs what the movie's player check needs (Debian's chromium and nodejs, npm's Ruffle
# and playwright-core in movie/check/node_modules; ./run test installs them). Where one is
# missing it prints "SKIPPED: <reason>" and exits 0; otherwise 0 passed, 1 failed.
set -uo pipefail

if [[ $# -ne 4 || ( $1 != play && $1 != check ) ]]; then
    echo "usage: $0 play|check BUILD_DIR SOURCE_DIR OUTDIR" >&2
    exit 2
fi
step=$1
build=$(realpath -m "$2")
source=$(realpath -m "$3")
out=$(realpath -m "$4")
here="$source/sim/replay"
node_modules="$source/movie/check/node_modules"

command -v node >/dev/null || { echo "SKIPPED: node is not installed (./run test installs Debian's nodejs)"; exit 0; }
[[ -x /usr/bin/chromium ]] || { echo "SKIPPED: /usr/bin/chromium is not installed (./run test installs Debian's chromium)"; exit 0; }
for package in @ruffle-rs/ruffle playwright-core; do
    [[ -f $node_modules/$package/package.json ]] ||
        { echo "SKIPPED: npm's $package is not installed (./run test runs npm ci in movie/check)"; exit 0; }
done

winpath() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# Each shipped scenario on its own display, and the fight on the two other common shapes.
cases=()
for scenario in "$source"/scenarios/*.txt; do cases+=("$(basename "${scenario%.txt}"):"); done
cases+=("fight:1440x1080" "fight:2560x1080")
pages=()
for case in "${cases[@]}"; do
    scenario=${case%%:*} screen=${case#*:}
    pages+=("$out/$scenario${screen:+-$screen}.html")
done

if [[ $step == check ]]; then
    for page in "${pages[@]}"; do
        [[ -f $page ]] || { echo "FAILED: no page $page: the play step did not write it"; exit 1; }
    done
    exec node "$here/check.mjs" "$out/screenshots" "${pages[@]}"
fi

rm -rf "$out"
mkdir -p "$out"

# Wine's server ends a moment after its last program: a run starting just then is cut off
# ("wine client error"). A program that waits on its input keeps the server up throughout;
# the first start may meet the end of another test's server, so it is tried again.
for attempt in 1 2 3; do
    "$build/wine-run" cmd /c exit >/dev/null 2>&1 && break
    sleep 2
done
exec {keeper}> >(exec "$build/wine-run" cmd /c pause >/dev/null 2>&1)
for case in "${cases[@]}"; do
    scenario=${case%%:*} screen=${case#*:}
    name=$scenario${screen:+-$screen}
    options=()
    [[ -n $screen ]] && options=(--screen "$screen")
    if ! "$build/wine-run" "$build/game/simgame.exe" "${options[@]}" --record "$(winpath "$out/$name.csv")" \
        --replay "$(winpath "$out/$name.json")" --picture "$(winpath "$out/$name.png")" \
        "$(winpath "$source/scenarios/$scenario.txt")" >"$out/$name.out" 2>&1; then
        echo "FAILED: simgame.exe did not play $scenario.txt (${options[*]}); its output:"
        sed 's/^/  | /' "$out/$name.out"
        exit 1
    fi
    PYTHONDONTWRITEBYTECODE=1 python3 "$here/make_replay.py" --replay "$out/$name.json" --picture "$out/$name.png" \
        --movie "$build/game/Data/Interface/TarvekMenu.swf" --ruffle "$node_modules/@ruffle-rs/ruffle" \
        --out "$out/$name.html" || exit 1
done
exec {keeper}>&-
echo "replay: ${#pages[@]} pages written"

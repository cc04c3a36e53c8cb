#!/usr/bin/env bash
# The release zip, unpacked over a copy of the built game folder, must load and play
# exactly as the built tree does: same record, same log (its ini holds the defaults).
set -euo pipefail
build="$1"
source_dir="$2"
zip=$(ls "$build"/Veldrin-*.zip | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
log="$build/wine/home/My Games/Skyrim/SKSE/Veldrin.log"

play() {  # game folder, output stem
    "$build/wine-run" "$(winpath "$1/simgame.exe")" --record "$(winpath "$work/$2.csv")" \
        "$(winpath "$source_dir/scenarios/fight.txt")" >"$work/$2.out"
    # The last line says the game ran to its end; a crash can still exit with code 0.
    tail -n 1 "$work/$2.out" | tr -d "\r" | grep -qx "simgame: exit code 0" ||
        { echo "FAIL: simgame.exe did not run to its end in $1"; cat "$work/$2.out"; exit 1; }
    cp "$log" "$work/$2.log"
}

cp -r "$build/game" "$work/built"
rm -f "$work/built/Data/SKSE/Plugins/Veldrin.ini"
play "$work/built" built

cp -r "$build/game" "$work/packaged"
rm -f "$work/packaged/Data/SKSE/Plugins/Veldrin.dll" "$work/packaged/Data/Interface/TarvekMenu.swf"
python3 -m zipfile -e "$zip" "$work/packaged"
[[ -f $work/packaged/Data/SKSE/Plugins/Veldrin.dll ]] || { echo "FAIL: the zip has no Data/SKSE/Plugins/Veldrin.dll"; exit 1; }
[[ -f $work/packaged/Data/SKSE/Plugins/Veldrin.ini ]] || { echo "FAIL: the zip has no Data/SKSE/Plugins/Veldrin.ini"; exit 1; }
cmp -s "$work/packaged/Data/Interface/TarvekMenu.swf" "$build/game/Data/Interface/TarvekMenu.swf" ||
    { echo "FAIL: the zip's Data/Interface/TarvekMenu.swf is not the built movie"; exit 1; }
play "$work/packaged" packaged

failed=0
if ! cmp -s "$work/built.csv" "$work/packaged.csv"; then
    echo "FAIL: the packaged plugin played the scenario differently"; diff "$work/built.csv" "$work/packaged.csv" | head; failed=1
fi
if ! cmp -s "$work/built.log" "$work/packaged.log"; then
    echo "FAIL: the packaged ini does not hold the defaults"; diff "$work/built.log" "$work/packaged.log"; failed=1
fi
grep -q "locked" "$work/packaged.out" || { echo "FAIL: nothing was locked"; cat "$work/packaged.out"; failed=1; }
if ((failed == 0)); then
    echo "package: $(basename "$zip") plays as the built tree: 1 passed, 0 failed"
else
    echo "package: 0 passed, 1 failed"
fi
exit "$failed"

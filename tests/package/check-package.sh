#!/usr/bin/env bash
# The release zip as a player installs it: its root is the content of <Skyrim>\Data, so it
# is unpacked into a copy of the built game folder's Data/, and there it must load and play
# every shipped scenario exactly as the built tree does: same record, same story, same log
# (its ini holds the defaults, so the built tree plays without one).
#
#   check-package.sh BUILD_DIR SOURCE_DIR ZIP VERSION
set -euo pipefail
build=$1
source_dir=$2
zip=$3
version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# The documents folder the game sees (build/wine-run takes it from the environment).
log="${VELDRIN_DOCUMENTS_FOLDER:-$build/wine/home}/My Games/Skyrim/SKSE/Veldrin.log"
passed=0
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# --- What the zip holds, and the release's version in the changelog.
expected=$'Interface/TarvekMenu.swf\nSKSE/Plugins/Veldrin.dll\nSKSE/Plugins/Veldrin.ini'
listed=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
if [[ $listed == "$expected" ]]; then
    passed=$((passed + 1))
else
    fail "the zip's root must hold SKSE/ and Interface/ with the three shipped files only; it holds:"
    echo "$listed" | sed 's/^/  /'
fi

printf '# Changelog\n\n## 0.0.1\n' >"$work/CHANGELOG.md"
if python3 "$source_dir/tools/make_package.py" --dll "$build/package/Veldrin.dll" \
    --ini "$source_dir/package/Veldrin.ini" --movie "$build/game/Data/Interface/TarvekMenu.swf" \
    --version "$version" --changelog "$work/CHANGELOG.md" --output "$work/refused.zip" 2>"$work/refused.err" ||
    [[ -e $work/refused.zip ]]; then
    fail "make_package.py packed $version although the changelog begins with 0.0.1"
elif ! grep -q "$version" "$work/refused.err"; then
    fail "make_package.py refused the wrong changelog without naming the version:"; cat "$work/refused.err"
else
    passed=$((passed + 1))
fi

# --- Two game folders: the built tree, and the zip unpacked into a copy's Data/.
cp -r "$build/game" "$work/built"
rm -f "$work/built/Data/SKSE/Plugins/Veldrin.ini"

cp -r "$build/game" "$work/packaged"
rm -f "$work/packaged/Data/SKSE/Plugins/Veldrin.dll" "$work/packaged/Data/SKSE/Plugins/Veldrin.ini" \
    "$work/packaged/Data/Interface/TarvekMenu.swf"
python3 -m zipfile -e "$zip" "$work/packaged/Data"
for file in SKSE/Plugins/Veldrin.dll SKSE/Plugins/Veldrin.ini Interface/TarvekMenu.swf; do
    [[ -f $work/packaged/Data/$file ]] || { echo "FAIL: unpacked into Data/, the zip gives no Data/$file"; exit 1; }
done
cmp -s "$work/packaged/Data/Interface/TarvekMenu.swf" "$build/game/Data/Interface/TarvekMenu.swf" ||
    fail "the zip's Interface/TarvekMenu.swf is not the built movie"

play() {  # game folder, scenario, output stem
    local code=0
    "$build/wine-run" "$(winpath "$1/simgame.exe")" --record "$(winpath "$work/$3.csv")" \
        "$(winpath "$2")" >"$work/$3.out" || code=$?
    # The last line says the game ran to its end; a crash can still exit with code 0.
    ((code == 0)) && tail -n 1 "$work/$3.out" | tr -d "\r" | grep -qx "simgame: exit code 0" ||
        { fail "simgame.exe did not play $(basename "$2") to its end in $1 (exit code $code)"; cat "$work/$3.out"; }
    # Only the lines naming the plugin's and the record's paths differ between the folders.
    grep -v '^plugin: \|^record: ' "$work/$3.out" >"$work/$3.story" || true
    cp "$log" "$work/$3.log"
}

locked=0
for scenario in "$source_dir"/scenarios/*.txt; do
    name=$(basename "$scenario" .txt)
    play "$work/built" "$scenario" "$name-built"
    play "$work/packaged" "$scenario" "$name-packaged"
    before=$failed
    cmp -s "$work/$name-built.csv" "$work/$name-packaged.csv" ||
        { fail "$name: the packaged plugin recorded another session"; diff "$work/$name-built.csv" "$work/$name-packaged.csv" | head; }
    cmp -s "$work/$name-built.story" "$work/$name-packaged.story" ||
        { fail "$name: the packaged plugin told another story"; diff "$work/$name-built.story" "$work/$name-packaged.story" | head; }
    cmp -s "$work/$name-built.log" "$work/$name-packaged.log" ||
        { fail "$name: the packaged ini does not hold the defaults"; diff "$work/$name-built.log" "$work/$name-packaged.log"; }
    grep -q ": locked " "$work/$name-packaged.out" && locked=$((locked + 1))
    ((failed == before)) && passed=$((passed + 1))
done
((locked > 0)) || fail "no shipped scenario locked anything: the packaged plugin did not run"

echo "package: $(basename "$zip") unpacked into Data/ plays every scenario as the built tree: $passed passed, $failed failed"
((failed == 0))

#!/usr/bin/env bash
# Plays the marker movie in Ruffle in headless Chromium and checks the marker's placement:
#   movie/check/run-check.sh MOVIE.swf OUTDIR
# `./run test` installs what it needs first: Debian's chromium, nodejs and npm, and the npm
# packages of package-lock.json (npm ci here). Where one of them is missing the check prints
# "SKIPPED: <reason>" and exits 0; otherwise the exit code is the check's: 0 passed, 1 failed.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [[ $# -ne 2 ]]; then
    echo "usage: $0 MOVIE.swf OUTDIR" >&2
    exit 2
fi

if ! command -v node >/dev/null; then
    echo "SKIPPED: node is not installed (./run test installs Debian's nodejs)"
    exit 0
fi

exec node "$here/check.mjs" "$1" "$2"

#!/usr/bin/env bash
# Plays the marker movie in Ruffle in headless Chromium and checks the marker's placement:
#   movie/check/run-check.sh MOVIE.swf OUTDIR
# Installs what is missing first (Debian's chromium; the npm packages in package-lock.json).
# A machine where that cannot be done prints "SKIPPED: <reason>" and exits 0; otherwise the
# exit code is the check's: 0 passed, 1 failed.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
chromium=/usr/bin/chromium

if [[ $# -ne 2 ]]; then
    echo "usage: $0 MOVIE.swf OUTDIR" >&2
    exit 2
fi

skip() {
    echo "SKIPPED: $*"
    exit 0
}

as_root() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo -n "$@"; fi
}

if [[ ! -x $chromium ]]; then
    echo "run-check: installing chromium" >&2
    # Waits for another apt run (a parallel build) rather than failing on its lock.
    as_root apt-get -o DPkg::Lock::Timeout=600 update -qq >&2 &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
            install -y -qq --no-install-recommends chromium >&2 ||
        skip "chromium could not be installed from Debian's archive"
    [[ -x $chromium ]] || skip "chromium installed, but $chromium is not there"
fi

command -v node >/dev/null || skip "node is not installed"
command -v npm >/dev/null || skip "npm is not installed"
command -v python3 >/dev/null || skip "python3 is not installed"

if [[ ! -d $here/node_modules ]]; then
    echo "run-check: npm ci in $here" >&2
    # Two checks started at once would both install into the same folder: take turns.
    (
        flock 9
        [[ -d $here/node_modules ]] ||
            (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >&2) ||
            { rm -rf "$here/node_modules"; exit 1; }
    ) 9>"${TMPDIR:-/tmp}/veldrin-marker-check-npm.lock" || skip "npm ci failed in $here"
fi

exec node "$here/check.mjs" "$1" "$2"

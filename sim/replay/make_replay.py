#!/usr/bin/env python3
"""Writes the replay page of a session: NAME.html beside the record, with what it needs.

    python3 make_replay.py --replay NAME.json --picture NAME.png --movie TarvekMenu.swf \\
        --ruffle node_modules/@ruffle-rs/ruffle --out DIR/NAME.html

Beside the page it writes NAME.data.js (the replay record) and the folder replay/: the
page's script and style, the marker movie made callable by path (movie/check/make_probe.py,
the movie's own bytes plus the two callbacks), and a copy of the Ruffle player. A page
opened from disk may not fetch() anything, so the record, the movie and Ruffle's
WebAssembly modules are wrapped in script files, which it may load.
"""

import argparse
import base64
import json
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "movie", "check"))
import make_probe  # noqa: E402  (the movie check's probe: the same calls by path)

PAGE_FILES = ("replay.js", "replay.css")
RUFFLE_SCRIPTS = ("ruffle.js",)
RUFFLE_LICENSES = ("LICENSE_MIT", "LICENSE_APACHE")


def write_if_changed(path, data):
    """Leaves an up-to-date file alone: the wrapped player is large."""
    if os.path.exists(path):
        with open(path, "rb") as f:
            if f.read() == data:
                return
    with open(path, "wb") as f:
        f.write(data)


def script_setting(variable, value_js):
    return f"window.{variable} = {value_js};\n".encode()


def copy_ruffle(ruffle, into):
    os.makedirs(into, exist_ok=True)
    names = sorted(os.listdir(ruffle))
    if "ruffle.js" not in names:
        raise FileNotFoundError(f"no ruffle.js in {ruffle}")
    for name in names:
        source = os.path.join(ruffle, name)
        if name in RUFFLE_SCRIPTS or name in RUFFLE_LICENSES or (name.startswith("core.ruffle.") and name.endswith(".js")):
            with open(source, "rb") as f:
                write_if_changed(os.path.join(into, name), f.read())
        elif name.endswith(".wasm"):
            with open(source, "rb") as f:
                encoded = base64.b64encode(f.read()).decode("ascii")
            write_if_changed(os.path.join(into, name + ".js"),
                             f"(window.veldrinWasm = window.veldrinWasm || {{}})[{json.dumps(name)}] = \"{encoded}\";\n".encode())


def make_page(replay_path, picture_path, movie_path, ruffle, out):
    folder = os.path.dirname(os.path.abspath(out))
    name = os.path.splitext(os.path.basename(out))[0]
    assets = os.path.join(folder, "replay")
    os.makedirs(assets, exist_ok=True)

    with open(replay_path, encoding="utf-8") as f:
        record = json.load(f)  # refuses a broken record here, not in the browser
    write_if_changed(os.path.join(folder, f"{name}.data.js"),
                     script_setting("veldrinReplay", json.dumps(record, separators=(",", ":"))))

    picture = f"{name}.png"
    if os.path.abspath(picture_path) != os.path.join(folder, picture):
        shutil.copyfile(picture_path, os.path.join(folder, picture))

    with open(movie_path, "rb") as f:
        movie = make_probe.make_probe(f.read())
    write_if_changed(os.path.join(assets, "movie.js"),
                     script_setting("veldrinMovie", json.dumps(base64.b64encode(movie).decode("ascii"))))
    for page_file in PAGE_FILES:
        with open(os.path.join(HERE, page_file), "rb") as f:
            write_if_changed(os.path.join(assets, page_file), f.read())
    copy_ruffle(ruffle, os.path.join(assets, "ruffle"))

    with open(os.path.join(HERE, "replay.html"), encoding="utf-8") as f:
        page = f.read()
    title = record.get("scenario", name)
    html_title = title.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    page = page.replace("@TITLE@", html_title).replace("@DATA@", f"{name}.data.js").replace("@PICTURE@", picture)
    write_if_changed(out, page.encode("utf-8"))


def main(argv):
    parser = argparse.ArgumentParser(description="Writes a session's replay page.")
    parser.add_argument("--replay", required=True, help="the session's replay record (simgame --replay)")
    parser.add_argument("--picture", required=True, help="the session's picture (simgame --picture)")
    parser.add_argument("--movie", required=True, help="TarvekMenu.swf as built")
    parser.add_argument("--ruffle", required=True, help="the folder of npm's @ruffle-rs/ruffle")
    parser.add_argument("--out", required=True, help="the page to write, NAME.html")
    args = parser.parse_args(argv[1:])
    try:
        make_page(args.replay, args.picture, args.movie, args.ruffle, args.out)
    except (OSError, ValueError) as error:
        print(f"make_replay: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

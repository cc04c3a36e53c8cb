#!/usr/bin/env python3
"""Whole-program property runs: random Veldrin.ini files and random scenario files, from
fixed seeds, through the built Veldrin.dll in simgame.exe.

Every run must end as the stand-in game says a run may end: 0, or 2 for a scenario it
refuses with "file:line: message". The plugin's log must hold exactly its fixed lines, in
their fixed format, with every value in its key's range. simgame.exe exits 3 on any misuse
it caught (a reference never dropped, a heap block never freed, a string never released, a
sink left in freed memory, a page of game code left writable...), so a clean exit also says
that references and heaps balanced. A failing run leaves its files in the work folder and
names its seed, so it can be played again by hand.

Each worker plays its runs one after another in one served game (simgame.exe --serve,
which starts every session from a new game and ends after one that failed): a program
start costs seconds on an emulated processor, a session a fraction of one. Every
FRESH_EVERY-th run is played again in a program of its own, and must end the same, print
the same and leave the same record and log.

    property_runs.py --build BUILD_DIR [--runs N] [--seed S] [--jobs N]
"""

import argparse
import math
import os
import queue
import random
import re
import shutil
import subprocess
import sys
import threading

KEYS = ["tarvekkeycode", "switchtargetkeycode", "cameraspeed", "ignoreessentialactor", "maxdistance", "onlyhostile"]
INT32 = (-2**31, 2**31 - 1)
# What each logged key may hold once the settings are read.
RANGES = {
    "tarvekkeycode": INT32,
    "switchtargetkeycode": INT32,
    "cameraspeed": (50, 2000),
    "ignoreessentialactor": (0, 1),
    "maxdistance": INT32,
    "onlyhostile": (0, 1),
}
MENUS = ["Loading Menu", "Main Menu", "Inventory Menu", "Console", "Dialogue Menu", "HUD Menu", "Tarvek Menu"]


def winpath(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def random_case(rng, text):
    return "".join(c.upper() if rng.random() < 0.4 else c for c in text)


def random_value(rng):
    return rng.choice([
        str(rng.randint(-5, 3000)), str(rng.randint(-2**40, 2**40)), "0", "-1", "50", "2000", "2001", "49",
        "true", "TRUE", "True", "yes", "1", "false", "", " 100", "100 ", "12abc", "abc", "+7", "-0", "0x20",
        "9" * rng.randint(1, 30), "=", "a=b",
    ])


def random_ini(rng):
    lines = []
    for _ in range(rng.randint(0, 4)):
        lines.append(rng.choice(["; a comment", "# not a comment here", "", "[Other]", "junk line", "key=value"]))
    lines.append(rng.choice(["[Main]", "[main]", "[MAIN]", "[Main]", "[ Main ]"]))
    for _ in range(rng.randint(0, 14)):
        kind = rng.random()
        if kind < 0.7:
            name = rng.choice(KEYS)
            key = random_case(rng, name)
            if rng.random() < 0.1:
                key = " " + key
            # Mostly the scenario's own keys, so that sessions still lock now and then.
            value = random_value(rng)
            if name.endswith("keycode") and rng.random() < 0.7:
                value = "46" if name == "tarvekkeycode" else "47"
            lines.append(key + rng.choice(["=", "=", "=", " = ", "=="]) + value)
        elif kind < 0.8:
            lines.append(rng.choice(KEYS) + "=" + random_value(rng) + "=" + random_value(rng))
        elif kind < 0.9:
            lines.append("x" * rng.randint(1, 3000) + "=" + random_value(rng))
        else:
            lines.append(rng.choice(["", "[Main]", "=", "==", "[Other]", "cameraspeed"]))
    text = rng.choice(["\r\n", "\n"]).join(lines)
    data = text.encode("latin-1")
    if rng.random() < 0.1:  # a few stray bytes the game's ini reader must survive
        at = rng.randint(0, len(data))
        data = data[:at] + bytes(rng.randint(1, 255) for _ in range(rng.randint(1, 8))) + data[at:]
    return data


def random_number(rng):
    return rng.choice([
        "%.3f" % rng.uniform(-2000, 2000), "%.1f" % rng.uniform(-100, 100), "0", "nan", "inf", "-inf",
        "1e20", "-1e20", "3e38", "%g" % rng.uniform(-5, 5),
    ])


def random_scenario(rng, malformed):
    actors = []
    lines = []
    if rng.random() < 0.15:
        lines.append("fault " + rng.choice(["no-movie", "no-lock-cue", "heap-refuses", "allocator-refuses",
                                            "protect-branch-a", "protect-target-slot", "no-ui-queue"]))
    # Mostly a player who can see the actors, now and then one the game handed bad values.
    if rng.random() < 0.8:
        lines.append("player at 0 0 0 heading %.1f" % rng.uniform(-20, 20))
    else:
        lines.append("player at %s %s %s heading %s" % (random_number(rng), random_number(rng), "0", random_number(rng)))
    for i in range(rng.randint(2, 6)):
        name = "a%d" % i
        actors.append(name)
        words = ["actor", name, "at", "%.1f" % rng.uniform(-400, 400), "%.1f" % rng.uniform(200, 1500), "0"]
        for extra in ["female", "friendly", "essential", "unreferenced", "wall", "unseen"]:
            if rng.random() < 0.15:
                words.append(extra)
        lines.append(" ".join(words))
    lines += ["open Loading Menu", "close Loading Menu", "frames 1"]  # the marker menu opens
    if rng.random() < 0.7:  # most sessions lock something before the game turns on them
        lines += ["press keyboard 46", "frames %d" % rng.randint(1, 4)]
    for _ in range(rng.randint(5, 40)):
        kind = rng.random()
        if kind < 0.25:
            lines.append("frames %d" % rng.randint(1, 6))
        elif kind < 0.45:
            lines.append("%s %s %d" % (rng.choice(["press", "press", "hold", "release"]),
                                       rng.choice(["keyboard", "keyboard", "mouse", "gamepad"]),
                                       rng.choice([46, 47, 46, 47, 0, 1, 0x1000, 9, 281, 999])))
        elif kind < 0.5:
            lines.append("stick %s %s" % (random_number(rng), random_number(rng)))
        elif kind < 0.58:
            lines.append("move %s to %s %s %s" % (rng.choice(actors), random_number(rng), random_number(rng),
                                                  random_number(rng)))
        elif kind < 0.66:
            lines.append("set %s %s" % (rng.choice(actors), rng.choice(["hostile", "friendly", "essential", "mortal",
                                                                        "wall", "unseen", "visible", "unloaded",
                                                                        "loaded", "dying", "object"])))
        elif kind < 0.7:
            lines.append(rng.choice(["kill %s" % rng.choice(actors), "kill player", "delete %s" % rng.choice(actors)]))
        elif kind < 0.78:
            lines.append("%s %s" % (rng.choice(["open", "close", "close", "destroy"]), rng.choice(MENUS)))
        elif kind < 0.86:
            lines.append(rng.choice(["camera first", "camera third", "camera follow", "camera root off",
                                     "camera root on", "camera node off", "camera node on",
                                     "camera offset %s %s" % (random_number(rng), random_number(rng)),
                                     "camera tilt %s %s" % (random_number(rng), random_number(rng)),
                                     "camera at %s %s %s" % (random_number(rng), random_number(rng), "100")]))
        elif kind < 0.94:
            lines.append(rng.choice(["gamepad on", "gamepad off", "steering off", "steering on", "invert-look on",
                                     "fov %s" % random_number(rng), "screen %d %d" % (rng.choice([0, 1280, 1920]),
                                                                                      rng.choice([0, 720, 1080])),
                                     "player flags 0x%x" % rng.choice([0, 0x4000, 0x2]),
                                     "player state 0x%x" % rng.choice([0, 0x20000]),
                                     "player interaction %s" % rng.choice(["on", "off"]),
                                     "game branch-a on", "game branch-b on", "game target none"]))
        else:
            lines.append("# a comment %d" % rng.randint(0, 99))
    if malformed:
        at = rng.randint(0, len(lines))
        lines.insert(at, rng.choice(["fly away", "frames 0", "frames -3", "press keyboard 99999999999",
                                     "move ghost to 1 2 3", "actor a0 at 1 2", "stick 1e999 0", "screen -1 5",
                                     "camera sideways", "set a0 sleeping", "fault never"]))
    return "\n".join(lines) + "\n", (at + 1 if malformed else None)


LOG_LINE = re.compile(r"^   ([a-z]+)  =  (-?\d+)$")


def check_log(text, module="Veldrin.dll"):
    """Returns a complaint, or None when the log is exactly as it must be: the nine fixed
    lines, then one movie line for each marker menu built with its movie."""
    lines = text.split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    else:
        return "the log does not end with a line break"
    if len(lines) < 9:
        return "the log has %d lines, not at least 9: %r" % (len(lines), lines)
    if lines[0] != module or lines[1] != "Tarvek ver.1 loaded." or lines[2] != "Main":
        return "the log's first lines are %r" % lines[:3]
    for key, line in zip(KEYS, lines[3:9]):
        match = LOG_LINE.match(line)
        if not match or match.group(1) != key:
            return "settings line %r is not the line for %s" % (line, key)
        low, high = RANGES[key]
        if not low <= int(match.group(2)) <= high:
            return "%s = %s is out of its range" % (key, match.group(2))
    for line in lines[9:]:
        if line != "loaded Inteface/TarvekMenu.swf":
            return "an unexpected log line %r" % line
    return None


def documents_folder(build):
    """The documents folder the game sees (build/wine-run takes it from the environment)."""
    return os.environ.get("VELDRIN_DOCUMENTS_FOLDER") or os.path.join(build, "wine", "home")


# One run in so many is played again in a program of its own, to hold the served game to
# what a new process does.
FRESH_EVERY = 25
# A session (or a program's start) that takes longer is taken for hung.
SESSION_SECONDS = 120
EXIT_LINE = re.compile(r"^simgame: exit code (-?\d+)$")
READY_LINE = "simgame: ready"


class Worker:
    """One game folder of its own: its settings file, scenario and record, and the served
    game playing in it. The plugin's log is named after its module
    (<Documents>\\My Games\\Skyrim\\SKSE\\<module>.log), so each worker but the first plays
    the same plugin under another file name, and two workers never share a file."""

    def __init__(self, build, work, number):
        self.module = "Veldrin.dll" if number == 0 else "Veldrin%d.dll" % (number + 1)
        self.folder = os.path.join(work, "worker-%d" % number)
        game = os.path.join(self.folder, "game")
        shutil.copytree(os.path.join(build, "game"), game)
        plugins = os.path.join(game, "Data", "SKSE", "Plugins")
        if self.module != "Veldrin.dll":
            os.rename(os.path.join(plugins, "Veldrin.dll"), os.path.join(plugins, self.module))
        self.ini_path = os.path.join(plugins, "Veldrin.ini")
        self.log_path = os.path.join(documents_folder(build), "My Games", "Skyrim", "SKSE",
                                     os.path.splitext(self.module)[0] + ".log")
        self.simgame = winpath(os.path.join(game, "simgame.exe"))
        self.scenario_path = os.path.join(self.folder, "scenario.txt")
        self.record_path = os.path.join(self.folder, "record.csv")
        self.served = None
        self.errors = open(os.path.join(self.folder, "errors.txt"), "ab")


class ServedGame:
    """simgame.exe --serve: sessions sent a line at a time, its output read as it comes."""

    def __init__(self, wine_run, simgame, errors):
        # Its own messages come on its output; Wine's and the emulated machine's (none, as a
        # rule) go to the worker's errors file.
        self.process = subprocess.Popen([wine_run, simgame, "--serve"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=errors)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        try:
            self.ready = self._next_line() == READY_LINE
        except TimeoutError:
            self.ready = False

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.decode("latin-1").rstrip("\r\n"))
        self.lines.put(None)

    def _next_line(self):
        """The next line, None at the end of the output; TimeoutError when none comes."""
        try:
            return self.lines.get(timeout=SESSION_SECONDS)
        except queue.Empty:
            raise TimeoutError from None

    def play(self, arguments):
        """One session: its exit code (None when it never printed one) and what it printed,
        ending with its exit line; TimeoutError when it hung."""
        self.process.stdin.write(("\t".join(arguments) + "\n").encode("latin-1"))
        self.process.stdin.flush()
        printed = []
        while True:
            line = self._next_line()
            if line is None:
                return None, "\n".join(printed) + "\n"
            printed.append(line)
            match = EXIT_LINE.match(line)
            if match:
                try:
                    self.ready = self._next_line() == READY_LINE
                except TimeoutError:
                    self.ready = False
                return int(match.group(1)), "\n".join(printed) + "\n"

    def end(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.close()
                self.process.wait(timeout=SESSION_SECONDS)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()


def play_served(wine_run, worker, arguments):
    """A session in the worker's served game, started (again) when it has none ready: its
    exit code (None when it never printed one) and what it printed."""
    if worker.served is None or not worker.served.ready:
        if worker.served is not None:
            worker.served.end()
        worker.served = ServedGame(wine_run, worker.simgame, worker.errors)
        if not worker.served.ready:
            return None, "the served game did not start\n"
    try:
        code, printed = worker.served.play(arguments)
    except TimeoutError:
        worker.served.process.kill()
        code, printed = None, "simgame.exe hung\n"
    except OSError as error:  # it went away before taking the session
        code, printed = None, "the served game went away: %s\n" % error
    if code is None:
        worker.served.end()
        printed += "(the game ended without its exit line: exit code %s)\n" % worker.served.process.returncode
    return code, printed


def play_fresh(wine_run, worker, arguments):
    """The same session as the first of a served game of its own, as a new program plays it."""
    game = ServedGame(wine_run, worker.simgame, worker.errors)
    try:
        return game.play(arguments) if game.ready else (None, "the served game did not start\n")
    except (TimeoutError, OSError):
        game.process.kill()
        return None, "simgame.exe hung or went away\n"
    finally:
        game.end()


def read_bytes(path):
    try:
        with open(path, "rb") as data:
            return data.read()
    except OSError:
        return None


def forget_outputs(worker):
    for path in (worker.log_path, worker.record_path):
        if os.path.exists(path):
            os.remove(path)


def as_bytes(value):
    return value if isinstance(value, bytes) else str(value).encode("latin-1")


def play(wine_run, worker, seed):
    """One run from its seed on a worker: None when it ended as a run may end, else what
    went wrong with the files to keep; and whether it was refused, and whether it locked."""
    rng = random.Random(seed)
    ini = random_ini(rng)
    malformed = rng.random() < 0.15
    scenario, bad_line = random_scenario(rng, malformed)
    with open(worker.ini_path, "wb") as out:
        out.write(ini)
    with open(worker.scenario_path, "w") as out:
        out.write(scenario)
    files = {"Veldrin.ini": ini, "scenario.txt": scenario.encode()}
    arguments = ["--plugin", worker.module, "--record", winpath(worker.record_path), winpath(worker.scenario_path)]
    forget_outputs(worker)
    code, out = play_served(wine_run, worker, arguments)
    outcome = judge(worker, code, out, malformed, bad_line, files)
    if outcome[0] is None and seed % FRESH_EVERY == 0:
        served = (code, out, read_bytes(worker.record_path), read_bytes(worker.log_path))
        forget_outputs(worker)
        fresh = (*play_fresh(wine_run, worker, arguments), read_bytes(worker.record_path), read_bytes(worker.log_path))
        for what, one, other in zip(["exit-code", "output", "record", "log"], served, fresh):
            if one != other:
                files["served-" + what] = as_bytes(one)
                files["fresh-" + what] = as_bytes(other)
                return ("the session played served and in a program of its own differ in their %s" % what,
                        files), False, False
    return outcome


def judge(worker, code, out, malformed, bad_line, files):
    if code is None or not out.rstrip("\n").endswith("simgame: exit code %d" % code):
        return ("simgame.exe did not run to its end:\n%s" % out[-1500:], files), False, False
    if malformed:
        if code != 2 or not re.search(r"scenario\.txt:%d: " % bad_line, out):
            return ("a malformed line %d was not refused with its file and line: exit %d, %r"
                    % (bad_line, code, out[-500:].strip()), files), False, False
        return None, True, False
    if code != 0:
        return ("exit code %d:\n%s" % (code, out[-2000:]), files), False, False
    locked = ": locked " in out
    try:
        with open(worker.log_path, "rb") as log:
            text = log.read().decode("latin-1")
    except OSError:
        return ("no log was written", files), False, locked
    complaint = check_log(text, worker.module)
    if complaint:
        files["Veldrin.log"] = text.encode("latin-1")
        return (complaint, files), False, locked
    return None, False, locked


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--jobs", type=int, default=1, help="runs played side by side")
    args = parser.parse_args()

    build = os.path.realpath(args.build)
    wine_run = os.path.join(build, "wine-run")
    work = os.path.join(build, "property")
    shutil.rmtree(work, ignore_errors=True)
    workers = [Worker(build, work, number) for number in range(max(1, args.jobs))]

    # A Wine program that waits on its input keeps the prefix's wineserver, and with it
    # Wine's own services, running between the runs: each run then starts in a moment.
    subprocess.run([wine_run, "cmd", "/c", "exit"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    keeper = subprocess.Popen([wine_run, "cmd", "/c", "pause"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seeds = queue.Queue()
    for index in range(args.runs):
        seeds.put(args.seed + index)
    outcomes = {}

    def serve(worker):
        while True:
            try:
                seed = seeds.get_nowait()
            except queue.Empty:
                return
            outcomes[seed] = play(wine_run, worker, seed)

    threads = [threading.Thread(target=serve, args=(worker,)) for worker in workers]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for worker in workers:
        if worker.served is not None:
            worker.served.end()
    keeper.stdin.close()
    keeper.wait()

    failures = []
    for seed in sorted(outcomes):
        failure, _, _ = outcomes[seed]
        if failure:
            what, files = failure
            keep = os.path.join(work, "failed-%d" % seed)
            os.makedirs(keep, exist_ok=True)
            for name, data in files.items():
                with open(os.path.join(keep, name), "wb") as out:
                    out.write(data)
            failures.append("seed %d: %s (files kept in %s)" % (seed, what, keep))
    if len(outcomes) != args.runs:  # a worker stopped on an error of this script's
        failures.append("%d runs were never played" % (args.runs - len(outcomes)))
    refused = sum(1 for _, was_refused, _ in outcomes.values() if was_refused)
    locked = sum(1 for _, _, did_lock in outcomes.values() if did_lock)
    print("property runs: %d random settings files with %d random scenarios (seeds %d to %d, %d side by side); "
          "%d malformed scenarios refused with their file and line; %d sessions locked a target"
          % (args.runs, args.runs, args.seed, args.seed + args.runs - 1, len(workers), refused, locked))
    for failure in failures:
        print("FAIL: " + failure)
    passed = sum(1 for failure, _, _ in outcomes.values() if failure is None)
    print("property runs: %d passed, %d failed" % (passed, args.runs - passed))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

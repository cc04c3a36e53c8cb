"""The agent inside the emulated machine (see guest.py): runs each program sent to it, one
connection a program and as many at once as are sent, and streams back its output and how
it ended. A connection that closes before its program ended (the caller was killed, or
timed out) kills the program and everything it started.

    agent.py PORT [--guest virtiofs|9p]

--guest: this is the emulated machine (its first process), with its shares of that kind,
whose caches are emptied before each program and before each input handed to one; without
it the agent serves on this machine, as the tests use it.
"""

import json
import os
import resource
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time

FRAME = struct.Struct("!cI")
KIND_STDIN, KIND_STDOUT, KIND_STDERR, KIND_EXIT = b"I", b"O", b"E", b"X"
# How long output may still come after the program ended (from what it left running).
DRAIN_SECONDS = 5
# How long the programs still running get to end before the machine is switched off.
END_SECONDS = 10
# The distribution's 32-bit libraries and Wine: read-only in the guest and unchanged while
# it runs, so kept out of the emptying of the cache (see hold_distribution_files).
DISTRIBUTION_FOLDERS = ["/usr/lib/i386-linux-gnu", "/usr/lib/wine", "/usr/share/wine"]


def forget_cached_files(shares):
    """A program must see the files as the host has them now (a settings file rewritten, a
    log deleted and written again between two runs), so each starts with the guest's
    caches emptied of whatever no running program holds; so does each input handed to a
    running program, which may name files the host has just written (a served game's next
    session). virtio-fs checks a file's data again at each open but trusts the names it
    looked up for a second: the names and inodes go. The 9p shares' page cache (see
    init.sh) never asks the host whether a file changed: its pages go too. Nothing to do
    outside the guest (no shares)."""
    if not shares:
        return
    with open("/proc/sys/vm/drop_caches", "w") as caches:
        caches.write("2" if shares == "virtiofs" else "3")


def hold_distribution_files():
    """Emptying the cache also forgets every file name the guest has looked up, and each Wine
    start looks up hundreds of the distribution's files again through the share (measured:
    half a second or more a start). A file held open keeps its name and inode, so the agent
    holds them from a process of its own, whose higher limit on open files the programs it
    runs do not inherit, for the guest's life."""
    if os.fork() != 0:
        return
    try:
        limit = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))
        held = []
        for folder in DISTRIBUTION_FOLDERS:
            for path, _, names in os.walk(folder):
                for name in names[:max(0, limit - 16 - len(held))]:
                    try:
                        held.append(os.open(os.path.join(path, name), os.O_RDONLY))
                    except OSError:
                        pass
        while True:
            signal.pause()
    finally:
        os._exit(0)


def end_everything():
    """Before the machine is switched off: every process asked to end (Wine's servers save
    their prefix's registry as they go), given a few seconds, and the writes flushed."""
    os.kill(-1, signal.SIGTERM)
    deadline = time.monotonic() + END_SECONDS
    while time.monotonic() < deadline and any(
            name.isdigit() and int(name) != os.getpid() and not kernel_thread(name) for name in os.listdir("/proc")):
        time.sleep(0.2)
    os.sync()


def kernel_thread(pid):
    try:
        with open("/proc/%s/cmdline" % pid, "rb") as cmdline:
            return not cmdline.read()
    except OSError:
        return True


class Program(socketserver.StreamRequestHandler):
    def handle(self):
        request = json.loads(self.rfile.readline() or b"{}")
        if request.get("ping"):
            self.wfile.write(b"pong\n")
            return
        if request.get("shutdown") and self.server.shares:
            end_everything()
            self.wfile.write(b"down\n")
            return
        sending = threading.Lock()

        def send(kind, payload):
            with sending:
                self.connection.sendall(FRAME.pack(kind, len(payload)) + payload)

        forget_cached_files(self.server.shares)
        environment = dict(request["env"])
        # The guest's own temporary folder: Wine's server socket cannot live on the share.
        environment["TMPDIR"] = "/tmp"
        environment["VELDRIN_IN_GUEST"] = "1"
        try:
            process = subprocess.Popen(request["argv"], cwd=request["cwd"], env=environment,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       start_new_session=True)
        except OSError as error:
            missing = isinstance(error, FileNotFoundError)
            send(KIND_EXIT, json.dumps({"error": "%s: %s" % (request["argv"][0], error.strerror),
                                        "missing": missing}).encode())
            return

        def pump(stream, kind):
            try:
                while True:
                    data = os.read(stream.fileno(), 65536)
                    if not data:
                        return
                    send(kind, data)
            except OSError:
                return

        def watch_caller():
            # Input frames, then the caller's end: a closed connection kills the program.
            try:
                while True:
                    header = self.rfile.read(FRAME.size)
                    if len(header) < FRAME.size:
                        break
                    kind, length = FRAME.unpack(header)
                    data = self.rfile.read(length)
                    if kind == KIND_STDIN:
                        try:
                            if data:
                                forget_cached_files(self.server.shares)
                                process.stdin.write(data)
                                process.stdin.flush()
                            else:
                                process.stdin.close()
                        except (OSError, ValueError):
                            pass
            except OSError:
                pass
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except OSError:
                    pass

        pumps = [threading.Thread(target=pump, args=(process.stdout, KIND_STDOUT), daemon=True),
                 threading.Thread(target=pump, args=(process.stderr, KIND_STDERR), daemon=True)]
        for thread in pumps:
            thread.start()
        threading.Thread(target=watch_caller, daemon=True).start()
        code = process.wait()
        for thread in pumps:
            thread.join(DRAIN_SECONDS)
        result = {"signal": -code} if code < 0 else {"code": code}
        try:
            send(KIND_EXIT, json.dumps(result).encode())
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    # The guest's kind of shares; None where the agent serves on this machine.
    shares = sys.argv[3] if sys.argv[2:3] == ["--guest"] else None
    if shares:
        hold_distribution_files()
    with Server(("0.0.0.0", int(sys.argv[1])), Program) as server:
        server.shares = shares
        print("agent: serving on port %d" % server.server_address[1], flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()

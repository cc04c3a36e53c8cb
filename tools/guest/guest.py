#!/usr/bin/env python3
"""The emulated x86-64 machine that runs this project's 32-bit programs on a machine whose
kernel refuses them. Debian's own kernel boots from a small busybox initramfs under
qemu-system-x86_64; this machine's root is shared read-only and the source tree (with
build/) read-write at the same path, so a program sees the same files, tools and libraries
there as here. The shares are virtio-fs (a virtiofsd for each, where it runs as root) or
else virtio-9p. Only the programs cross: compilers, CMake, Python's own
checks, Node.js and the browser stay on this machine.

One guest serves a whole ./run command. The first program that needs it boots it; every
program is then one connection to the agent inside (agent.py), which runs it and streams
its output, exit code or killing signal back, so that it looks as if it had run here.

    guest.py prepare GUEST_DIR        the kernel and initramfs, from Debian's packages
    guest.py run -- PROGRAM [ARG...]  run one program in the guest of $VELDRIN_GUEST
    guest.py down                     shut the guest of $VELDRIN_GUEST down

$VELDRIN_GUEST names the folder of one ./run command's guest (its port, its console log);
$VELDRIN_GUEST_OWNER the process whose end shuts it down, even when that end is a kill.
"""

import fcntl
import json
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.realpath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
AGENT_PORT = 5555
BOOT_SECONDS = 600
# What the guest's kernel needs to reach this machine's files and the agent, besides what
# the modules themselves depend on (read from each module's own list).
MODULES = ["virtio_pci", "virtio_net", "virtiofs", "9pnet_virtio", "9p"]
# A frame: its kind (one byte), the payload's length, the payload.
FRAME = struct.Struct("!cI")
KIND_STDIN, KIND_STDOUT, KIND_STDERR, KIND_EXIT = b"I", b"O", b"E", b"X"


def say(text):
    print("guest: " + text, file=sys.stderr, flush=True)


# --- The kernel and its initramfs.

def module_depends(path):
    """The modules a kernel module needs, as its own .modinfo section lists them."""
    with open(path, "rb") as module:
        found = re.search(rb"\x00depends=([^\x00]*)\x00", module.read())
    return [name.decode() for name in found.group(1).split(b",") if name] if found else []


def module_closure(modules_dir, wanted=MODULES):
    """The kernel modules to load for WANTED, each after the modules it depends on."""
    paths = {}
    for folder, _, files in os.walk(modules_dir):
        for name in files:
            if name.endswith(".ko"):
                paths[name[:-3].replace("-", "_")] = os.path.join(folder, name)
    ordered = []

    def visit(name):
        name = name.replace("-", "_")
        if name in ordered:
            return
        if name not in paths:  # built into the kernel
            return
        for dependency in module_depends(paths[name]):
            visit(dependency)
        ordered.append(name)

    for name in wanted:
        visit(name)
    return [(name, paths[name]) for name in ordered]


def cpio_entry(name, mode, data=b"", rdev=(0, 0)):
    """One member of a newc cpio archive, the format the kernel unpacks as its initramfs."""
    name_bytes = name.encode() + b"\x00"
    fields = [0, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1], len(name_bytes), 0]
    header = b"070701" + b"".join(b"%08X" % field for field in fields)
    pad = lambda length: b"\x00" * (-length % 4)
    return header + name_bytes + pad(len(header) + len(name_bytes)) + data + pad(len(data))


def build_initramfs(busybox, modules, init_script, output):
    members = []
    for folder in ["bin", "dev", "proc", "sys", "modules", "newroot"]:
        members.append(cpio_entry(folder, 0o40755))
    members.append(cpio_entry("dev/console", 0o20600, rdev=(5, 1)))
    with open(busybox, "rb") as source:
        members.append(cpio_entry("bin/busybox", 0o100755, source.read()))
    with open(init_script, "rb") as source:
        members.append(cpio_entry("init", 0o100755, source.read()))
    order = []
    for name, path in modules:
        with open(path, "rb") as source:
            members.append(cpio_entry("modules/%s.ko" % name, 0o100644, source.read()))
        order.append(name)
    members.append(cpio_entry("modules/order", 0o100644, ("\n".join(order) + "\n").encode()))
    members.append(cpio_entry("TRAILER!!!", 0))
    with open(output + ".part", "wb") as out:
        out.write(b"".join(members))
    os.replace(output + ".part", output)


def prepare(guest_dir):
    """Unpacks the kernel and busybox packages fetched into GUEST_DIR/debs and writes the
    kernel and initramfs the guest boots from."""
    debs = os.path.join(guest_dir, "debs")
    unpacked = os.path.join(guest_dir, "unpacked")
    subprocess.run(["rm", "-rf", unpacked], check=True)
    for name in sorted(os.listdir(debs)):
        if name.endswith(".deb"):
            subprocess.run(["dpkg-deb", "-x", os.path.join(debs, name), unpacked], check=True)
    kernels = sorted(name for name in os.listdir(os.path.join(unpacked, "boot")) if name.startswith("vmlinuz-"))
    if not kernels:
        raise SystemExit("guest: the kernel package holds no boot/vmlinuz-*")
    version = kernels[-1][len("vmlinuz-"):]
    modules = module_closure(os.path.join(unpacked, "lib", "modules", version))
    missing = [name for name in MODULES[1:] if name not in [m for m, _ in modules]]
    if missing:
        raise SystemExit("guest: the kernel package lacks the modules " + ", ".join(missing))
    build_initramfs(os.path.join(unpacked, "bin", "busybox"), modules, os.path.join(HERE, "init.sh"),
                    os.path.join(guest_dir, "initramfs.cpio"))
    os.replace(os.path.join(unpacked, "boot", kernels[-1]), os.path.join(guest_dir, "vmlinuz"))
    subprocess.run(["rm", "-rf", unpacked], check=True)


# --- The machine.

# Where Debian keeps virtiofsd: qemu's own (bookworm), or its package of its own (later).
VIRTIOFSD = ["/usr/libexec/virtiofsd", "/usr/lib/qemu/virtiofsd"]
# The longest path a Unix socket may have.
SOCKET_PATH_MAX = 107


def share_sockets(state):
    """The virtiofsd sockets of the root and work shares, or None where the shares are 9p:
    where virtiofsd cannot run (it needs root), where the guest's folder is too deep for a
    socket, or where VELDRIN_GUEST_SHARES=9p asks for them. virtiofsd answers the guest's
    file requests itself, where qemu answers 9p's on its one main thread: twelve game
    sessions, two at a time, took 31 s against 43 s."""
    sockets = {tag: os.path.join(state, tag + ".sock") for tag in ["root", "work"]}
    if (os.environ.get("VELDRIN_GUEST_SHARES") == "9p" or os.geteuid() != 0 or not virtiofsd()
            or max(len(path) for path in sockets.values()) > SOCKET_PATH_MAX):
        return None
    return sockets


def virtiofsd():
    return next((path for path in VIRTIOFSD if os.access(path, os.X_OK)), None)


def start_share_daemons(state, sockets):
    """One virtiofsd a share. The root does not change while the guest runs, so the guest
    may keep what it read; the work share's cache is checked again at each open, and the
    agent has the guest forget its file names before each program (see agent.py)."""
    daemons = []
    for path in sockets.values():  # a stale one would pass for the daemon's own
        if os.path.exists(path):
            os.remove(path)
    for tag, source, cache in [("root", "/", "always"), ("work", SOURCE, "auto")]:
        with open(os.path.join(state, tag + "-share.log"), "wb") as log:
            daemons.append(subprocess.Popen(
                [virtiofsd(), "--socket-path=" + sockets[tag], "-o", "source=" + source, "-o", "cache=" + cache,
                 "-o", "sandbox=chroot"], stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT))
    deadline = time.monotonic() + 30
    while not all(os.path.exists(path) for path in sockets.values()):
        if time.monotonic() > deadline or any(daemon.poll() is not None for daemon in daemons):
            for daemon in daemons:
                end_process(daemon)
            raise OSError("virtiofsd did not start (its logs: %s)" % os.path.join(state, "*-share.log"))
        time.sleep(0.05)
    return daemons


def accelerator():
    """Software emulation (TCG), which every machine has. VELDRIN_GUEST_ACCEL=kvm asks for
    the host's virtualisation instead, where /dev/kvm is there to use."""
    accel = "kvm" if os.environ.get("VELDRIN_GUEST_ACCEL", "tcg") == "kvm" else "tcg"
    # The plain 64-bit processor, SSE2 as the programs are built for: on TCG a game session
    # took a quarter less time than on "max" (without the SMAP, SMEP and PKU that have the
    # guest kernel oops on Wine's iret) or on a Westmere without AVX.
    return ["-accel", accel, "-cpu", "qemu64"]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def share_devices(sockets):
    if sockets:
        return [option for tag, path in sockets.items() for option in [
            "-chardev", "socket,id=%s,path=%s" % (tag, path), "-device", "vhost-user-fs-pci,chardev=%s,tag=%s" % (tag, tag)]]
    # The root through the guest's page cache: Wine reads a program's sections with one
    # read call, which an uncached 9p share may answer short.
    return ["-fsdev", "local,id=root,path=/,security_model=none,readonly=on,multidevs=remap",
            "-device", "virtio-9p-pci,fsdev=root,mount_tag=root",
            "-fsdev", "local,id=work,path=%s,security_model=none,multidevs=remap" % SOURCE,
            "-device", "virtio-9p-pci,fsdev=work,mount_tag=work"]


def qemu_command(guest_dir, state, port, sockets):
    memory_mb = min(8192, os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") // (2 << 20))
    python = os.path.realpath(sys.executable)
    # No speculation mitigations: nothing untrusted runs in the guest, and on an emulated
    # processor they only cost time. A fixed tick without high-resolution timers: every
    # timer the guest sets wakes qemu, and Wine sets many (a session took a tenth less).
    # No address randomisation: qemu keeps the code it translated by the address it ran at,
    # so only where every process maps a library at the same place does the next process
    # reuse it instead of translating all of Wine again (game sessions took a quarter less).
    append = " ".join(["console=ttyS0", "quiet", "panic=-1", "mitigations=off", "highres=off", "nohz=off", "norandmaps",
                       "veldrin.work=" + SOURCE, "veldrin.shares=" + ("virtiofs" if sockets else "9p"),
                       "veldrin.python=" + python, "veldrin.agent=" + os.path.join(HERE, "agent.py"),
                       "veldrin.port=%d" % AGENT_PORT])
    # virtiofsd reaches the guest's memory only where qemu shares it.
    memory = ["-object", "memory-backend-memfd,id=memory,size=%dM,share=on" % memory_mb,
              "-machine", "memory-backend=memory"] if sockets else []
    return ["qemu-system-x86_64", "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            *accelerator(), "-smp", str(os.cpu_count() or 2), "-m", str(memory_mb), *memory,
            "-kernel", os.path.join(guest_dir, "vmlinuz"), "-initrd", os.path.join(guest_dir, "initramfs.cpio"),
            "-append", append,
            "-serial", "file:" + os.path.join(state, "console.log"),
            *share_devices(sockets),
            "-netdev", "user,id=net,restrict=on,hostfwd=tcp:127.0.0.1:%d-:%d" % (port, AGENT_PORT),
            "-device", "virtio-net-pci,netdev=net,romfile="]


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except (OSError, TypeError):
        return False


def agent_answers(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as connection:
            connection.sendall(json.dumps({"ping": True}).encode() + b"\n")
            return connection.recv(16).startswith(b"pong")
    except OSError:
        return False


def serve(state):
    """The guest's keeper, in the background: boots the machine, says when its agent
    answers, and shuts it down when asked or when the owner is gone."""
    guest_dir = os.path.dirname(state)
    owner = int(os.environ.get("VELDRIN_GUEST_OWNER", "0") or 0)
    port = free_port()
    sockets = share_sockets(state)
    daemons = []
    if sockets:
        try:
            daemons = start_share_daemons(state, sockets)
        except OSError as error:
            say("%s: the shares are 9p" % error)
            sockets = None
    try:
        with open(os.path.join(state, "qemu.log"), "wb") as log:
            qemu = subprocess.Popen(qemu_command(guest_dir, state, port, sockets), stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT)
    except OSError as error:
        for daemon in daemons:
            end_process(daemon)
        write_file(os.path.join(state, "failed"), str(error))
        return
    stop = os.path.join(state, "stop")
    started = time.monotonic()
    ready = False
    try:
        while True:
            if qemu.poll() is not None:
                write_file(os.path.join(state, "failed"), "the emulated machine ended (exit code %d)" % qemu.returncode)
                return
            if os.path.exists(stop) or (owner and not alive(owner)):
                return
            if not ready:
                if agent_answers(port):
                    write_file(os.path.join(state, "port"), str(port))
                    ready = True
                    continue
                if time.monotonic() - started > BOOT_SECONDS:
                    write_file(os.path.join(state, "failed"), "the emulated machine did not answer in %d s" % BOOT_SECONDS)
                    return
            time.sleep(0.5 if not ready else 1)
    finally:
        for process in [qemu, *daemons]:
            end_process(process)
        for name in ["port", "keeper"]:
            try:
                os.remove(os.path.join(state, name))
            except OSError:
                pass


def end_process(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def write_file(path, text):
    with open(path + ".part", "w") as out:
        out.write(text)
    os.replace(path + ".part", path)


def read_file(path):
    try:
        with open(path) as source:
            return source.read().strip()
    except OSError:
        return None


def guest_port(state):
    """The port of the running guest's agent, booting the guest first when none runs."""
    os.makedirs(state, exist_ok=True)
    with open(os.path.join(state, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        port = read_file(os.path.join(state, "port"))
        keeper = read_file(os.path.join(state, "keeper"))
        if port and keeper and alive(int(keeper)):
            return int(port)
        owner = int(os.environ.get("VELDRIN_GUEST_OWNER", "0") or 0)
        if owner and not alive(owner):
            raise SystemExit("guest: the command that owned this guest (process %d) has ended" % owner)
        failed = read_file(os.path.join(state, "failed"))
        if failed:
            raise SystemExit("guest: " + failed + " (its console: %s)" % os.path.join(state, "console.log"))
        guest_dir = os.path.dirname(state)
        for name in ["vmlinuz", "initramfs.cpio"]:
            if not os.path.exists(os.path.join(guest_dir, name)):
                raise SystemExit("guest: no %s in %s: ./run prepares the guest" % (name, guest_dir))
        try:
            os.remove(os.path.join(state, "stop"))
        except OSError:
            pass
        keeper = subprocess.Popen([sys.executable, os.path.realpath(__file__), "serve", state],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=open(os.path.join(state, "keeper.log"), "ab"), start_new_session=True)
        write_file(os.path.join(state, "keeper"), str(keeper.pid))
        while True:
            port = read_file(os.path.join(state, "port"))
            if port:
                return int(port)
            failed = read_file(os.path.join(state, "failed"))
            if failed or keeper.poll() is not None:
                raise SystemExit("guest: %s (its console: %s)"
                                 % (failed or "the guest's keeper ended", os.path.join(state, "console.log")))
            time.sleep(0.2)


def down(state):
    """Ends the guest's programs (their Wine servers saving their registries), then the
    guest; a guest that never booted is left unbooted."""
    if not os.path.isdir(state):
        return
    port = read_file(os.path.join(state, "port"))
    if port:
        try:
            with socket.create_connection(("127.0.0.1", int(port)), timeout=30) as connection:
                connection.sendall(json.dumps({"shutdown": True}).encode() + b"\n")
                connection.recv(16)
        except OSError:
            pass
    write_file(os.path.join(state, "stop"), "")
    keeper = read_file(os.path.join(state, "keeper"))
    deadline = time.monotonic() + 20
    while keeper and alive(int(keeper)) and time.monotonic() < deadline:
        time.sleep(0.2)


# --- One program.

def receive_exactly(connection, count):
    data = b""
    while len(data) < count:
        chunk = connection.recv(count - len(data))
        if not chunk:
            raise ConnectionError("the guest closed the connection")
        data += chunk
    return data


def run(argv):
    """Runs ARGV in the guest with this process's working folder and environment, its
    input forwarded, and ends as it ended: the same output, exit code or signal."""
    return run_at(guest_port(os.environ["VELDRIN_GUEST"]), argv)


def run_at(port, argv):
    """run() with the agent listening at PORT on this machine's loopback."""
    connection = socket.create_connection(("127.0.0.1", port))
    request = {"argv": argv, "cwd": os.getcwd(), "env": dict(os.environ)}
    connection.sendall(json.dumps(request).encode() + b"\n")
    sending = threading.Lock()

    def forward_input():
        try:
            while True:
                data = os.read(0, 65536)
                with sending:
                    connection.sendall(FRAME.pack(KIND_STDIN, len(data)) + data)
                if not data:
                    return
        except OSError:
            return

    threading.Thread(target=forward_input, daemon=True).start()
    outputs = {KIND_STDOUT: 1, KIND_STDERR: 2}
    try:
        while True:
            kind, length = FRAME.unpack(receive_exactly(connection, FRAME.size))
            payload = receive_exactly(connection, length)
            if kind in outputs:
                os.write(outputs[kind], payload)
            elif kind == KIND_EXIT:
                result = json.loads(payload)
                break
    except ConnectionError:
        say("the guest ended before %s did" % argv[0])
        return 125
    if result.get("error"):
        say(result["error"])
        return 127 if result.get("missing") else 126
    if result.get("signal"):
        if result["signal"] not in (signal.SIGKILL, signal.SIGSTOP):
            signal.signal(result["signal"], signal.SIG_DFL)
        os.kill(os.getpid(), result["signal"])
    return result.get("code", 1)


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "prepare" and len(sys.argv) == 3:
        prepare(sys.argv[2])
    elif len(sys.argv) >= 2 and sys.argv[1] == "serve" and len(sys.argv) == 3:
        serve(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1:3] == ["run", "--"]:
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
        sys.exit(run(sys.argv[3:]))
    elif sys.argv[1:] == ["down"]:
        down(os.environ["VELDRIN_GUEST"])
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()

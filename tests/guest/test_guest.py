"""The emulated machine's tool without the machine: its agent serving on this machine's
loopback, and the client that hands it programs, as build/wine-run and run32 use them;
and the order in which the guest loads its kernel modules."""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "guest")
sys.path.insert(0, TOOL)
import guest  # noqa: E402

CLIENT = "import sys; sys.path.insert(0, %r); import guest; sys.exit(guest.run_at(int(sys.argv[1]), sys.argv[2:]))" % TOOL


class AgentAndClient(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.agent = subprocess.Popen([sys.executable, os.path.join(TOOL, "agent.py"), "0"], stdout=subprocess.PIPE,
                                     text=True)
        cls.port = int(cls.agent.stdout.readline().split()[-1])

    @classmethod
    def tearDownClass(cls):
        cls.agent.kill()
        cls.agent.wait()
        cls.agent.stdout.close()

    def client(self, *argv, **options):
        return subprocess.Popen([sys.executable, "-c", CLIENT, str(self.port), *argv], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, stdin=subprocess.PIPE, **options)

    def run_client(self, *argv, stdin=b""):
        client = self.client(*argv)
        out, err = client.communicate(stdin, timeout=60)
        return client.returncode, out, err

    def test_output_streams_and_exit_code_come_back_apart(self):
        code, out, err = self.run_client("sh", "-c", "echo out; echo err >&2; exit 7")
        self.assertEqual((code, out, err), (7, b"out\n", b"err\n"))

    def test_a_program_killed_by_a_signal_kills_the_client_with_it(self):
        code, out, _ = self.run_client("sh", "-c", "echo before; kill -SEGV $$")
        self.assertEqual((code, out), (-signal.SIGSEGV, b"before\n"))

    def test_input_is_forwarded_to_its_end(self):
        code, out, _ = self.run_client("sh", "-c", "cat; echo done", stdin=b"line one\nline two")
        self.assertEqual((code, out), (0, b"line one\nline twodone\n"))

    def test_working_folder_and_environment_are_the_callers(self):
        with tempfile.TemporaryDirectory() as folder:
            client = self.client("sh", "-c", 'echo "$PWD $GUEST_TEST_WORD"', cwd=folder,
                                 env=dict(os.environ, GUEST_TEST_WORD="carried"))
            out, _ = client.communicate(timeout=60)
            self.assertEqual(out.decode(), "%s carried\n" % os.path.realpath(folder))

    def test_a_missing_program_fails_as_the_shell_says(self):
        code, _, err = self.run_client("/nonexistent/program")
        self.assertEqual(code, 127)
        self.assertIn(b"/nonexistent/program", err)

    def test_programs_run_side_by_side(self):
        # The first ends only once the second has run: one at a time would never end.
        with tempfile.TemporaryDirectory() as folder:
            flag = os.path.join(folder, "flag")
            waiting = self.client("sh", "-c", 'while [ ! -e "$0" ]; do sleep 0.05; done; echo seen', flag)
            code, _, _ = self.run_client("touch", flag)
            out, _ = waiting.communicate(timeout=60)
            self.assertEqual((code, waiting.returncode, out), (0, 0, b"seen\n"))

    def test_a_killed_client_leaves_nothing_running(self):
        # A hanging program and one it started in the background, as a test's time limit
        # would find them.
        client = self.client("sh", "-c", "sleep 300 & echo $$ $!; wait")
        pids = [int(word) for word in client.stdout.readline().split()]
        self.assertEqual(len(pids), 2)
        client.kill()
        client.communicate(timeout=60)
        deadline = time.monotonic() + 20
        while any(guest.alive(pid) for pid in pids) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertFalse([pid for pid in pids if guest.alive(pid)])


class FilesSeenAsTheyAreNow(unittest.TestCase):
    """Through run32, as the tests hand their programs over: in the emulated machine (./run's
    emulated mode) a program must see the shared files as this machine left them, although
    the guest caches what it read and the names it looked up; natively the same holds
    trivially."""

    def guest_sees(self, *argv):
        return subprocess.run([os.path.join(TOOL, "run32"), *argv], capture_output=True, timeout=600).stdout

    def test_a_file_rewritten_deleted_and_written_again_between_two_programs(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "file.txt")

            def write(text):
                with open(path, "w") as out:
                    out.write(text)

            write("one\n")
            self.assertEqual(self.guest_sees("cat", path), b"one\n")
            with open(path, "r+") as out:  # in place, the same size
                out.write("two\n")
            self.assertEqual(self.guest_sees("cat", path), b"two\n")
            os.remove(path)
            write("three, longer\n")
            self.assertEqual(self.guest_sees("cat", path), b"three, longer\n")
            os.remove(path)
            write("4\n")
            self.assertEqual(self.guest_sees("cat", path), b"4\n")
            self.guest_sees("sh", "-c", 'echo written there > "$0"', path)
            with open(path) as source:
                self.assertEqual(source.read(), "written there\n")
            os.remove(path)
            self.assertEqual(self.guest_sees("sh", "-c", '[ -e "$0" ] && echo there || echo gone', path), b"gone\n")

    def test_a_file_changed_between_two_inputs_of_one_program(self):
        # A program that lives on and reads what to open from its input, as a served game
        # reads its next session.
        reader = 'while read -r name; do cat "$name" 2>/dev/null || echo gone; echo .; done'
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "file.txt")
            program = subprocess.Popen([os.path.join(TOOL, "run32"), "sh", "-c", reader], stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE)
            try:
                def guest_reads():
                    program.stdin.write(path.encode() + b"\n")
                    program.stdin.flush()
                    lines = []
                    while not lines or lines[-1] != b".\n":
                        lines.append(program.stdout.readline())
                    return b"".join(lines[:-1])

                for change, seen in [(None, b"gone\n"), ("one\n", b"one\n"), ("two\n", b"two\n"),
                                     ("three, longer\n", b"three, longer\n"), ("4\n", b"4\n"), (None, b"gone\n")]:
                    if os.path.exists(path):
                        os.remove(path)
                    if change is not None:
                        with open(path, "w") as out:
                            out.write(change)
                    self.assertEqual(guest_reads(), seen)
                    if change == "two\n":  # and once rewritten in place, the same size
                        with open(path, "r+") as out:
                            out.write("TWO\n")
                        self.assertEqual(guest_reads(), b"TWO\n")
            finally:
                program.stdin.close()
                program.wait(timeout=600)


class MachinesThatRefuse32BitPrograms(unittest.TestCase):
    """runs-ia32 is how ./run tells such a machine; no-ia32 makes this machine one, for the
    rehearsal VELDRIN_EMULATE=1 runs; run32 must never start a 32-bit program here when
    ./run chose the emulated machine."""

    NO_IA32 = os.path.join(TOOL, "no-ia32")
    RUNS_IA32 = os.path.join(TOOL, "runs-ia32")

    def code(self, *argv):
        return subprocess.run(argv, capture_output=True, timeout=600).returncode

    def test_a_refusing_machine_is_found_out_and_its_64_bit_programs_still_run(self):
        self.assertEqual(self.code(self.NO_IA32, self.RUNS_IA32), 1)
        # The refusal holds for what its programs start, and spares what is not 32-bit.
        shell = subprocess.run([self.NO_IA32, "sh", "-c", '"$0"; echo "$?"', self.RUNS_IA32], capture_output=True,
                               timeout=600)
        self.assertEqual((shell.returncode, shell.stdout), (0, b"1\n"))
        self.assertEqual(self.code(self.NO_IA32, "/bin/false"), 1)  # an exit code is still the program's

    def test_run32_starts_a_32_bit_program_where_run_chose(self):
        self.assertEqual(self.code(os.path.join(TOOL, "run32"), self.RUNS_IA32), 0)
        # Refused here: it runs only if run32 handed it to the emulated machine.
        expected = 0 if os.environ.get("VELDRIN_GUEST") else 1
        self.assertEqual(self.code(self.NO_IA32, os.path.join(TOOL, "run32"), self.RUNS_IA32), expected)


class KernelModules(unittest.TestCase):
    def test_each_module_comes_after_what_it_depends_on_once_and_builtins_are_skipped(self):
        depends = {"9p": "netfs,9pnet", "9pnet_virtio": "9pnet,virtio_ring", "9pnet": "", "netfs": "fscache",
                   "fscache": "", "virtio_ring": "", "unused": ""}
        with tempfile.TemporaryDirectory() as modules:
            os.makedirs(os.path.join(modules, "kernel", "fs"))
            for name, needs in depends.items():
                with open(os.path.join(modules, "kernel", "fs", name + ".ko"), "wb") as module:
                    module.write(b"\x7fELF junk\x00license=GPL\x00depends=" + needs.encode() + b"\x00name=x\x00")
            order = [name for name, _ in guest.module_closure(modules, ["9p", "9pnet_virtio", "builtin_one"])]
        self.assertEqual(sorted(order), sorted(set(depends) - {"unused"}))
        for name in order:
            for needed in filter(None, depends[name].split(",")):
                self.assertLess(order.index(needed), order.index(name), "%s before %s" % (needed, name))


if __name__ == "__main__":
    unittest.main()

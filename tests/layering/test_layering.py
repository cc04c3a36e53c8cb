"""The layering check on this source tree, and on small trees built to break it."""

import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
CHECK = HERE / "check_layering.py"
SOURCE = HERE.parent.parent
FOLDERS = ["host", "log", "settings", "aimpoint", "targeting", "ui", "patches", "tracking", "plugin"]


def check(root):
    return subprocess.run([sys.executable, str(CHECK), str(root)], capture_output=True, text=True)


class Layering(unittest.TestCase):
    def test_this_tree_includes_only_downward(self):
        result = check(SOURCE)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def tree(self, files):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        root = pathlib.Path(folder.name)
        for name in FOLDERS:
            (root / name).mkdir()
        for path, text in files.items():
            (root / path).write_text(text)
        return root

    def test_an_include_up_or_across_is_named_with_its_line(self):
        cases = {
            "host/Host.h": ('#pragma once\n#include "targeting/LockState.h"\n', "host/Host.h:2: includes targeting/, which is above host/"),
            "settings/Settings.cpp": ('#include "aimpoint/AimPointTable.h"\n', "includes aimpoint/, which is beside settings/"),
            "tracking/Tracking.cpp": ('#include "ui/MenuName.h"\n#include "patches/CodeWriter.h"\n', "includes patches/, which is beside tracking/"),
            "patches/FrameCallPatch.S": ('#include "plugin/ProcessState.h"\n', "includes plugin/, which is above patches/"),
        }
        for path, (text, message) in cases.items():
            with self.subTest(path=path):
                result = check(self.tree({path: text}))
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(message, result.stdout)

    def test_downward_own_and_outside_includes_pass(self):
        result = check(self.tree({
            "plugin/TarvekPlugin.cpp": '#include "plugin/TarvekPlugin.h"\n#include "host/Host.h"\n#include "patches/X.h"\n',
            "ui/TarvekMenu.cpp": '#include <windows.h>\n#include "log/Log.h"\n#include "targeting/Commands.h"\n',
            "log/Log.cpp": '#include "native/win32/windows.h"\n',
        }))
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_a_missing_folder_is_an_error_not_a_pass(self):
        root = self.tree({})
        os.rmdir(root / "ui")
        self.assertEqual(check(root).returncode, 2)


if __name__ == "__main__":
    unittest.main()

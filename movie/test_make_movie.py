"""Checks the marker movie as the game's player reads it: header, timeline, and what its
ActionScript does when the game calls it. Run in this folder: python3 -m unittest"""

import math
import operator
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import make_movie

HERE = os.path.dirname(os.path.abspath(__file__))
TWIPS = 20
FILE_ATTRIBUTES, PLACE_OBJECT2, DEFINE_SPRITE, DO_ACTION = 69, 26, 39, 12


def read_tags(data, at):
    """[(code, body)] from `at` up to and including the End tag."""
    tags = []
    while not tags or tags[-1][0] != 0:
        word, = struct.unpack_from("<H", data, at)
        length, at = word & 0x3F, at + 2
        if length == 0x3F:
            length, = struct.unpack_from("<I", data, at)
            at += 4
        tags.append((word >> 6, data[at:at + length]))
        at += length
    return tags


def read_bits(data, at, widths):
    """Bit fields from byte `at`, most significant bit first. A width of 5 is a field-size
    count; a width of 0 is a signed field of the last count's size."""
    chunk = data[at:at + 24]
    value, left, out, size = int.from_bytes(chunk, "big"), len(chunk) * 8, [], 0
    for width in widths:
        n = width or size
        left -= n
        field = value >> left & ((1 << n) - 1)
        if width == 5:
            size = field
        if width == 0 and field >> (n - 1):
            field -= 1 << n
        out.append(field)
    return out


# What the movie's code may use: push, the arithmetic and comparisons (b OP a, a on top),
# variables, members, registers, branches and DefineFunction2. Anything else fails.
BINARY = {0x67: operator.gt, 0x48: operator.lt, 0x0B: operator.sub, 0x0C: operator.mul, 0x0D: operator.truediv}


def run_actions(code, variables, registers=None):
    registers, stack, pc, boundaries, targets = dict(registers or {}), [], 0, set(), []
    while code[pc] != 0:
        boundaries.add(pc)
        op = code[pc]
        size = 1 if op < 0x80 else 3 + struct.unpack_from("<H", code, pc + 1)[0]
        payload, pc = code[pc + 3:pc + size], pc + size
        if op == 0x96:
            i = 0
            while i < len(payload):
                kind, i = payload[i], i + 1
                if kind == 0:
                    end = payload.index(b"\0", i)
                    stack.append(payload[i:end].decode())
                    i = end + 1
                elif kind in (4, 5):
                    stack.append(registers.get(payload[i]) if kind == 4 else bool(payload[i]))
                    i += 1
                elif kind == 7:
                    stack.append(struct.unpack_from("<i", payload, i)[0])
                    i += 4
                else:
                    raise AssertionError(f"push type {kind}")
        elif op == 0x8E:  # a function here is its (register, parameter name) pairs and body
            i = payload.index(b"\0") + 1
            count, i = struct.unpack_from("<H", payload, i)[0], i + 5
            params = []
            for _ in range(count):
                end = payload.index(b"\0", i + 1)
                params.append((payload[i], payload[i + 1:end].decode()))
                i = end + 1
            body_size, = struct.unpack_from("<H", payload, i)
            stack.append((params, code[pc:pc + body_size] + b"\0"))
            pc += body_size
        elif op in (0x99, 0x9D):
            if op == 0x99 or stack.pop():
                pc += struct.unpack_from("<h", payload)[0]
                targets.append(pc)
        elif op in BINARY:
            a, b = stack.pop(), stack.pop()
            stack.append(BINARY[op](b, a))
        elif op == 0x12:
            stack.append(not stack.pop())
        elif op == 0x17:
            stack.pop()
        elif op == 0x87:
            registers[payload[0]] = stack[-1]
        elif op == 0x1C:
            stack.append(variables[stack.pop()])
        elif op == 0x1D:
            value, name = stack.pop(), stack.pop()
            variables[name] = value
        elif op == 0x4F:
            value, name, obj = stack.pop(), stack.pop(), stack.pop()
            obj[name] = value
        elif op != 0x07:  # stop
            raise AssertionError(f"unexpected action 0x{op:02X}")
    assert set(targets) <= boundaries | {pc}, "a branch lands inside an action"


def call(function, *args, marker):
    params, body = function
    run_actions(body, {"marker": marker}, {reg: arg for (reg, _), arg in zip(params, args)})
    return marker


class MarkerMovie(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = make_movie.build_movie()
        n = cls.data[8] >> 3
        cls.stage_at = 8 + (5 + 4 * n + 7) // 8
        cls.tags = read_tags(cls.data, cls.stage_at + 4)
        cls.sprites = {struct.unpack_from("<H", b)[0]: read_tags(b, 4) for c, b in cls.tags if c == DEFINE_SPRITE}

    def placed(self, tags, name):
        for code, body in tags:
            if code == PLACE_OBJECT2 and body[0] & 0x20 and body.endswith(name.encode() + b"\0"):
                return body
        self.fail(f"no instance named {name}")

    def widget_variables(self):
        widget_id, = struct.unpack_from("<H", self.placed(self.tags, "widget"), 3)
        marker = {}
        variables = {"marker": marker}
        run_actions(next(b for c, b in self.sprites[widget_id] if c == DO_ACTION), variables)
        self.placed(self.sprites[widget_id], "marker")
        return variables, marker

    def test_header_is_an_uncompressed_as2_movie_of_the_stage_the_plugin_assumes(self):
        self.assertEqual(self.data[:3], b"FWS")
        self.assertIn(self.data[3], (7, 8), "AS2 with DefineFunction2 and case-sensitive names")
        self.assertEqual(struct.unpack_from("<I", self.data, 4)[0], len(self.data))
        self.assertEqual(read_bits(self.data, 8, [5, 0, 0, 0, 0])[1:], [0, 1600 * TWIPS, 0, 960 * TWIPS])
        self.assertEqual(struct.unpack_from("<H", self.data, self.stage_at + 2)[0], 1, "one frame")
        self.assertEqual(self.tags[0][0], FILE_ATTRIBUTES, "a version 8 movie opens with FileAttributes")

    def test_widget_sits_at_the_stage_centre(self):
        body = self.placed(self.tags, "widget")
        self.assertTrue(body[0] & 0x04, "placed with a matrix")
        scaled, turned, _, x, y = read_bits(body, 5, [1, 1, 5, 0, 0])
        self.assertEqual((scaled, turned, x, y), (0, 0, 800 * TWIPS, 480 * TWIPS))

    def test_marker_is_hidden_until_the_first_position(self):
        self.assertIs(self.widget_variables()[1].get("_visible"), False)

    def test_set_target_pos_places_shows_and_sizes_the_marker(self):
        set_target_pos = self.widget_variables()[0]["SetTargetPos"]
        self.assertEqual([name for _, name in set_target_pos[0]], ["x", "y", "distance"])
        marker = call(set_target_pos, -400, 200, 1500, marker={"_visible": False})
        self.assertEqual((marker["_x"], marker["_y"], marker["_visible"]), (-400, 200, True))
        self.assertAlmostEqual(marker["_xscale"], 84)
        self.assertEqual(marker["_xscale"], marker["_yscale"])
        for odd in (0, -25, math.nan, 100, 500):
            self.assertEqual(call(set_target_pos, 1, 2, odd, marker={})["_xscale"], 100, odd)
        scales = [call(set_target_pos, 0, 0, d, marker={})["_xscale"] for d in range(0, 6001, 250)]
        self.assertEqual(scales, sorted(scales, reverse=True), "shrinks with distance")
        self.assertEqual(min(scales), 60, "and no smaller than 60%")

    def test_hide_hides_the_marker(self):
        hide = self.widget_variables()[0]["Hide"]
        self.assertEqual(hide[0], [])
        self.assertIs(call(hide, marker={"_visible": True})["_visible"], False)

    def test_root_stretches_the_stage_over_the_screen(self):
        stage = {}
        run_actions(next(b for c, b in self.tags if c == DO_ACTION), {"Stage": stage})
        self.assertEqual(stage, {"scaleMode": "exactFit"})

    def test_the_command_writes_the_same_bytes_every_run(self):
        outputs = []
        with tempfile.TemporaryDirectory() as tmp:
            for name in ("a.swf", "b.swf"):
                path = os.path.join(tmp, name)
                subprocess.run([sys.executable, os.path.join(HERE, "make_movie.py"), path], check=True)
                with open(path, "rb") as f:
                    outputs.append(f.read())
        self.assertEqual(outputs, [self.data, self.data])


if __name__ == "__main__":
    unittest.main()

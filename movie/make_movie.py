#!/usr/bin/env python3
"""Writes TarvekMenu.swf, the Flash movie that draws the target marker.

    python3 make_movie.py OUTPUT.swf

The game loads Interface/TarvekMenu.swf into its Scaleform player (ActionScript 2) and,
while a target is locked, calls _root.widget.SetTargetPos(x, y, distance) every frame and
_root.widget.Hide() when the lock ends. x and y are stage units from the screen centre,
y downward; why the stage is 1600 x 960 and stretched to the whole screen is explained in
README.md beside this file.

The movie is assembled here byte by byte (standard library only), so the build needs no
Flash authoring tool and the output is the same bytes on every run.
"""

import struct
import sys

# --- The movie as a whole -------------------------------------------------------------

SWF_VERSION = 8          # AS2 only; 7+ gives case-sensitive names and DefineFunction2
TWIPS = 20               # SWF lengths are in twips, 1/20 of a stage unit
STAGE_WIDTH = 1600       # stage units; the plugin's X spans -800..800 across the screen
STAGE_HEIGHT = 960       # and its Y -480..480 down it
FRAME_RATE = 30          # frames per second; nothing here is animated by the timeline
BACKGROUND_RGB = (0, 0, 0)  # never seen: the game draws the menu with background alpha 0

# The plugin loads the movie with scale mode 0 (no scale); the movie switches itself to
# stretch the stage over the whole display, so that X/800 and Y/480 are screen fractions.
STAGE_SCALE_MODE = "exactFit"

WIDGET_NAME = "widget"   # the game calls _root.widget.SetTargetPos and _root.widget.Hide
MARKER_NAME = "marker"

# Character ids, each defined before use.
OUTLINE_SHAPE_ID = 1
STROKE_SHAPE_ID = 2
MARKER_SPRITE_ID = 3
WIDGET_SPRITE_ID = 4

# Display-list depths.
WIDGET_DEPTH = 1
MARKER_DEPTH = 1
OUTLINE_DEPTH = 1        # the dark outline below ...
STROKE_DEPTH = 2         # ... the light stroke above it

# --- The marker's look, in stage units at full size ----------------------------------

BRACKET_HALF_SIZE = 24   # corners of the four brackets sit at +-24 from the aim point
BRACKET_ARM = 14         # length of each bracket arm
CENTRE_DOT_HALF_LENGTH = 1  # a 2-unit dash whose round caps make a dot on the aim point
OUTLINE_WIDTH = 6        # black, 1.5 units wider than the white stroke on each side, so
STROKE_WIDTH = 3         # the marker shows on light and dark ground alike
OUTLINE_RGB = (0, 0, 0)
STROKE_RGB = (255, 255, 255)

# --- How the marker scales with distance (game units) ---------------------------------
# Full size up to MARKER_SHRINK_FROM, then linearly down to MARKER_MIN_SCALE at
# MARKER_SHRINK_TO and no smaller beyond, so a far target stays easy to see.

MARKER_FULL_SCALE = 100  # _xscale / _yscale are percentages
MARKER_MIN_SCALE = 60
MARKER_SHRINK_FROM = 500
MARKER_SHRINK_TO = 3000

# --- SWF tag codes --------------------------------------------------------------------

TAG_END = 0
TAG_SHOW_FRAME = 1
TAG_DEFINE_SHAPE = 2
TAG_SET_BACKGROUND_COLOR = 9
TAG_DO_ACTION = 12
TAG_PLACE_OBJECT2 = 26
TAG_DEFINE_SPRITE = 39
TAG_FILE_ATTRIBUTES = 69

TAG_SHORT_LENGTH_MAX = 62    # a tag of 63 bytes or more takes the long header
TAG_LONG_LENGTH_MARK = 0x3F

PLACE_HAS_CHARACTER = 0x02   # PlaceObject2 flag bits
PLACE_HAS_MATRIX = 0x04
PLACE_HAS_NAME = 0x20

# --- AVM1 action codes (below 0x80 a code has no payload) -----------------------------

ACTION_END = 0x00
ACTION_STOP = 0x07
ACTION_SUBTRACT = 0x0B
ACTION_MULTIPLY = 0x0C
ACTION_DIVIDE = 0x0D
ACTION_NOT = 0x12
ACTION_POP = 0x17
ACTION_GET_VARIABLE = 0x1C
ACTION_SET_VARIABLE = 0x1D
ACTION_RETURN = 0x3E
ACTION_TYPE_OF = 0x44
ACTION_ADD2 = 0x47
ACTION_LESS2 = 0x48
ACTION_EQUALS2 = 0x49
ACTION_GET_MEMBER = 0x4E
ACTION_SET_MEMBER = 0x4F
ACTION_CALL_METHOD = 0x52
ACTION_GREATER = 0x67
ACTION_STORE_REGISTER = 0x87
ACTION_DEFINE_FUNCTION2 = 0x8E
ACTION_PUSH = 0x96
ACTION_IF = 0x9D
ACTION_HAS_PAYLOAD = 0x80

PUSH_STRING = 0              # ActionPush value types
PUSH_NULL = 2
PUSH_REGISTER = 4
PUSH_BOOLEAN = 5
PUSH_INTEGER = 7

# DefineFunction2 flags (first byte, high bit first): what the function does not need.
SUPPRESS_THIS = 0x02
PRELOAD_ARGUMENTS = 0x04
SUPPRESS_ARGUMENTS = 0x08
SUPPRESS_SUPER = 0x20


# --- Bit-packed fields ----------------------------------------------------------------

class BitWriter:
    """SWF's bit fields: most significant bit first, padded to a byte at the end."""

    def __init__(self):
        self.value = 0
        self.count = 0

    def unsigned(self, value, bits):
        if value < 0 or value >= 1 << bits:
            raise ValueError(f"{value} does not fit {bits} unsigned bits")
        self.value = (self.value << bits) | value
        self.count += bits

    def signed(self, value, bits):
        if bits and not -(1 << (bits - 1)) <= value < 1 << (bits - 1):
            raise ValueError(f"{value} does not fit {bits} signed bits")
        self.unsigned(value & ((1 << bits) - 1), bits)

    def to_bytes(self):
        padding = -self.count % 8
        return (self.value << padding).to_bytes((self.count + padding) // 8, "big")


def signed_bits(*values):
    """Bits a signed field needs to hold every one of values."""
    return max(v.bit_length() + 1 if v >= 0 else (~v).bit_length() + 1 for v in values)


def rect(x_min, x_max, y_min, y_max):
    bits = signed_bits(x_min, x_max, y_min, y_max)
    w = BitWriter()
    w.unsigned(bits, 5)
    for v in (x_min, x_max, y_min, y_max):
        w.signed(v, bits)
    return w.to_bytes()


def translation_matrix(tx, ty):
    w = BitWriter()
    w.unsigned(0, 1)  # no scale
    w.unsigned(0, 1)  # no rotation or skew
    bits = signed_bits(tx, ty)
    w.unsigned(bits, 5)
    w.signed(tx, bits)
    w.signed(ty, bits)
    return w.to_bytes()


def rgb(colour):
    return bytes(colour)


def swf_string(text):
    return text.encode("ascii") + b"\0"


# --- Tags -----------------------------------------------------------------------------

def tag(code, body=b""):
    if len(body) <= TAG_SHORT_LENGTH_MAX:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | TAG_LONG_LENGTH_MARK, len(body)) + body


def file_attributes():
    return tag(TAG_FILE_ATTRIBUTES, struct.pack("<I", 0))  # AS2, no metadata, local use


def set_background_color(colour):
    return tag(TAG_SET_BACKGROUND_COLOR, rgb(colour))


def place_object(depth, character_id, name=None, at=None):
    flags = PLACE_HAS_CHARACTER
    body = b""
    if at is not None:
        flags |= PLACE_HAS_MATRIX
        body += translation_matrix(*at)
    if name is not None:
        flags |= PLACE_HAS_NAME
        body += swf_string(name)
    return tag(TAG_PLACE_OBJECT2, struct.pack("<BHH", flags, depth, character_id) + body)


def define_sprite(sprite_id, control_tags):
    """A one-frame movie clip: its tags, then the frame shown, then its end."""
    frame_count = 1
    body = struct.pack("<HH", sprite_id, frame_count) + b"".join(control_tags)
    return tag(TAG_DEFINE_SPRITE, body + tag(TAG_SHOW_FRAME) + tag(TAG_END))


def do_action(actions):
    return tag(TAG_DO_ACTION, actions.assemble() + bytes([ACTION_END]))


def define_line_shape(shape_id, polylines, width, colour):
    """A DefineShape of unfilled polylines in one line style (round caps and joins).

    Points are in stage units; the shape's origin is the marker's centre."""
    half_width = width * TWIPS // 2
    extent = max(abs(c) for line in polylines for point in line for c in point) * TWIPS
    bounds = rect(-extent - half_width, extent + half_width, -extent - half_width, extent + half_width)

    line_style_index = 1
    w = BitWriter()
    w.unsigned(0, 4)  # fill style index bits: no fills
    w.unsigned(1, 4)  # line style index bits
    for line in polylines:
        start_x, start_y = (c * TWIPS for c in line[0])
        # Style change record: line style and an absolute move to the start.
        move_bits = signed_bits(start_x, start_y)
        w.unsigned(0, 1)  # not an edge
        w.unsigned(0, 1)  # no new styles
        w.unsigned(1, 1)  # line style follows
        w.unsigned(0, 1)  # no fill style 1
        w.unsigned(0, 1)  # no fill style 0
        w.unsigned(1, 1)  # move to follows
        w.unsigned(move_bits, 5)
        w.signed(start_x, move_bits)
        w.signed(start_y, move_bits)
        w.unsigned(line_style_index, 1)
        for (x0, y0), (x1, y1) in zip(line, line[1:]):
            # Straight edge record, stored as a general (dx, dy) line.
            dx, dy = (x1 - x0) * TWIPS, (y1 - y0) * TWIPS
            bits = max(signed_bits(dx, dy), 2)
            w.unsigned(1, 1)  # an edge
            w.unsigned(1, 1)  # straight
            w.unsigned(bits - 2, 4)
            w.unsigned(1, 1)  # general line: both deltas follow
            w.signed(dx, bits)
            w.signed(dy, bits)
    w.unsigned(0, 6)  # end of shape

    fill_styles = bytes([0])
    line_styles = bytes([1]) + struct.pack("<H", width * TWIPS) + rgb(colour)
    body = struct.pack("<H", shape_id) + bounds + fill_styles + line_styles + w.to_bytes()
    return tag(TAG_DEFINE_SHAPE, body)


# --- ActionScript 2 bytecode ----------------------------------------------------------

class Register:
    def __init__(self, number):
        self.number = number


class Actions:
    """A block of AVM1 actions with named labels for If and Jump."""

    BRANCH_SIZE = 5  # code, payload length, 16-bit offset

    def __init__(self):
        self.parts = []  # bytes, ("label", name) or ("branch", code, name)

    def op(self, code, payload=b""):
        if code >= ACTION_HAS_PAYLOAD:
            self.parts.append(struct.pack("<BH", code, len(payload)) + payload)
        else:
            self.parts.append(bytes([code]))
        return self

    def push(self, *values):
        payload = b""
        for v in values:
            if isinstance(v, str):
                payload += bytes([PUSH_STRING]) + swf_string(v)
            elif v is None:
                payload += bytes([PUSH_NULL])
            elif isinstance(v, Register):
                payload += bytes([PUSH_REGISTER, v.number])
            elif isinstance(v, bool):
                payload += bytes([PUSH_BOOLEAN, int(v)])
            elif isinstance(v, int):
                payload += bytes([PUSH_INTEGER]) + struct.pack("<i", v)
            else:
                raise TypeError(f"cannot push {v!r}")
        return self.op(ACTION_PUSH, payload)

    def store(self, register):
        """register = the value on top of the stack, which is dropped."""
        return self.op(ACTION_STORE_REGISTER, bytes([register.number])).op(ACTION_POP)

    def set_member(self, obj, name, value):
        """obj[name] = value, each a pushable value."""
        return self.push(obj, name, value).op(ACTION_SET_MEMBER)

    def label(self, name):
        self.parts.append(("label", name))
        return self

    def jump_if_false(self, name):
        return self.op(ACTION_NOT).branch(ACTION_IF, name)

    def branch(self, code, name):
        self.parts.append(("branch", code, name))
        return self

    def function(self, params, register_count, flags, body, name=""):
        """DefineFunction2: pushes the function (or defines `name`). params are
        (register, name) pairs; registers below theirs are for preloaded values."""
        code = body.assemble()
        header = swf_string(name) + struct.pack("<HBBB", len(params), register_count, flags, 0)
        for register, param in params:
            header += bytes([register.number]) + swf_string(param)
        self.op(ACTION_DEFINE_FUNCTION2, header + struct.pack("<H", len(code)))
        self.parts.append(code)  # the body follows the action, outside its length
        return self

    def assemble(self):
        offsets, at = {}, 0
        for part in self.parts:
            if isinstance(part, bytes):
                at += len(part)
            elif part[0] == "label":
                offsets[part[1]] = at
            else:
                at += self.BRANCH_SIZE
        out, at = b"", 0
        for part in self.parts:
            if isinstance(part, bytes):
                out += part
                at += len(part)
            elif part[0] == "branch":
                at += self.BRANCH_SIZE  # offsets count from the end of the branch
                out += struct.pack("<BHh", part[1], 2, offsets[part[2]] - at)
        return out


R_X, R_Y, R_DISTANCE, R_SCALE, R_MARKER = (Register(n) for n in range(1, 6))
PLAIN_FUNCTION = SUPPRESS_THIS | SUPPRESS_ARGUMENTS | SUPPRESS_SUPER


def set_target_pos_body():
    """function (x, y, distance): the marker at (x, y) from the widget, sized by distance.

    The marker is found through the function's scope (the widget's timeline), so it works
    whatever `this` the caller passes."""
    a = Actions()
    a.push(MARKER_NAME).op(ACTION_GET_VARIABLE).store(R_MARKER)
    a.set_member(R_MARKER, "_x", R_X)
    a.set_member(R_MARKER, "_y", R_Y)
    # scale = full; if (distance > from) { shrink linearly; no smaller than the minimum }
    # A distance that is NaN, zero or negative fails the test and keeps the full size.
    a.push(MARKER_FULL_SCALE).store(R_SCALE)
    a.push(R_DISTANCE, MARKER_SHRINK_FROM).op(ACTION_GREATER).jump_if_false("apply")
    a.push(MARKER_FULL_SCALE, R_DISTANCE, MARKER_SHRINK_FROM).op(ACTION_SUBTRACT)
    a.push(MARKER_FULL_SCALE - MARKER_MIN_SCALE).op(ACTION_MULTIPLY)
    a.push(MARKER_SHRINK_TO - MARKER_SHRINK_FROM).op(ACTION_DIVIDE)
    a.op(ACTION_SUBTRACT).store(R_SCALE)
    a.push(R_SCALE, MARKER_MIN_SCALE).op(ACTION_LESS2).jump_if_false("apply")
    a.push(MARKER_MIN_SCALE).store(R_SCALE)
    a.label("apply")
    a.set_member(R_MARKER, "_xscale", R_SCALE)
    a.set_member(R_MARKER, "_yscale", R_SCALE)
    a.set_member(R_MARKER, "_visible", True)
    return a


def hide_body():
    """function (): the marker hidden."""
    a = Actions()
    a.push(MARKER_NAME).op(ACTION_GET_VARIABLE)
    return a.push("_visible", False).op(ACTION_SET_MEMBER)


def widget_frame_actions():
    """The widget's own frame: its two functions, and the marker hidden until placed."""
    a = Actions()
    a.push("SetTargetPos")
    a.function([(R_X, "x"), (R_Y, "y"), (R_DISTANCE, "distance")], 6, PLAIN_FUNCTION, set_target_pos_body())
    a.op(ACTION_SET_VARIABLE)
    a.push("Hide")
    a.function([], 1, PLAIN_FUNCTION, hide_body())
    a.op(ACTION_SET_VARIABLE)
    a.push(MARKER_NAME).op(ACTION_GET_VARIABLE)
    a.push("_visible", False).op(ACTION_SET_MEMBER)
    return a


def root_frame_actions():
    a = Actions()
    a.push("Stage").op(ACTION_GET_VARIABLE)
    a.push("scaleMode", STAGE_SCALE_MODE).op(ACTION_SET_MEMBER)
    return a.op(ACTION_STOP)


# --- The movie ------------------------------------------------------------------------

def bracket_polylines():
    """Four corner brackets around the aim point, and a dot on it."""
    s, arm = BRACKET_HALF_SIZE, BRACKET_ARM
    lines = []
    for sx in (-1, 1):
        for sy in (-1, 1):
            corner = (sx * s, sy * s)
            lines.append([(sx * (s - arm), sy * s), corner, (sx * s, sy * (s - arm))])
    lines.append([(-CENTRE_DOT_HALF_LENGTH, 0), (CENTRE_DOT_HALF_LENGTH, 0)])
    return lines


def build_movie():
    tags = [
        file_attributes(),
        set_background_color(BACKGROUND_RGB),
        define_line_shape(OUTLINE_SHAPE_ID, bracket_polylines(), OUTLINE_WIDTH, OUTLINE_RGB),
        define_line_shape(STROKE_SHAPE_ID, bracket_polylines(), STROKE_WIDTH, STROKE_RGB),
        define_sprite(MARKER_SPRITE_ID, [
            place_object(OUTLINE_DEPTH, OUTLINE_SHAPE_ID),
            place_object(STROKE_DEPTH, STROKE_SHAPE_ID),
        ]),
        define_sprite(WIDGET_SPRITE_ID, [
            place_object(MARKER_DEPTH, MARKER_SPRITE_ID, name=MARKER_NAME),
            do_action(widget_frame_actions()),
        ]),
        place_object(WIDGET_DEPTH, WIDGET_SPRITE_ID, name=WIDGET_NAME,
                     at=(STAGE_WIDTH // 2 * TWIPS, STAGE_HEIGHT // 2 * TWIPS)),
        do_action(root_frame_actions()),
        tag(TAG_SHOW_FRAME),
        tag(TAG_END),
    ]
    frame_count = 1
    after_length = (rect(0, STAGE_WIDTH * TWIPS, 0, STAGE_HEIGHT * TWIPS)
                    + struct.pack("<HH", FRAME_RATE << 8, frame_count)  # rate is 8.8 fixed point
                    + b"".join(tags))
    signature_and_version = b"FWS" + bytes([SWF_VERSION])
    file_length = len(signature_and_version) + 4 + len(after_length)
    return signature_and_version + struct.pack("<I", file_length) + after_length


def main(argv):
    if len(argv) != 2:
        print(f"usage: {argv[0]} OUTPUT.swf", file=sys.stderr)
        return 2
    with open(argv[1], "wb") as out:
        out.write(build_movie())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Copies the marker movie with one DoAction added to its first frame, so a browser page
can call the movie's functions the way the game does.

    python3 make_probe.py MOVIE.swf PROBE.swf

The game reaches the movie through Scaleform's Invoke("_root.widget.SetTargetPos", ...).
A Flash player in a page has no such call, so the added frame code registers two
ExternalInterface callbacks that do the same by path:

    invokePath(path, args...)  calls the function at `path` with `this` set to the object
                               that holds it; answers "ok" or why it could not
    typeOfPath(path)           typeof the value at `path` ("function" once the movie is up)

Everything else in the copy is the movie's own bytes: its header, stage size, shapes and
code are exactly what the game gets.
"""

import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import make_movie as mm  # noqa: E402  (the same assembler the movie is built with)

R_ARGUMENTS, R_PATH, R_FUNCTION, R_OWNER = (mm.Register(n) for n in range(1, 5))
R_TYPE_PATH = mm.Register(1)


def invoke_path_body():
    a = mm.Actions()
    # fn = eval(path); a path to no function is reported, not called
    a.push(R_PATH).op(mm.ACTION_GET_VARIABLE).store(R_FUNCTION)
    a.push(R_FUNCTION).op(mm.ACTION_TYPE_OF).push("function").op(mm.ACTION_EQUALS2)
    a.branch(mm.ACTION_IF, "found")
    a.push("no function at ", R_PATH).op(mm.ACTION_ADD2).op(mm.ACTION_RETURN)
    a.label("found")
    # owner = eval(path.substring(0, path.lastIndexOf(".")))
    a.push(".", 1, R_PATH, "lastIndexOf").op(mm.ACTION_CALL_METHOD)
    a.push(0, 2, R_PATH, "substring").op(mm.ACTION_CALL_METHOD)
    a.op(mm.ACTION_GET_VARIABLE).store(R_OWNER)
    # fn.apply(owner, arguments.slice(1))
    a.push(1, 1, R_ARGUMENTS, "slice").op(mm.ACTION_CALL_METHOD)
    a.push(R_OWNER, 2, R_FUNCTION, "apply").op(mm.ACTION_CALL_METHOD).op(mm.ACTION_POP)
    return a.push("ok").op(mm.ACTION_RETURN)


def type_of_path_body():
    a = mm.Actions()
    return a.push(R_TYPE_PATH).op(mm.ACTION_GET_VARIABLE).op(mm.ACTION_TYPE_OF).op(mm.ACTION_RETURN)


def add_callback(a, name, define_function):
    """flash.external.ExternalInterface.addCallback(name, null, <function>)"""
    define_function(a)
    a.push(None, name, 3, "flash").op(mm.ACTION_GET_VARIABLE)
    a.push("external").op(mm.ACTION_GET_MEMBER).push("ExternalInterface").op(mm.ACTION_GET_MEMBER)
    a.push("addCallback").op(mm.ACTION_CALL_METHOD).op(mm.ACTION_POP)


def probe_actions():
    a = mm.Actions()
    # arguments is preloaded into register 1, so path takes register 2
    add_callback(a, "invokePath", lambda b: b.function(
        [(R_PATH, "path")], 5, mm.SUPPRESS_THIS | mm.PRELOAD_ARGUMENTS | mm.SUPPRESS_SUPER,
        invoke_path_body()))
    add_callback(a, "typeOfPath", lambda b: b.function(
        [(R_TYPE_PATH, "path")], 2, mm.PLAIN_FUNCTION, type_of_path_body()))
    return a


def root_tags(movie):
    """(header bytes, [(code, whole tag bytes)]) of an uncompressed movie's root timeline."""
    if movie[:3] != b"FWS":
        raise ValueError("not an uncompressed SWF")
    rect_bits = movie[8] >> 3
    rect_bytes = (5 + 4 * rect_bits + 7) // 8
    at = 8 + rect_bytes + 4  # signature, version, length, stage rect, frame rate and count
    header, tags = movie[:at], []
    while at < len(movie):
        code_and_length, = struct.unpack_from("<H", movie, at)
        code, length, start = code_and_length >> 6, code_and_length & mm.TAG_LONG_LENGTH_MARK, at + 2
        if length == mm.TAG_LONG_LENGTH_MARK:
            length, = struct.unpack_from("<I", movie, start)
            start += 4
        tags.append((code, movie[at:start + length]))
        at = start + length
    return header, tags


def make_probe(movie):
    header, tags = root_tags(movie)
    first_frame_end = next(i for i, (code, _) in enumerate(tags) if code == mm.TAG_SHOW_FRAME)
    tags.insert(first_frame_end, (mm.TAG_DO_ACTION, mm.do_action(probe_actions())))
    body = b"".join(t for _, t in tags)
    return header[:4] + struct.pack("<I", len(header) + len(body)) + header[8:] + body


def main(argv):
    if len(argv) != 3:
        print(f"usage: {argv[0]} MOVIE.swf PROBE.swf", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        probe = make_probe(f.read())
    with open(argv[2], "wb") as f:
        f.write(probe)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

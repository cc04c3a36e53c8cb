"""Builds the release zip laid out as mod managers install it: the archive's root is the
content of the game's Data folder (SKSE/ and Interface/), never a Data/ folder itself.

The zip is made only when CHANGELOG.md's first release heading names the version being
packed, so a release never ships with a changelog that says nothing about it."""

import argparse
import os
import re
import sys
import zipfile

# A fixed time stamp keeps the archive the same from build to build.
FIXED_TIME = (2020, 1, 1, 0, 0, 0)

# Where each shipped file goes, relative to <Skyrim>\Data.
DLL_NAME = "SKSE/Plugins/Veldrin.dll"
INI_NAME = "SKSE/Plugins/Veldrin.ini"
MOVIE_NAME = "Interface/TarvekMenu.swf"

# "## 1.2.3 - 2025-01-31" or "## 1.2.3": the heading of one release.
RELEASE_HEADING = re.compile(r"^## +(\S+)")


def changelog_version(path):
    """The version named by the changelog's first release heading, or None."""
    with open(path, encoding="utf-8") as text:
        for line in text:
            match = RELEASE_HEADING.match(line)
            if match:
                return match.group(1)
    return None


def add(archive, source, name):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    with open(source, "rb") as data:
        archive.writestr(info, data.read())


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--ini", required=True)
    parser.add_argument("--movie", required=True, help="TarvekMenu.swf")
    parser.add_argument("--version", required=True, help="the project's version")
    parser.add_argument("--changelog", required=True, help="CHANGELOG.md")
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    named = changelog_version(args.changelog)
    if named != args.version:
        print(
            f"make_package: {args.changelog} begins with release {named or '(none)'}, "
            f"but the project's version is {args.version}: add a '## {args.version}' section first",
            file=sys.stderr,
        )
        return 1

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with zipfile.ZipFile(args.output, "w") as archive:
        add(archive, args.dll, DLL_NAME)
        add(archive, args.ini, INI_NAME)
        add(archive, args.movie, MOVIE_NAME)
    return 0


if __name__ == "__main__":
    sys.exit(main())

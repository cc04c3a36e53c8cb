"""Builds the release zip laid out as mod managers install it."""

import argparse
import os
import zipfile

# A fixed time stamp keeps the archive the same from build to build.
FIXED_TIME = (2020, 1, 1, 0, 0, 0)


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
    parser.add_argument("--movie", help="TarvekMenu.swf, when it has been built")
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with zipfile.ZipFile(args.output, "w") as archive:
        add(archive, args.dll, "Data/SKSE/Plugins/Veldrin.dll")
        add(archive, args.ini, "Data/SKSE/Plugins/Veldrin.ini")
        if args.movie and os.path.exists(args.movie):
            add(archive, args.movie, "Data/Interface/TarvekMenu.swf")


if __name__ == "__main__":
    main()

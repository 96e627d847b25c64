#!/usr/bin/env python3
"""Whole-process time of `zuv8620 check --image` on a generated image tree.

The tree holds 5,000 files in 250 folders (a few of them 20 folders deep):
one .reg file in 25, a third of those with a header of the driver's
template keys, the rest sources, objects and text of a few KiB each; the
sample driver file at its place. Prints the median of several runs.

  bench/image_walk.py [--zuv8620 PATH] [--runs N]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(ROOT, "examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg")
KEY = b"[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template"
FILES = 5000


def make_tree(root):
    """The generated image: FILES files, the driver file among them."""
    target = os.path.join(root, "Public/Korvalent/Device_Drivers/USB8620")
    os.makedirs(target)
    shutil.copy(SAMPLE, target)
    filler = b"; a line of some source or text file of the platform tree\r\n" * 60
    folders = []
    for n in range(250):
        parts = [f"part{n % 10}", f"module{n}"]
        if n % 50 == 0:  # a few deep folders
            parts += [f"deep{d}" for d in range(18)]
        folder = os.path.join(root, *parts)
        os.makedirs(folder, exist_ok=True)
        folders.append(folder)
    for n in range(FILES - 1):
        folder = folders[n % len(folders)]
        if n % 25 == 0:
            body = b"[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Other]\r\n\"Dll\"=\"x.dll\"\r\n" * 20
            if n % 75 == 0:
                body += KEY + str(n % 16).encode() + b"]\r\n\"SwitchID\"=dword:1\r\n"
            name = f"file{n}.reg"
        else:
            body = filler
            name = f"file{n}." + ("c", "obj", "txt", "bib")[n % 4]
        with open(os.path.join(folder, name), "wb") as f:
            f.write(body)


def image_walk_time(tool, runs):
    """The median seconds of `check --image` on the generated tree, and its files."""
    with tempfile.TemporaryDirectory(prefix="zuv8620-image-") as root:
        make_tree(root)
        count = sum(len(files) for _, _, files in os.walk(root))
        times = []
        for _ in range(runs):
            started = time.perf_counter()
            done = subprocess.run([tool, "--root", root, "--driver", "USB8620", "check",
                                   "--image"], capture_output=True)
            times.append(time.perf_counter() - started)
            if done.returncode != 1 or b"image: " not in done.stdout:
                sys.exit(f"image_walk.py: check --image did not report the tree's keys: "
                         f"{done.stdout[:300]!r} {done.stderr[:300]!r}")
        return statistics.median(times), count


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--zuv8620", default=os.path.join(ROOT, "build/native/cli/zuv8620"))
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    seconds, count = image_walk_time(os.path.abspath(args.zuv8620), args.runs)
    print(f"check --image on a tree of {count} files: {seconds * 1000:.1f} ms "
          f"(median of {args.runs})")


if __name__ == "__main__":
    main()

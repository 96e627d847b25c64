#!/usr/bin/env python3
"""Whole-process time of `zuv8620 set` against `sed -i` making the same edit.

Generates its driver files in a temporary folder and prints, in about two
minutes at most:
  - for the sample driver file and for files of ordinary keys, the median of
    the ratio set / sed -i over pairs of runs (each pair one `set` and one
    `sed -i`, in turn first, two edits alternating on two copies of one file),
    and what flushing the sample and its folder to disk costs (a Save does,
    `sed -i` does not);
  - for shapes that a search going back over the text makes slow (one key
    holding many values, one long comment line repeating a template's key
    name), the times of `set`, `check` and `list`, each run bounded;
  - the peak memory (maximum resident set size) of `set` on an 8 MiB file;
  - the time of `check --image` on a generated image tree of 5,000 files
    (bench/image_walk.py);
  - when the fuzz preset is built, the executions a second of fuzz_templates.
The figures are printed, never judged: the script fails only when it cannot
measure (a tool missing, an edit refused, a file that no edit changed).

  bench/compare_sed.py [--zuv8620 PATH] [--bound SECONDS] [--fuzz PATH]
"""

import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(ROOT, "examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg")
MIB = 1024 * 1024

# The edit both tools make: template 0's board id, 3 and 4 in turn (the
# sample's other template has board 1, so both values are free).
BOARD_IDS = (3, 4)


def sed_script(board_id):
    # From template 0's key to the blank line ending its section.
    return (r'/\\Template0\]/,/^\r\?$/ s/^"SwitchID"=dword:[0-9a-fA-F]*/'
            f'"SwitchID"=dword:{board_id}/')


def fail(message):
    sys.exit(f"compare_sed.py: {message}")


# ---- Driver files ----------------------------------------------------------

def sample_parts():
    """The sample's opening comment lines and the rest (its keys)."""
    with open(SAMPLE, "rb") as f:
        text = f.read()
    lines = text.split(b"\r\n")
    return b"\r\n".join(lines[:3]) + b"\r\n", b"\r\n".join(lines[3:])


def ordinary_keys(size):
    """The sample with keys as a platform's file has them before its own, `size` bytes or
    a little more in all."""
    head, rest = sample_parts()
    parts, total, key = [], len(head) + len(rest), 0
    while total < size:
        part = (b"[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Device%d]\r\n"
                b"\"Dll\"=\"device.dll\"\r\n\"Prefix\"=\"DEV\"\r\n\"Index\"=dword:1\r\n"
                b"; settings of the device\r\n\"Flags\"=hex:01,00,00,00\r\n\r\n" % key)
        parts.append(part)
        total += len(part)
        key += 1
    return head + b"".join(parts) + rest


def many_values(count):
    """The sample with one more key holding `count` values (26 bytes a value: 40 000
    make 1 MiB)."""
    head, rest = sample_parts()
    values = b"".join(b"\"Value%05d\"=\"setting%02d\"\r\n" % (n, n % 100) for n in range(count))
    return head + b"\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Calibration]\r\n" + values + rest


def long_comment(size):
    """The sample with one comment line of `size` bytes repeating `Template0]`."""
    head, rest = sample_parts()
    return head + b"; " + b"Template0]" * ((size - 4) // 10) + b"\r\n" + rest


def place(folder, name, content):
    """Writes `content` as a driver file under `folder`/NAME/Device_Drivers/USB8620, whose
    folder names the driver, and returns its path."""
    directory = os.path.join(folder, name, "Device_Drivers", "USB8620")
    os.makedirs(directory)
    path = os.path.join(directory, "USB8620.reg")
    with open(path, "wb") as f:
        f.write(content)
    return path


# ---- Running ---------------------------------------------------------------

DEVNULL = os.open(os.devnull, os.O_RDWR)


def run(argv):
    """Runs argv to its end, its output thrown away; returns (exit status, seconds)."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, DEVNULL, 0),
                                       (os.POSIX_SPAWN_DUP2, DEVNULL, 1)])
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), time.perf_counter() - start


def read(path):
    with open(path, "rb") as f:
        return f.read()


def paired(tool, content, pairs, folder, name):
    """Times `pairs` pairs of one `set` and one `sed -i` on two copies of `content`.
    Returns the medians of set's time, sed's time and of the ratio of each pair."""
    set_file = place(folder, name + "-set", content)
    sed_file = place(folder, name + "-sed", content)
    sed = shutil.which("sed")
    set_times, sed_times, ratios = [], [], []
    for n in range(pairs + 1):  # the first pair warms the caches and is not counted
        board_id = str(BOARD_IDS[n % 2])
        runs = [[tool, "--file", set_file, "set", "0", "--board-id", board_id],
                [sed, "-i", "-e", sed_script(board_id), sed_file]]
        if n % 2:
            runs.reverse()
        before = read(set_file)
        timed = {}
        for argv in runs:
            status, seconds = run(argv)
            if status != 0:
                fail(f"{' '.join(argv)} exited with {status}")
            timed[argv[0]] = seconds
        if read(set_file) == before:
            fail(f"set --board-id {board_id} left {set_file} as it was")
        if read(set_file) != read(sed_file):
            fail(f"set and sed -i wrote different bytes for board id {board_id} ({name})")
        if n:
            set_times.append(timed[tool])
            sed_times.append(timed[sed])
            ratios.append(timed[tool] / timed[sed])
    return statistics.median(set_times), statistics.median(sed_times), statistics.median(ratios)


def flush_time(content, count, folder):
    """Median time of `sync FILE FOLDER` right after a `sed -i` changed the file: what
    making a replaced file durable costs on this disk, which `sed -i` does not pay."""
    path = place(folder, "flush", content)
    sync = shutil.which("sync")
    times = []
    for n in range(count):
        status, _ = run([shutil.which("sed"), "-i", "-e", sed_script(BOARD_IDS[n % 2]), path])
        if status != 0:
            fail(f"sed -i on {path} exited with {status}")
        status, seconds = run([sync, path, os.path.dirname(path)])
        if status != 0:
            fail(f"sync {path} exited with {status}")
        times.append(seconds)
    return statistics.median(times)


def bounded(tool, path, command, bound):
    """Seconds of one command on `path` (median of three when fast), or None when a run
    went over `bound` seconds."""
    times = []
    for n in range(3):
        # an edit changes the file each time: its board id goes 3, 4, 3
        edit = [str(BOARD_IDS[n % 2]) if word == "BOARD" else word for word in command]
        argv = ["/usr/bin/timeout", "-s", "KILL", str(bound), tool, "--file", path] + edit
        status, seconds = run(argv)
        if status in (124, -9, 137) or seconds >= bound:
            return None
        if status not in (0, 1):  # check exits 1 when it finds problems
            fail(f"{' '.join(argv)} exited with {status}")
        times.append(seconds)
        if seconds > 0.5:
            break
    return statistics.median(times)


def peak_kib(argv):
    """Maximum resident set size of argv in KiB, as /usr/bin/time reports it."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv,
                       stdout=subprocess.DEVNULL, check=True)
        return int(report.read().split()[-1])


def fuzz_rate(fuzzer, seconds):
    """Executions a second of the templates fuzz target over its seeds, the kept inputs
    and the shared corpus of real files, in a fresh working corpus."""
    with tempfile.TemporaryDirectory() as work:
        make_seeds = os.path.join(os.path.dirname(fuzzer), "fuzz_make_seeds")
        if os.access(make_seeds, os.X_OK):
            subprocess.run([make_seeds, os.path.join(work, "seeds")], check=True,
                           stdout=subprocess.DEVNULL)
        seeds = [os.path.join(work, "seeds", "templates"),
                 os.path.join(ROOT, "fuzz", "regressions", "templates"),
                 os.environ.get("ZUV_CORPUS_DIR",
                                os.path.join(ROOT, "..", "shared", "corpus", "wince-reg"))]
        os.mkdir(os.path.join(work, "corpus"))
        result = subprocess.run(
            [fuzzer, os.path.join(work, "corpus")] + [s for s in seeds if os.path.isdir(s)] +
            [f"-max_total_time={seconds}", "-seed=1", "-timeout=20", "-rss_limit_mb=2048",
             f"-artifact_prefix={work}/"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=False)
    done = re.search(r"Done (\d+) runs in (\d+) second", result.stderr)
    if result.returncode != 0 or not done:
        # A finding is for scripts/fuzz.sh to keep and report; here it only ends the figure.
        print(result.stderr[-2000:], file=sys.stderr)
        return None
    return int(done.group(1)) / max(int(done.group(2)), 1)


# ---- Report ----------------------------------------------------------------

def ms(seconds):
    return f"{seconds * 1000:.1f} ms" if seconds < 1 else f"{seconds:.2f} s"


def size(count):
    return f"{count / MIB:.1f} MiB" if count >= MIB else f"{count / 1024:.0f} KiB"


# ---- The image walk (bench/image_walk.py) ---------------------------------

def image_walk(tool):
    """Prints the median time of `check --image` on a generated image tree."""
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import image_walk as walk  # pylint: disable=import-outside-toplevel
    seconds, count = walk.image_walk_time(tool, 7)
    print(f"\ncheck --image on a generated tree of {count} files: {ms(seconds)} (median of 7)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--zuv8620", default=os.path.join(ROOT, "build/native/cli/zuv8620"),
                        help="the tool to measure (default: the native preset's)")
    parser.add_argument("--bound", type=float, default=5,
                        help="seconds after which a shape's command is stopped (default 5)")
    parser.add_argument("--fuzz", default=os.path.join(ROOT, "build/fuzz/fuzz/fuzz_templates"),
                        help="the templates fuzz target (default: the fuzz preset's, if built)")
    parser.add_argument("--fuzz-seconds", type=int, default=10)
    args = parser.parse_args()

    tool = os.path.abspath(args.zuv8620)
    for needed in (tool, "/usr/bin/time", "/usr/bin/timeout"):
        if not os.access(needed, os.X_OK):
            fail(f"{needed} is missing (build the native preset, install time and coreutils)")
    if not shutil.which("sed"):
        fail("sed is missing")
    sed_version = subprocess.run(["sed", "--version"], capture_output=True, text=True,
                                 check=True).stdout.splitlines()[0]
    bound = args.bound
    started = time.perf_counter()
    print(f"{os.path.relpath(tool, ROOT)} against {sed_version}; {os.cpu_count()} CPUs, "
          f"{platform.machine()}, Linux {platform.release()}")

    with tempfile.TemporaryDirectory(prefix="zuv8620-bench-") as folder:
        print("\nOne edit, whole process: `set 0 --board-id 3|4` against `sed -i` making the same")
        print("edit on a copy of the same file, runs paired, medians")
        print(f"{'file':<28}{'bytes':>10}{'pairs':>7}{'set':>11}{'sed -i':>11}"
              f"{'set/sed':>9}  goal")
        rows = [("the sample", read(SAMPLE), 40, "<= 1.2x"),
                ("1 MiB of ordinary keys", ordinary_keys(MIB), 15, "<= 2x"),
                ("8 MiB of ordinary keys", ordinary_keys(8 * MIB), 3, "")]
        for n, (name, content, pairs, goal) in enumerate(rows):
            set_time, sed_time, ratio = paired(tool, content, pairs, folder, f"paired{n}")
            print(f"{name:<28}{len(content):>10}{pairs:>7}{ms(set_time):>11}{ms(sed_time):>11}"
                  f"{ratio:>8.2f}x  {goal}".rstrip())
        flush = flush_time(read(SAMPLE), 20, folder)
        print(f"flushing the sample and its folder to disk as a Save does (sed -i does not): "
              f"{ms(flush)}")

        print(f"\nShapes, each command bounded to {bound:g} s (median of 3 when under 0.5 s)")
        print(f"{'shape':<36}{'bytes':>9}{'set':>11}{'check':>11}{'list':>11}  goal")
        over = {}
        shapes = [("one key holding 10,000 values", "values", many_values(10000), ""),
                  ("one key holding 20,000 values", "values", many_values(20000), ""),
                  ("one key holding 40,000 values", "values", many_values(40000), "< 0.2 s"),
                  ("a 200 KB comment of Template0]", "comment", long_comment(200000), ""),
                  ("a 400 KB comment of Template0]", "comment", long_comment(400000), ""),
                  ("an 800 KB comment of Template0]", "comment", long_comment(800000),
                   "< 0.2 s")]
        skipped = False
        for n, (name, kind, content, goal) in enumerate(shapes):
            path = place(folder, f"shape{n}", content)
            cells = []
            for command in (["set", "0", "--board-id", "BOARD"], ["check"], ["list"]):
                key = (kind, command[0])
                if key in over:  # over the bound on a smaller file of this shape
                    cells.append(f"over {bound:g} s*")
                    skipped = True
                    continue
                seconds = bounded(tool, path, command, bound)
                if seconds is None:
                    over[key] = True
                    cells.append(f"over {bound:g} s")
                else:
                    cells.append(ms(seconds))
            print(f"{name:<36}{len(content):>9}" + "".join(f"{c:>11}" for c in cells) +
                  f"  {goal}".rstrip())
        if skipped:
            print(f"* not run: over {bound:g} s on the smaller file of the same shape")

        content = ordinary_keys(8 * MIB)
        path = place(folder, "memory", content)
        set_kib = peak_kib([tool, "--file", path, "set", "0", "--board-id", "3"])
        sed_kib = peak_kib(["sed", "-i", "-e", sed_script(4), path])
        print(f"\nPeak memory (maximum resident set size), {size(len(content))} of ordinary keys")
        print(f"  set: {set_kib / 1024:.1f} MiB, {set_kib * 1024 / len(content):.1f}x the file"
              f" (goal <= 4x); sed -i: {sed_kib / 1024:.1f} MiB")

    image_walk(tool)

    if os.access(args.fuzz, os.X_OK):
        rate = fuzz_rate(args.fuzz, args.fuzz_seconds)
        if rate is None:
            print(f"\nfuzz_templates stopped before {args.fuzz_seconds} s (its output is above);"
                  " scripts/fuzz.sh keeps what it finds")
        else:
            print(f"\nfuzz_templates (ASan + UBSan), {args.fuzz_seconds} s from its seeds, kept "
                  f"inputs and the shared corpus: {rate:.0f} executions/s (goal >= 2,000/s)")
    else:
        print(f"\nfuzz_templates: not built ({os.path.relpath(args.fuzz, ROOT)}; "
              "scripts/fuzz.sh builds it)")
    print(f"\n{time.perf_counter() - started:.0f} s in all")


if __name__ == "__main__":
    main()

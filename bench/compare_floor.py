#!/usr/bin/env python3
"""Whole-process cost of `zuv8620 set` against the floor of a durable edit.

The floor is bench/edit_floor.c: read the file, replace one value, write a
sibling, flush it, rename it over the file, flush the folder, nothing else.
Generates its driver files in a temporary folder and prints, in a few minutes:
  - for the sample driver file and for 1 MiB and 8 MiB of ordinary keys, the
    medians over rounds of runs (each round one `set` and one floor edit, and
    one `set` of the --baseline build when given, in turn first, two edits
    alternating, each on its own copy of one file) of the ratio set / floor in
    wall time, and at 1 MiB in CPU time (user + system);
  - the peak memory (maximum resident set size) of `set` on the 8 MiB file;
  - these figures as a table against their targets, with how far each is from
    its target;
  - for shapes that a search going back over the text makes slow (one key
    holding many values, one long comment line repeating a template's key
    name), the times of `set`, `check` and `list`, each run bounded;
  - the time of `check --image` on a generated image tree of 5,000 files
    (bench/image_walk.py);
  - when the fuzz preset is built, each fuzz target's executions a second on
    its own seeds, inputs bounded to 16 KiB as scripts/fuzz.sh runs them.
The figures are printed, never judged: the script fails only when it cannot
measure (a tool missing, an edit refused, a file that no edit changed, two
tools writing different bytes).

  bench/compare_floor.py [--zuv8620 PATH] [--baseline PATH] [--floor PATH]
                         [--bound SECONDS] [--fuzz-dir PATH]
"""

import argparse
import os
import platform
import re
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(ROOT, "examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg")
CORPUS = os.path.join(os.path.dirname(ROOT), "shared", "corpus", "wince-reg")
MIB = 1024 * 1024

# The edit every tool makes: template 0's board id, 3 and 4 in turn (the
# sample's other template has board 1, so both values are free).
BOARD_IDS = (3, 4)

# The goals: set / floor in wall time per file, CPU at 1 MiB, peak memory at 8 MiB.
WALL_TARGET = {"sample": 1.2, "platform": 1.2, "1mib": 2.0, "8mib": 2.0}
CPU_TARGET = 2.0
MEMORY_TARGET = 3.0


def fail(message):
    sys.exit(f"compare_floor.py: {message}")


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


def corpus_files():
    """The real registry files beside the checkout, largest first; none when absent."""
    if not os.path.isdir(CORPUS):
        return []
    paths = [os.path.join(CORPUS, name) for name in os.listdir(CORPUS) if name.endswith(".reg")]
    return sorted(paths, key=os.path.getsize, reverse=True)


def platform_file():
    """The largest corpus file with the sample's keys added after its own, or None."""
    files = corpus_files()
    if not files:
        return None
    _, rest = sample_parts()
    return read(files[0]).rstrip(b"\r\n") + b"\r\n\r\n" + rest


def conditional_copies(count):
    """The sample with `count` more copies of template 0, each in an IF block of one
    variable, as a file that wraps a setting per build does."""
    head, rest = sample_parts()
    copy = (b"IF BSP_FAST\r\n[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore"
            b"\\Template0]\r\n\"SwitchID\"=dword:0\r\nENDIF\r\n")
    return head + rest + copy * count


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


class Run:
    """One finished process: exit status, wall seconds, CPU seconds (user + system) and
    maximum resident set size in KiB."""

    def __init__(self, status, wall, cpu, peak_kib):
        self.status, self.wall, self.cpu, self.peak_kib = status, wall, cpu, peak_kib


def run(argv):
    """Runs argv to its end, its output thrown away."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, DEVNULL, 0),
                                       (os.POSIX_SPAWN_DUP2, DEVNULL, 1)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    return Run(os.waitstatus_to_exitcode(status), wall, usage.ru_utime + usage.ru_stime,
               usage.ru_maxrss)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def edit_argv(tool, path, board_id):
    if tool.endswith("edit_floor"):
        return [tool, path, "Template0]", '"SwitchID"=', f"dword:{board_id}"]
    return [tool, "--file", path, "set", "0", "--board-id", str(board_id)]


def rounds(tools, content, count, folder, name):
    """Runs `count` rounds (and one first round, not counted, that warms the caches) of one
    edit by each tool on its own copy of `content`, the order turning each round. Returns,
    for each tool, its Runs."""
    paths = {tool: place(folder, f"{name}-{n}", content) for n, tool in enumerate(tools)}
    runs = {tool: [] for tool in tools}
    for n in range(count + 1):
        board_id = BOARD_IDS[n % 2]
        order = tools[n % len(tools):] + tools[:n % len(tools)]
        if n % 2:
            order.reverse()
        before = read(paths[tools[0]])
        for tool in order:
            argv = edit_argv(tool, paths[tool], board_id)
            done = run(argv)
            if done.status != 0:
                fail(f"{' '.join(argv)} exited with {done.status}")
            if n:
                runs[tool].append(done)
        after = read(paths[tools[0]])
        if after == before:
            fail(f"board id {board_id} left {paths[tools[0]]} as it was")
        for tool in tools[1:]:
            if read(paths[tool]) != after:
                fail(f"{tool} and {tools[0]} wrote different bytes for board id {board_id} "
                     f"({name})")
    return runs


def median_ratio(runs, tool, floor, field):
    """The median over rounds of tool's figure / the floor's in the same round."""
    return statistics.median(getattr(a, field) / max(getattr(b, field), 1e-9)
                             for a, b in zip(runs[tool], runs[floor]))


def median_of(runs, tool, field):
    return statistics.median(getattr(r, field) for r in runs[tool])


def bounded(tool, path, command, bound):
    """Seconds of one command on `path` (median of three when fast), or None when a run
    went over `bound` seconds."""
    times = []
    for n in range(3):
        # an edit changes the file each time: its board id goes 3, 4, 3
        edit = [str(BOARD_IDS[n % 2]) if word == "BOARD" else word for word in command]
        argv = ["/usr/bin/timeout", "-s", "KILL", str(bound), tool, "--file", path] + edit
        done = run(argv)
        if done.status in (124, -9, 137) or done.wall >= bound:
            return None
        if done.status not in (0, 1):  # check exits 1 when it finds problems
            fail(f"{' '.join(argv)} exited with {done.status}")
        times.append(done.wall)
        if done.wall > 0.5:
            break
    return statistics.median(times)


def peak_kib(argv):
    """Maximum resident set size of argv in KiB, as /usr/bin/time reports it (a child
    of this script would count the script's own pages from before its exec)."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv,
                       stdout=subprocess.DEVNULL, check=True)
        return int(report.read().split()[-1])


def fuzz_rate(fuzz_dir, target, seconds, seeds_dir):
    """Executions a second of a fuzz target from its own seeds, inputs bounded to 16 KiB,
    in a fresh working corpus, of wall time and of the CPU time it had (on a machine
    shared with other work the second tells what the target costs); None when it
    stopped on a finding."""
    fuzzer = os.path.join(fuzz_dir, f"fuzz_{target}")
    # The working corpus in memory, as scripts/fuzz.sh keeps it: libFuzzer writes
    # a file for every input it keeps, whose creation on disk slows the run.
    memory = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(dir=memory) as work:
        subprocess.run([os.path.join(seeds_dir, "fuzz_make_seeds"), os.path.join(work, "seeds")],
                       check=True, stdout=subprocess.DEVNULL)
        os.mkdir(os.path.join(work, "corpus"))
        # The options and words scripts/fuzz.sh gives.
        env = dict(os.environ)
        env["ASAN_OPTIONS"] = ":".join(filter(None, ["malloc_context_size=0",
                                                     os.environ.get("ASAN_OPTIONS")]))
        words = ([f"-dict={os.path.join(ROOT, 'fuzz', 'registry.dict')}"]
                 if target in ("store", "templates") else [])
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        result = subprocess.run(
            [fuzzer, os.path.join(work, "corpus"), os.path.join(work, "seeds", target),
             "-max_len=16384", "-print_funcs=0", f"-max_total_time={seconds}", "-seed=1",
             "-entropic_feature_frequency_threshold=16",
             "-timeout=20",
             "-rss_limit_mb=2048", f"-artifact_prefix={work}/"] + words,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=False, env=env)
        now = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime
    done = re.search(r"Done (\d+) runs in (\d+) second", result.stderr)
    if result.returncode != 0 or not done:
        # A finding is for scripts/fuzz.sh to keep and report; here it only ends the figure.
        print(result.stderr[-2000:], file=sys.stderr)
        return None
    runs = int(done.group(1))
    return runs / max(int(done.group(2)), 1), runs / max(cpu, 1e-3)


# ---- Report ----------------------------------------------------------------

def ms(seconds):
    return f"{seconds * 1000:.1f} ms" if seconds < 1 else f"{seconds:.2f} s"


def size(count):
    return f"{count / MIB:.1f} MiB" if count >= MIB else f"{count / 1024:.0f} KiB"


def against(figure, target):
    """How far `figure` (a ratio whose target is `target` or less) is from its target."""
    if figure <= target:
        return f"met, {target - figure:.2f}x to spare"
    return f"{figure - target:.2f}x over ({(figure / target - 1) * 100:.0f}% above)"


def every_build_against_one(tool):
    """Prints, for each corpus file with the sample's keys added, the time of `check` that
    reads every build the file tells apart against `check` under one build (--config of an
    empty file: every variable unset)."""
    files = corpus_files()
    if not files:
        return
    print("\ncheck reading every build against one build (--config of an empty file), "
          "median of 5; target <= 2x")
    _, rest = sample_parts()
    worst = 0.0
    with tempfile.TemporaryDirectory(prefix="zuv8620-builds-") as folder:
        empty = os.path.join(folder, "empty.cfg")
        open(empty, "wb").close()
        for n, source in enumerate(files):
            path = place(folder, f"corpus{n}", read(source).rstrip(b"\r\n") + b"\r\n\r\n" + rest)
            every = statistics.median(run([tool, "--file", path, "check"]).wall for _ in range(5))
            one = statistics.median(
                run([tool, "--file", path, "--config", empty, "check"]).wall for _ in range(5))
            worst = max(worst, every / one)
            print(f"  {os.path.basename(source):<40}{len(read(path)):>9}{ms(every):>11}"
                  f"{ms(one):>11}{every / one:>7.2f}x")
    print(f"  the most: {worst:.2f}x")


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
    parser.add_argument("--baseline", help="another build of the tool, timed in the same "
                        "rounds (say the one before a change): its figures get a column")
    parser.add_argument("--floor", default=os.path.join(ROOT, "build/native/bench/edit_floor"),
                        help="the floor program (default: the native preset's)")
    parser.add_argument("--rounds", type=int, default=20,
                        help="rounds of runs for each file (default 20; the sample gets twice)")
    parser.add_argument("--bound", type=float, default=5,
                        help="seconds after which a shape's command is stopped (default 5)")
    parser.add_argument("--fuzz-dir", default=os.path.join(ROOT, "build/fuzz/fuzz"),
                        help="the fuzz targets (default: the fuzz preset's, if built)")
    parser.add_argument("--baseline-fuzz-dir",
                        help="another build's fuzz targets, run the same way after these")
    parser.add_argument("--fuzz-seconds", type=int, default=10)
    parser.add_argument("--skip-shapes", action="store_true", help="leave out the shapes")
    args = parser.parse_args()

    tool = os.path.abspath(args.zuv8620)
    floor = os.path.abspath(args.floor)
    tools = [tool] + ([os.path.abspath(args.baseline)] if args.baseline else [])
    for needed in tools + [floor, "/usr/bin/timeout"]:
        if not os.access(needed, os.X_OK):
            fail(f"{needed} is missing (build the native preset, install coreutils)")
    bound = args.bound
    started = time.perf_counter()
    names = {tool: "now"}
    print(f"{os.path.relpath(tool, ROOT)} against {os.path.relpath(floor, ROOT)}; "
          f"{os.cpu_count()} CPUs, {platform.machine()}, Linux {platform.release()}")
    if args.baseline:
        names[tools[1]] = "baseline"
        print(f"baseline: {tools[1]}")

    with tempfile.TemporaryDirectory(prefix="zuv8620-bench-") as folder:
        print("\nOne edit, whole process: `set 0 --board-id 3|4` against the floor making the "
              "same edit\non a copy of the same file, in rounds taking turns at going first; "
              "medians")
        print(f"{'file':<26}{'bytes':>9}{'rounds':>7}{'floor':>10}" +
              "".join(f"{names[t]:>10}" for t in tools) + "   CPU: floor" +
              "".join(f"{names[t]:>10}" for t in tools))
        real_platform = platform_file()
        files = [("sample", "the sample", read(SAMPLE), 2 * args.rounds)]
        if real_platform is not None:
            files.append(("platform", "a real platform file", real_platform, 2 * args.rounds))
        files += [
                  ("1mib", "1 MiB of ordinary keys", ordinary_keys(MIB), args.rounds),
                  ("8mib", "8 MiB of ordinary keys", ordinary_keys(8 * MIB), args.rounds)]
        goals = []  # (what, target, {tool: figure})
        for key, name, content, count in files:
            runs = rounds([floor] + tools, content, count, folder, key)
            print(f"{name:<26}{len(content):>9}{count:>7}{ms(median_of(runs, floor, 'wall')):>10}" +
                  "".join(f"{ms(median_of(runs, t, 'wall')):>10}" for t in tools) +
                  f"{ms(median_of(runs, floor, 'cpu')):>13}" +
                  "".join(f"{ms(median_of(runs, t, 'cpu')):>10}" for t in tools))
            goals.append((f"set / floor, wall, {name}", WALL_TARGET[key],
                          {t: median_ratio(runs, t, floor, "wall") for t in tools}))
            if key == "1mib":
                goals.append((f"set / floor, CPU, {name}", CPU_TARGET,
                              {t: median_ratio(runs, t, floor, "cpu") for t in tools}))
            if key == "8mib":
                path = place(folder, "memory", content)
                goals.append((f"set's peak memory / the file, {name}", MEMORY_TARGET,
                              {t: peak_kib(edit_argv(t, path, BOARD_IDS[n % 2])) * 1024 /
                               len(content) for n, t in enumerate(tools)}))

        print("\nThe goals (targets, not tests: no figure fails this script)")
        print(f"{'figure':<54}{'target':>10}" +
              "".join(f"{names[t]:>10}  {'from the target':<28}" for t in tools))
        for what, target, figures in goals:
            print(f"{what:<54}{'<= ' + format(target, 'g') + 'x':>10}" +
                  "".join(f"{figures[t]:>9.2f}x  {against(figures[t], target):<28}"
                          for t in tools).rstrip())

        print(f"\nShapes, each command bounded to {bound:g} s (median of 3 when under 0.5 s)")
        print(f"{'shape':<36}{'bytes':>9}{'set':>11}{'check':>11}{'list':>11}  target")
        over = {}
        shapes = [] if args.skip_shapes else [("one key holding 10,000 values", "values", many_values(10000), ""),
                  ("one key holding 40,000 values", "values", many_values(40000), "< 0.2 s"),
                  ("a 200 KB comment of Template0]", "comment", long_comment(200000), ""),
                  ("an 800 KB comment of Template0]", "comment", long_comment(800000),
                   "< 0.2 s"),
                  ("1,000 conditional copies of a template", "copies", conditional_copies(1000),
                   ""),
                  ("4,000 conditional copies of a template", "copies", conditional_copies(4000),
                   ""),
                  ("16,000 conditional copies of a template", "copies",
                   conditional_copies(16000), "linear in the copies")]
        skipped = False
        for n, (name, kind, content, goal) in enumerate(shapes):
            path = place(folder, f"shape{n}", content)
            cells = []
            # The copies are read in one build; set names it (without it, the
            # edit of the last copy alone is refused: the other build reads
            # the first).
            build = ["--define", "BSP_FAST"] if kind == "copies" else []
            for command in (build + ["set", "0", "--board-id", "BOARD"], ["check"], ["list"]):
                key = (kind, command[len(build)] if command[0] == "--define" else command[0])
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

    every_build_against_one(tools[0])
    image_walk(tools[0])

    if os.access(os.path.join(args.fuzz_dir, "fuzz_make_seeds"), os.X_OK):
        print(f"\nFuzz targets (ASan + UBSan), {args.fuzz_seconds} s each from their own seeds, "
              "inputs up to 16 KiB; target >= 1,000 executions/s")
        runs = [(target, "", args.fuzz_dir) for target in ("store", "templates", "document")]
        if args.baseline_fuzz_dir:
            runs += [(target, " (baseline)", args.baseline_fuzz_dir)
                     for target in ("store", "templates", "document")]
        for target, which, fuzz_dir in runs:
            # The seeds are always this build's, bounded as scripts/fuzz.sh bounds them.
            rates = fuzz_rate(fuzz_dir, target, args.fuzz_seconds, args.fuzz_dir)
            if rates is None:
                print(f"  fuzz_{target}{which}: stopped on a finding (its output is above); "
                      "scripts/fuzz.sh keeps what it finds")
            else:
                rate, per_cpu = rates
                print(f"  fuzz_{target}{which}: {rate:,.0f} executions/s, " +
                      (f"met, {rate / 1000:.1f}x the target" if rate >= 1000 else
                       f"{1000 - rate:,.0f}/s short of the target") +
                      f"; {per_cpu:,.0f} per second of CPU")
    else:
        print(f"\nfuzz targets: not built ({os.path.relpath(args.fuzz_dir, ROOT)}; "
              "scripts/fuzz.sh builds them)")
    print(f"\n{time.perf_counter() - started:.0f} s in all")


if __name__ == "__main__":
    main()

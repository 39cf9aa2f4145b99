#!/usr/bin/env python3
"""Times Scourby against copying, reading, and the tag tools people use for
the same removal, on generated libraries. Every run starts from a fresh copy
of the input (not timed); the table gives the median and minimum wall time,
MB/s of input, peak memory, and the ratio to `cp` (to `cat` for the tail case).

usage: run.py SCOURBY WORKDIR [CASE ...]   (cases: library big small tail)
"""
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def have(tool):
    return shutil.which(tool) is not None


def files_of(folder):
    for root, _, names in os.walk(folder):
        for name in sorted(names):
            yield os.path.join(root, name)


def tree_bytes(folder):
    return sum(os.path.getsize(p) for p in files_of(folder))


def digest(folder):
    """What a tool left in the folder: a hash of each .mp3 file's bytes."""
    result = {}
    for path in files_of(folder):
        if path.endswith(".mp3"):
            with open(path, "rb") as f:
                result[os.path.relpath(path, folder)] = hashlib.file_digest(f, "sha256").hexdigest()
    return result


def measure(command, cwd):
    """Wall time and peak resident memory (KB) of one command. GNU time runs
    it, so the peak is that of the command's own processes (the largest of a
    pipeline), not one inherited from this script through fork."""
    report = os.path.join(cwd, "..", ".peak")
    start = time.perf_counter()
    status = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, "/bin/sh", "-c", command], cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - start
    if status != 0:
        print("  (%s exited with %d)" % (command, status), flush=True)
    try:
        with open(report) as f:
            peak = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        peak = 0
    return elapsed, peak


def tools(case, scourby):
    recurse = " /S" if case == "small" else ""
    mp3s = "find . -name '*.mp3' -print0 | xargs -0 "
    listed = [
        ("scourby", "%s '*.mp3'%s" % (scourby, recurse)),
        ("scourby /C", "%s '*.mp3' /C%s" % (scourby, recurse)),
        ("scourby /T", "%s '*.mp3' /T%s" % (scourby, recurse)),
    ]
    if case == "library":
        listed.append(("scourby -P 2", mp3s + "-n 64 -P 2 " + scourby))
    listed += [
        ("cp", None),
        ("cat", "find . -type f -exec cat {} + > /dev/null"),
    ]
    peers = [
        ("mid3v2 -D", "mid3v2", mp3s + "mid3v2 -D"),
        ("eyeD3 --remove-all", "eyeD3", mp3s + "eyeD3 -Q --remove-all"),
        ("id3v2 -D", "id3v2", mp3s + "id3v2 -D"),
        ("mp3check --cut-*", "mp3check", mp3s + "mp3check -q --cut-junk-start --cut-junk-end --cut-tag-end"),
    ]
    listed += [(name, command) for name, tool, command in peers if have(tool)]
    return listed


def run_case(case, scourby, workdir):
    source = os.path.join(workdir, case + ".src")
    if not os.path.isdir(source):
        print("generating %s ..." % case, flush=True)
        subprocess.run([sys.executable, os.path.join(HERE, "make_library.py"), case, source], check=True)
    size = tree_bytes(source)
    work = os.path.join(workdir, case + ".work")
    copy = os.path.join(workdir, case + ".copy")
    results = []
    reference = None
    for name, command in tools(case, scourby):
        times, peaks = [], []
        for _ in range(RUNS):
            shutil.rmtree(work, ignore_errors=True)
            shutil.rmtree(copy, ignore_errors=True)
            subprocess.run(["cp", "-r", source, work], check=True)
            if name == "cp":
                elapsed, peak = measure("cp -r '%s' '%s'" % (work, copy), workdir)
            else:
                elapsed, peak = measure(command, work)
            times.append(elapsed)
            if peak:
                peaks.append(peak)
        left = digest(work) if name not in ("cp", "cat") else None
        if name == "scourby":
            reference = left
        same = "" if left is None else ("yes" if left == reference else "no")
        results.append((name, statistics.median(times), min(times), max(peaks) if peaks else 0, same))
    shutil.rmtree(work, ignore_errors=True)
    shutil.rmtree(copy, ignore_errors=True)

    floor = dict((r[0], r[1]) for r in results)["cat" if case == "tail" else "cp"]
    print()
    print("case %s: %d files, %.1f MB, %d runs each" % (case, sum(1 for _ in files_of(source)), size / 1e6, RUNS))
    print("| tool | median s | min s | MB/s | peak MB | x %s | frames only |" % ("cat" if case == "tail" else "cp"))
    print("|---|---|---|---|---|---|---|")
    for name, median, minimum, peak, same in results:
        print("| %s | %.3f | %.3f | %.0f | %.1f | %.2f | %s |" % (
            name, median, minimum, size / 1e6 / median, peak / 1024.0, median / floor, same))
    sys.stdout.flush()


def main():
    scourby, workdir = os.path.abspath(sys.argv[1]), sys.argv[2]
    cases = sys.argv[3:] or ["library", "big", "small", "tail"]
    os.makedirs(workdir, exist_ok=True)
    for case in cases:
        run_case(case, scourby, workdir)


if __name__ == "__main__":
    main()

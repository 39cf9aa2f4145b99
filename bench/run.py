#!/usr/bin/env python3
"""Times Scourby against copying, reading, and the tag tools people use for
the same removal, on generated libraries. Every run starts from a fresh copy
of the input (not timed), and the tools take turns run by run, so that the
machine's drift (tmpfs writes vary a lot from one moment to the next) falls
on all of them alike. The table gives the median and minimum wall time, MB/s
of input, peak memory, and the ratio to `cp` (to `cat` for the cases that
only read: tail, and noise, a file that is no MP3 at all).

usage: run.py SCOURBY WORKDIR [--against OLD_SCOURBY] [CASE ...]
       (cases: library big small tail noise joined vbr vbrtag)
With --against, an older build runs beside the new one in every round and
its rows are marked "(old)".
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


def scourby_rows(case, binary, label):
    recurse = " /S" if case == "small" else ""
    mp3s = "find . -name '*.mp3' -print0 | xargs -0 "
    rows = [
        ("scourby" + label, "%s '*.mp3'%s" % (binary, recurse)),
        ("scourby /C" + label, "%s '*.mp3' /C%s" % (binary, recurse)),
        ("scourby /T" + label, "%s '*.mp3' /T%s" % (binary, recurse)),
    ]
    if case == "library":
        rows.append(("scourby -P 2" + label, mp3s + "-n 64 -P 2 " + binary))
        # Repairing the audio and keeping the tags costs what cleaning does.
        if not label:
            rows.append(("scourby /K", "%s '*.mp3' /K" % binary))
    return rows


def tools(case, scourby, old):
    mp3s = "find . -name '*.mp3' -print0 | xargs -0 "
    listed = scourby_rows(case, scourby, "")
    if old:
        listed += scourby_rows(case, old, " (old)")
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


def run_case(case, scourby, old, workdir):
    source = os.path.join(workdir, case + ".src")
    if not os.path.isdir(source):
        print("generating %s ..." % case, flush=True)
        subprocess.run([sys.executable, os.path.join(HERE, "make_library.py"), case, source], check=True)
    size = tree_bytes(source)
    work = os.path.join(workdir, case + ".work")
    copy = os.path.join(workdir, case + ".copy")
    listed = tools(case, scourby, old)
    times = {name: [] for name, _ in listed}
    peaks = {name: [] for name, _ in listed}
    left = {}
    # Round after round, every tool once per round.
    for _ in range(RUNS):
        for name, command in listed:
            shutil.rmtree(work, ignore_errors=True)
            shutil.rmtree(copy, ignore_errors=True)
            subprocess.run(["cp", "-r", source, work], check=True)
            if name == "cp":
                elapsed, peak = measure("cp -r '%s' '%s'" % (work, copy), workdir)
            else:
                elapsed, peak = measure(command, work)
            times[name].append(elapsed)
            if peak:
                peaks[name].append(peak)
            if name not in ("cp", "cat") and name not in left:
                left[name] = digest(work)
    shutil.rmtree(work, ignore_errors=True)
    shutil.rmtree(copy, ignore_errors=True)

    floor_name = "cat" if case in ("tail", "noise") else "cp"
    floor = statistics.median(times[floor_name])
    reference = left.get("scourby")
    print()
    print("case %s: %d files, %.1f MB, %d runs each" % (case, sum(1 for _ in files_of(source)), size / 1e6, RUNS))
    print("| tool | median s | min s | MB/s | peak MB | x %s | frames only |" % floor_name)
    print("|---|---|---|---|---|---|---|")
    for name, _ in listed:
        median = statistics.median(times[name])
        same = "" if name not in left else ("yes" if left[name] == reference else "no")
        peak = max(peaks[name]) if peaks[name] else 0
        print("| %s | %.3f | %.3f | %.0f | %.1f | %.2f | %s |" % (
            name, median, min(times[name]), size / 1e6 / median, peak / 1024.0, median / floor, same))
    sys.stdout.flush()


def main():
    args = sys.argv[1:]
    scourby, workdir = os.path.abspath(args[0]), args[1]
    rest = args[2:]
    old = None
    if "--against" in rest:
        at = rest.index("--against")
        old = os.path.abspath(rest[at + 1])
        del rest[at:at + 2]
    cases = rest or ["library", "big", "small", "tail", "noise", "joined", "vbr", "vbrtag"]
    os.makedirs(workdir, exist_ok=True)
    for case in cases:
        run_case(case, scourby, old, workdir)


if __name__ == "__main__":
    main()

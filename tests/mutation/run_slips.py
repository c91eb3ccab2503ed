#!/usr/bin/env python3
"""Runs lists of slips against the suite: how many plausible careless edits do the tests catch?

For each slip: apply it to the one file whose text it names, build what the tests need, run the
tests, record whether one failed, and put the file back, always (also on Ctrl+C, SIGTERM or a
failed build). The report gives the catch rate and, for each survivor, what a user would suffer.
See README.md beside this file for the list format and the usual runs.
"""
import argparse
import json
import os
import re
import shlex
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# The program's own folders: slips point there, never at tests.
PROGRAM_FOLDERS = ("command", "console", "platform")
SOURCE_ENDINGS = (".cpp", ".h", ".c", ".cc", ".hpp")
# What the default run needs built, and the tests it runs (labels set in tests/unit and tests/e2e).
TARGETS = ["varnelt", "unit_tests", "e2e_tests", "prompt_events_test"]
LABELS = "^(unit|e2e_linux)$"
# --all: everything except what needs a sub-build, packages or other machines' tools.
HEAVY = "fuzz|sanitize|arm64|wine|windows|install|packages|hardening|lintian|rpmlint|docs"


class Slip:
    def __init__(self, number, source, name, harm):
        self.number, self.source, self.name, self.harm = number, source, name, harm
        self.old = self.new = None


def read_slips(paths):
    """Every slip of the lists, numbered from 1 across them in order."""
    slips = []
    for path in paths:
        current = None
        with open(path, encoding="utf-8") as lines:
            for number, raw in enumerate(lines.read().splitlines(), 1):
                if raw.startswith("#") or not raw.strip():
                    continue
                tag, text = raw[:1], raw[2:]
                if tag == "@":  # words, where a backslash stands for itself (\\server\pipe\name)
                    name, _, harm = text.partition("|")
                    current = Slip(len(slips) + 1, os.path.basename(path), name.strip(), harm.strip())
                    slips.append(current)
                elif tag in "<>" and current is not None:
                    text = text.replace("\\n", "\n").replace("\\t", "\t")
                    field = "old" if tag == "<" else "new"
                    before = getattr(current, field)
                    setattr(current, field, text if before is None else before + "\n" + text)
                else:
                    sys.exit("%s:%d: cannot read this line: %r" % (path, number, raw))
        for slip in slips:
            if slip.old is None or slip.new is None:
                sys.exit("%s: slip %r needs a < line and a > line" % (path, slip.name))
    return slips


def program_files():
    """The program's sources by path from the root, each with its text."""
    found = sorted(os.path.relpath(os.path.join(folder, name), ROOT)
                   for top in PROGRAM_FOLDERS for folder, _, names in os.walk(os.path.join(ROOT, top))
                   for name in names if name.endswith(SOURCE_ENDINGS))
    return {f: open(os.path.join(ROOT, f), encoding="utf-8", errors="surrogateescape").read() for f in found}


def pin(slip, files):
    """The one file that holds the slip's text exactly once, or None: the slip needs re-pinning."""
    counts = {f: text.count(slip.old) for f, text in files.items()}
    hits = [f for f, n in counts.items() if n]
    return hits[0] if len(hits) == 1 and counts[hits[0]] == 1 else None


class Interrupted(Exception):
    pass


ENDING_SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


class SignalsHeld:
    """Holds the ending signals back while a file is written, so that a second Ctrl+C cannot leave
    it half written; one that came meanwhile is taken at the end."""

    def __enter__(self):
        signal.pthread_sigmask(signal.SIG_BLOCK, ENDING_SIGNALS)

    def __exit__(self, *_):
        signal.pthread_sigmask(signal.SIG_UNBLOCK, ENDING_SIGNALS)


def on_signal(number, _frame):
    raise Interrupted(signal.Signals(number).name)


def run(command, limit, log):
    """Runs the command in a process group of its own, killed whole when the limit passes, its
    output in the file named log. The exit code, or None past the limit."""
    with open(log, "w", encoding="utf-8") as output:
        output.write("$ %s\n" % " ".join(command))
        output.flush()
        child = subprocess.Popen(command, cwd=ROOT, stdout=output, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        return child.wait(timeout=max(1, limit))
    except subprocess.TimeoutExpired:
        return None
    finally:
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()


def failed_tests(log):
    with open(log, encoding="utf-8", errors="replace") as output:
        return re.findall(r"Test +#\d+: (\S+).*?\*\*\*(?:Failed|Timeout|Exception|SEGFAULT|Subprocess)",
                          output.read())


class Journal:
    """The file a slip changed, with its text before, kept in the build folder until it is put
    back: a run that was killed outright leaves it, and the next run puts the file back first."""

    def __init__(self, build):
        self.path = os.path.join(build, "slip-applied.json")

    def restore_leftover(self):
        if os.path.exists(self.path):
            with open(self.path, encoding="utf-8") as f:
                left = json.load(f)
            self.put_back(left["file"], left["text"])
            print("run_slips: put back %s, left changed by an earlier run" % left["file"])

    def apply(self, path, text, changed):
        with SignalsHeld():
            with open(self.path, "w", encoding="utf-8", errors="surrogateescape") as f:
                json.dump({"file": path, "text": text}, f)
            with open(os.path.join(ROOT, path), "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(changed)

    def put_back(self, path, text):
        with SignalsHeld():
            with open(os.path.join(ROOT, path), "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(text)
            os.remove(self.path)


def options():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("lists", nargs="+", help="slip lists, e.g. tests/mutation/slips.txt")
    ap.add_argument("--build", default="build-mutation", help="build folder, configured if new (default %(default)s)")
    ap.add_argument("--only", metavar="PATTERN", help="only the slips whose name this regular expression finds")
    ap.add_argument("--from", dest="first", type=int, default=1, metavar="N", help="start at slip N (from 1)")
    ap.add_argument("--count", type=int, metavar="M", help="run at most M slips")
    ap.add_argument("--all", action="store_true", help="build everything and run every test but the heavy ones")
    ap.add_argument("--ctest", default="", help="more ctest arguments, e.g. \"-R Usage\"")
    ap.add_argument("--time-limit", type=int, default=300, metavar="S", help="seconds per slip (default %(default)s)")
    ap.add_argument("--jobs", type=int, default=2, help="parallel builds and tests (default %(default)s)")
    ap.add_argument("--list", action="store_true", help="show the chosen slips and where each is pinned; run none")
    ap.add_argument("--record", metavar="FILE", help="append one tab-separated line per slip, to merge split runs")
    return ap.parse_args()


def chosen(args):
    slips = read_slips(args.lists)
    slips = [s for s in slips if s.number >= args.first]
    if args.only:
        slips = [s for s in slips if re.search(args.only, s.name)]
    return slips[:args.count] if args.count is not None else slips


def commands(args, build):
    make = ["cmake", "--build", build, "-j%d" % args.jobs]
    test = ["ctest", "--test-dir", build, "-j%d" % args.jobs, "--timeout", "120", "--stop-on-failure"]
    if args.all:
        test += ["-E", HEAVY]
    else:
        make += ["--target", *TARGETS]
        test += ["-L", LABELS]
    return make, test + shlex.split(args.ctest)


def try_slip(slip, files, journal, make, test, args, log):
    """What became of the slip: (result, where)."""
    path = pin(slip, files)
    if path is None:
        return "re-pin", ""
    original = files[path]
    started = time.time()
    try:
        journal.apply(path, original, original.replace(slip.old, slip.new, 1))
        built = run(make, args.time_limit, log)
        if built != 0:
            return ("no build" if built is not None else "time limit"), path
        tested = run(test, args.time_limit - (time.time() - started), log)
        if tested is None:
            return "caught", path + ": hung past the time limit"
        failed = failed_tests(log)
        return ("caught" if tested else "SURVIVED"), path + (": " + ", ".join(failed[:3]) if failed else "")
    finally:
        journal.put_back(path, original)


def main():
    args = options()
    slips = chosen(args)
    files = program_files()
    if args.list:
        for s in slips:
            print("%3d %-18s %-42s %s" % (s.number, s.source, s.name[:42], pin(s, files) or "RE-PIN"))
        return 0
    build = os.path.abspath(os.path.join(ROOT, args.build) if not os.path.isabs(args.build) else args.build)
    os.makedirs(build, exist_ok=True)
    journal = Journal(build)
    for number in ENDING_SIGNALS:
        signal.signal(number, on_signal)
    log = os.path.join(build, "slip-output.log")  # the last build's or test run's output
    journal.restore_leftover()
    files = program_files()
    make, test = commands(args, build)
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")) and run(["cmake", "-S", ROOT, "-B", build], 600, log):
        sys.exit("run_slips: cannot configure %s (see %s)" % (build, log))
    if run(make, 1800, log) != 0:
        sys.exit("run_slips: the unchanged tree does not build (see %s)" % log)
    if run(test, 1800, log) != 0:
        sys.exit("run_slips: the unchanged tree fails its tests; mend that first (see %s)" % log)
    results, started = [], time.time()
    record = open(args.record, "a", encoding="utf-8") if args.record else None
    try:
        for s in slips:
            result, where = try_slip(s, files, journal, make, test, args, log)
            results.append((s, result, where))
            print("%3d %-9s %s  %s" % (s.number, result, s.name, where), flush=True)
            if record:
                record.write("\t".join([s.source, str(s.number), s.name, result, where, s.harm]) + "\n")
                record.flush()
    except (Interrupted, KeyboardInterrupt) as stop:
        print("run_slips: stopped (%s); every file is put back" % (stop or "Ctrl+C"))
    finally:
        for number in ENDING_SIGNALS:
            signal.signal(number, signal.SIG_IGN)
        run(make, 1800, log)  # the build as the tree is
    report(results, time.time() - started)
    return 0


def report(results, seconds):
    tally = {r: sum(1 for _, result, _ in results if result == r)
             for r in ("caught", "SURVIVED", "re-pin", "no build", "time limit")}
    tried = tally["caught"] + tally["SURVIVED"]
    print("\n%d of %d slips caught (%.0f%%) in %.0f s; %d re-pin, %d no build, %d past the time limit in the build"
          % (tally["caught"], tried, 100.0 * tally["caught"] / max(1, tried), seconds,
             tally["re-pin"], tally["no build"], tally["time limit"]))
    for s, result, where in results:
        if result == "SURVIVED":
            print("survived: %d %s (%s): %s" % (s.number, s.name, where, s.harm))
    for s, result, _ in results:
        if result in ("re-pin", "no build"):
            print("%s: %d %s" % (result, s.number, s.name))


if __name__ == "__main__":
    sys.exit(main())

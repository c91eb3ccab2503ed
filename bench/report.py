#!/usr/bin/env python3
"""bench/run's report: reads the raw measurements that bench/run leaves in BENCH_RAW and the
facts it passes in BENCH_* variables, and writes bench/results.md's text to standard output."""
import collections, json, os, re, statistics, datetime

env = os.environ
raw = env["BENCH_RAW"]
with open(f"{raw}/table.tsv") as table:
    header = table.readline().rstrip("\n").split("\t")
    rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in table]

def num(text):
    return None if text in ("-", "") else int(text)

def wall(row):
    """Median, lower and upper quartile, and fastest of the timed runs, in milliseconds."""
    path = f"{raw}/{row['id']}.json"
    if not os.path.exists(path):
        return None
    times = sorted(json.load(open(path))["results"][0]["times"])
    q = statistics.quantiles(times, n=4)
    return statistics.median(times) * 1e3, q[0] * 1e3, q[2] * 1e3, times[0] * 1e3

def find(section, work, program, locale="C", size=None):
    for row in rows:
        if (row["section"], row["work"], row["program"], row["locale"]) == (section, work, program, locale) \
                and (size is None or row["size"] == str(size)):
            return row
    return None

def fmt(value):
    return "–" if value is None else f"{value:,}"

def ms(row):
    """Two table cells: median with the quartiles, and the fastest run."""
    w = wall(row)
    return "– | –" if w is None else f"{w[0]:.3f} ({w[1]:.3f}–{w[2]:.3f}) | {w[3]:.3f}"

def size_text(size):
    size = int(size)
    for unit, factor in (("PiB", 1 << 50), ("TiB", 1 << 40), ("GiB", 1 << 30), ("MiB", 1 << 20)):
        if size >= factor and size % factor == 0:
            return f"{size // factor} {unit}"
    return f"{size} B"

def ratio(a, b):
    """a / b as table text."""
    return "–" if a is None or not b else f"{a / b:.2f}×"

WORKS = [  # work, counterpart, how each program is called
    ("hole", "truncate", "extend 0 → 1 GiB with a hole", "`varnelt f 1073741824 -s`", "`truncate -s 1073741824 f`"),
    ("reserved", "fallocate", "extend 0 → 1 GiB reserved", "`varnelt f 1073741824`", "`fallocate -l 1073741824 f`"),
    ("cut", "truncate", "cut 1 GiB (reserved) → 0", "`varnelt f 0`", "`truncate -s 0 f`"),
]


def shown_binary(path):
    """The binary as the report names it: from the repository's root when it lies there, else by
    its file name alone, so that no machine's folders end up in the committed results."""
    relative = os.path.relpath(path, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    return os.path.basename(path) if relative.startswith("..") else relative


out = []
say = out.append
say("# Varnelt beside truncate and fallocate")
say("")
say(f"Made by `bench/run` on {datetime.date.today().isoformat()}, commit {env['BENCH_COMMIT']}; "
    f"varnelt: `{shown_binary(os.path.abspath(env['BENCH_VARNELT']))}` ({env['BENCH_LINKAGE']}).  ")
say(f"Machine: {env['BENCH_MACHINE']}.  ")
say(f"Tools: {env['BENCH_VERSIONS']}.  ")
say(f"File systems: main work and reserved scaling on {env['BENCH_WORK_FS']}, sparse scaling on {env['BENCH_BIG_FS']}.")
say("")
say("Every process runs with `env -i PATH=/usr/bin:/bin LC_ALL=C` unless a table says otherwise. "
    f"Instructions: total Ir from `valgrind --tool=callgrind` (median of {env['BENCH_IR_RUNS']} runs). "
    "System calls: total count from `strace -c -f` (the `execve` included). "
    f"Peak memory: max RSS from GNU `time -f %M` (median of {env['BENCH_RSS_RUNS']} runs). "
    f"Wall time: `hyperfine -N` (no shell), {env['BENCH_RUNS']} runs after 3 warm-ups, the file put back "
    "before each run outside the timing; median in ms with the interquartile range, and the fastest "
    "run, which other processes on the machine disturb least. "
    "Each command is also run once plainly and the file checked: size, and allocated space "
    "below the size for a hole or at least the size when reserved (column *result*).")
say("")

# Main table.
say("## The same resize, one process each")
say("")
say("| work | program | instructions | ratio | system calls | peak RSS (KiB) | wall median (ms) | fastest (ms) | result |")
say("|---|---|---:|---:|---:|---:|---:|---:|---|")
for work, other, title, vcall, ocall in WORKS:
    v, o = find("main", work, "varnelt"), find("main", work, other)
    for row, call, r in ((v, vcall, ratio(num(v["ir"]), num(o["ir"]))), (o, ocall, "")):
        say(f"| {title} | {call} | {fmt(num(row['ir']))} | {r} | "
            f"{fmt(num(row['syscalls']))} | {fmt(num(row['rss']))} | {ms(row)} | {row['check']} |")
say("")
say("*ratio*: varnelt's instructions over the other program's for the same work.")
say("")

utf8 = env.get("BENCH_UTF8")
if utf8:
    say(f"### The same, in the machine's default locale (`LC_ALL={utf8}`)")
    say("")
    say("Here truncate and fallocate load the locale's files; varnelt does not read the locale.")
    say("")
    say("| work | varnelt instructions | other's instructions | ratio | varnelt system calls | other's system calls |")
    say("|---|---:|---:|---:|---:|---:|")
    for work, other, title, _, _ in WORKS:
        v, o = find("main", work, "varnelt", utf8), find("main", work, other, utf8)
        say(f"| {title} ({other}) | {fmt(num(v['ir']))} | {fmt(num(o['ir']))} | "
            f"{ratio(num(v['ir']), num(o['ir']))} | {fmt(num(v['syscalls']))} | {fmt(num(o['syscalls']))} |")
    say("")

# Scaling.
say("## Scaling")
say("")
say("| extension | size | program | instructions | system calls | wall median (ms) | fastest (ms) | result |")
say("|---|---|---|---:|---:|---:|---:|---|")
for section, work, other, title in (("sparse-scale", "hole", "truncate", "sparse"),
                                    ("reserved-scale", "reserved", "fallocate", "reserved")):
    sizes = sorted({int(r["size"]) for r in rows if r["section"] == section})
    for size in sizes:
        for program in ("varnelt", other):
            row = find(section, work, program, size=size)
            if row:
                say(f"| {title} | {size_text(size)} | {program} | {fmt(num(row['ir']))} | "
                    f"{fmt(num(row['syscalls']))} | {ms(row)} | {row['check']} |")
say("")

# Verdicts.
def verdict(passed):
    return "**PASS**" if passed else "**FAIL**"

def per_work(metric, locale):
    """Whether varnelt meets the target in every work, and the figures."""
    parts, ok = [], True
    for work, other, _, _, _ in WORKS:
        v, o = find("main", work, "varnelt", locale), find("main", work, other, locale)
        a, b = (num(v[metric]), num(o[metric])) if v and o else (None, None)
        if a is None or b is None:
            ok = False
            parts.append(f"{work} not measured")
        elif metric == "ir":
            ok = ok and a <= b / 2
            parts.append(f"{work} {a / b:.2f}× of {other}")
        else:
            ok = ok and a <= b
            parts.append(f"{work} {a} vs {b} ({other})")
    return ok, ", ".join(parts)

say("## Verdicts")
say("")
for metric, target in (("ir", "Instructions at most half of the other tool's for the same resize"),
                       ("syscalls", "No more system calls than the other tool")):
    ok, text = per_work(metric, "C")
    line = f"- {target}: {verdict(ok)} — {text}"
    if utf8:
        ok, text = per_work(metric, utf8)
        line += f". In {utf8}: {'met' if ok else 'missed'} ({text})"
    say(line + ".")
costs = [(w, o, find("main", w, "varnelt"), find("hardening", w, "plain"), find("main", w, o)) for w, o, *_ in WORKS]
if all(plain for _, _, _, plain, _ in costs):
    text = ", ".join(f"{w} {num(p['ir']):,} → {num(v['ir']):,} ({num(v['ir']) - num(p['ir']):+,}, "
                     f"{(num(v['ir']) / num(p['ir']) - 1) * 100:+.1f} %; {num(v['ir']) / num(o['ir']):.2f}× of {other})"
                     for w, other, v, p, o in costs)
    ok = all(num(v["ir"]) < num(o["ir"]) / 2 for _, _, v, _, o in costs)
    say(f"- What the hardening costs (stack protector, _FORTIFY_SOURCE, stack-clash and control-flow protection, relro and "
        f"bind-now against the same build without them), instructions without → with, hardened still under 0.5× of the other tool: {verdict(ok)} — {text}.")
sizes = sorted(int(r["size"]) for r in rows if r["section"] == "sparse-scale" and r["program"] == "varnelt")
if len(sizes) >= 2:
    small, large = (find("sparse-scale", "hole", "varnelt", size=s) for s in (sizes[0], sizes[-1]))
    ir_s, ir_l = num(small["ir"]), num(large["ir"])
    sc_s, sc_l = num(small["syscalls"]), num(large["syscalls"])
    w_s, w_l = wall(small) or (0,) * 4, wall(large) or (0,) * 4
    ir_change = abs(ir_l - ir_s) / ir_s
    # Other processes on the machine can slow a whole series of runs: the fastest run of each
    # size is the fair measure of what the resize itself costs; the medians are shown beside it.
    w_ratio = w_l[3] / w_s[3] if w_s[3] else 0
    ok = ir_change < 0.02 and sc_s == sc_l and 0.8 <= w_ratio <= 1.25 and small["check"] == large["check"] == "ok"
    outcome = verdict(ok) if sizes[-1] == 1 << 50 else f"**NOT MEASURED at 1 PiB** (could not be made here): {verdict(ok)}"
    say(f"- A sparse extension costs the same at {size_text(sizes[-1])} as at {size_text(sizes[0])}: "
        f"{outcome} — instructions {ir_s:,} → {ir_l:,} ({ir_l - ir_s:+,}, {ir_change * 100:.2f} % apart), "
        f"system calls {sc_s} → {sc_l}, fastest run {w_s[3]:.3f} → {w_l[3]:.3f} ms ({w_ratio:.2f}×), "
        f"median {w_s[0]:.3f} → {w_l[0]:.3f} ms. "
        "Same means: instructions less than 2 % apart (from 4 GiB on the position is printed with 16 digits instead of 8), "
        "equal system calls, fastest runs within 0.8–1.25× of each other.")
say("")

# Why: where the instructions go.
def by_object(path):
    """Self cost per ELF object from a callgrind output file."""
    names, cost, current, skip = {}, collections.Counter(), "?", False
    for line in open(path):
        if line.startswith(("ob=", "cob=")):
            # "(n) name" defines a number for an object, "(n)" alone refers to it; cob= defines too.
            m = re.match(r"c?ob=(?:\((\d+)\))?\s*(.*)", line.rstrip("\n"))
            key, name = m.groups()
            if key and name:
                names[key] = name
            if line.startswith("ob="):
                current = names.get(key, name) if key else name
        elif line.startswith("calls="):
            skip = True  # the next cost line is the callee's inclusive cost
        elif line[:1].isdigit() or line[:1] in "+-*":
            if skip:
                skip = False
                continue
            fields = line.split()
            if len(fields) > 1:
                cost[current] += int(fields[1])
    loader = sum(v for name, v in cost.items() if os.path.basename(name).startswith("ld-linux"))
    return sum(cost.values()), loader

BREAKDOWN = [("varnelt", find("main", "hole", "varnelt")), ("truncate", find("main", "hole", "truncate")),
             ("/usr/bin/true", find("floor", "start-up", "true"))]
say("## Where the instructions go")
say("")
say("Self cost per object (callgrind), extending to 1 GiB with a hole, C locale. *dynamic loader*: "
    "`ld-linux-x86-64.so.2` mapping and relocating the C library and the program before `main`; "
    "*the rest*: libc's own start-up, the program and (under valgrind, dynamic processes only) valgrind's "
    "small preload library. A statically linked varnelt has no loader: its start-up, relocating itself "
    "included, is in *the rest*. `/usr/bin/true` shows what any dynamically linked program pays here "
    "before doing anything.")
say("")
say("| process | instructions | dynamic loader | the rest | system calls |")
say("|---|---:|---:|---:|---:|")
for label, row in BREAKDOWN:
    if row and os.path.exists(f"{raw}/{row['id']}.cg"):
        total, loader = by_object(f"{raw}/{row['id']}.cg")
        share = lambda v: f"{v:,} ({100 * v / total:.0f} %)" if v else "–"
        say(f"| {label} | {total:,} | {share(loader)} | {share(total - loader)} | {fmt(num(row['syscalls']))} |")
say("")

def syscalls_by_name(row):
    counts = collections.Counter()
    path = f"{raw}/{row['id']}.st"
    if os.path.exists(path):
        for line in open(path):
            fields = line.split()
            if len(fields) >= 5 and fields[3].isdigit() and fields[-1] != "total":
                counts[fields[-1]] += int(fields[3])
    return counts

counted = [(label, syscalls_by_name(row)) for label, row in BREAKDOWN if row]
names = sorted({name for _, c in counted for name in c}, key=lambda n: (-counted[0][1][n], n))
say("System calls by name for the same work (`strace -c -f`):")
say("")
say("| system call | " + " | ".join(label for label, _ in counted) + " |")
say("|---|" + "---:|" * len(counted))
for name in names:
    say(f"| {name} | " + " | ".join(str(c[name]) if c[name] else "" for _, c in counted) + " |")
say("| **total** | " + " | ".join(f"**{sum(c.values())}**" for _, c in counted) + " |")
say("")

say("## Notes")
say("")
for line in open(f"{raw}/notes"):
    if line.strip():
        say(f"- {line.strip()}")
say("- util-linux `fallocate` calls `fsync` after reserving; varnelt does not; fallocate's wall time includes that sync.")
say("- varnelt's system calls, each paid for by safety: a cut makes 29 and a reservation 32 (the budget). "
    "Every run: `fstatfs` of the open file, so that the volume's figures and the pseudo-file rule come from "
    "the file really opened, not from a name that may have led elsewhere a moment before; an "
    "`rt_sigpending` right before the first change, so that a request to end that came before it cancels "
    "the run with the file untouched; and a second `rt_sigprocmask` after the size step, letting in every "
    "signal that would end the process (Ctrl+C, `SIGTERM` and the rest), which the start-up's one call "
    "holds back so that they cannot cut a step short. No console window is asked for: the Linux build "
    "never waits for a key, so the `ioctl TCGETS` that asked whether input is a terminal is gone. "
    "A reservation also: "
    "`ioctl FS_IOC_FIEMAP` before it, so that a failed one gives back only its own blocks, and a second "
    "`fcntl F_GETLEASE` after it, so that an opener that waited out the lease during a long reservation "
    "does not find the size changed under it.")
say(f"- Load average (1 min) when the measurements started: {env['BENCH_LOAD_START']}, when they ended: "
    f"{env['BENCH_LOAD_END']}. Wall times on a busy machine spread; instructions and system calls do not.")
print("\n".join(out))

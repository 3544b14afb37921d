#!/usr/bin/env python3
"""Speed benchmarks of orlix-cli against the simulated unit, each run several times; prints
one table of medians with their bounds and ratios, then where the time goes.

    python3 bench/speed/speedbench.py --build BUILD_DIR [--runs 3] [--only LIST] [--nice N]
                                      [--ports 4] [--realtime] [--json FILE]

LIST: any of program (both images), program64k, program512k, search, load, pty (default: all). BUILD_DIR/bin must hold orlix-cli,
orlix-sim, orlix-bench-load and orlix-bench-pty.
"""

import argparse
import json
import os
import re
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import make_images  # noqa: E402
import simlog  # noqa: E402

PACE_CAP_MS = 300
SEARCH_PASSES = 5
SEARCH_ATTEMPT = 0.800  # the read time-out of one sync attempt
PROGRAM_TIMEOUT = 600
SEARCH_TIMEOUT = 120
TIME = "/usr/bin/time"


class BenchError(Exception):
    pass


def median(values):
    return statistics.median(values) if values else float("nan")


class Tools:
    def __init__(self, build, nice=0, realtime=False):
        self.bin = os.path.join(build, "bin")
        self.build = build
        # Real-time scheduling stands in for a machine with a free core: neither program spins,
        # so it takes nothing from the others, it only runs them when their bytes are due.
        if realtime:
            self.prefix = ["chrt", "--fifo", "10"]
        else:
            self.prefix = ["nice", "-n", str(nice)] if nice else []

    def path(self, name):
        p = os.path.join(self.bin, name)
        if not os.access(p, os.X_OK):
            raise BenchError("missing %s: build it first" % p)
        return p


class Sim:
    """orlix-sim as a child: started, ready, stopped with its resource usage."""

    def __init__(self, tools, workdir, chip, decoys=0, dump=True):
        self.link = os.path.join(workdir, "unit")
        self.log = os.path.join(workdir, "sim.log")
        self.dump = os.path.join(workdir, "flash.bin") if dump else None
        self.decoys = [os.path.join(workdir, "silent%d" % i) for i in range(1, decoys + 1)]
        args = tools.prefix + [tools.path("orlix-sim"), "--link", self.link, "--chip", chip, "--pace",
                               "--pace-cap-ms", str(PACE_CAP_MS), "--erase-ms", "0", "--blank-ms", "0",
                               "--log", self.log, "--quiet"]
        if self.dump:
            args += ["--dump", self.dump]
        for d in self.decoys:
            args += ["--decoy", d]
        self.stderr = open(os.path.join(workdir, "sim.err"), "wb")
        self.t_start = time.monotonic()
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=self.stderr)
        ready, _, _ = select.select([self.proc.stdout], [], [], 10)
        line = self.proc.stdout.readline().decode(errors="replace") if ready else ""
        if "ready" not in line:
            self.stop()
            raise BenchError("orlix-sim did not start: %r" % line)

    def stop(self):
        """SIGTERM, then its CPU seconds and wall seconds."""
        self.proc.send_signal(signal.SIGTERM)
        _, status, usage = os.wait4(self.proc.pid, 0)
        self.proc.returncode = os.waitstatus_to_exitcode(status)
        wall = time.monotonic() - self.t_start
        self.proc.stdout.close()
        self.stderr.close()
        return usage.ru_utime + usage.ru_stime, wall


class CliRun:
    """orlix-cli as a child with its output lines timed; answer(line) gives what to type:
    a string, CLOSE to end the input, or None."""

    CLOSE = object()

    def __init__(self, tools, args, answer, timeout):
        env = dict(os.environ, LC_ALL="C", LANG="C")
        self.lines = []
        # The peak resident size comes from /usr/bin/time: a child forked from this Python
        # process would report Python's own size as its peak (the kernel keeps the larger
        # peak across exec). The CPU time comes from wait4, which includes time's child.
        rss_fd, rss_file = tempfile.mkstemp(prefix="orlix-rss.")
        os.close(rss_fd)
        timer_cmd = [TIME, "-f", "%M", "-o", rss_file] if os.access(TIME, os.X_OK) else []
        t0 = time.monotonic()
        proc = subprocess.Popen(tools.prefix + timer_cmd + [tools.path("orlix-cli")] + args, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, start_new_session=True)
        timer = threading.Timer(timeout, lambda: os.killpg(proc.pid, signal.SIGKILL))
        timer.start()
        try:
            for raw in proc.stdout:
                t = time.monotonic() - t0
                line = raw.decode(errors="replace").rstrip("\r\n")
                self.lines.append((t, line))
                reply = answer(t, line)
                if reply is CliRun.CLOSE:
                    if not proc.stdin.closed:
                        proc.stdin.close()
                elif reply is not None and not proc.stdin.closed:
                    proc.stdin.write(reply.encode())
                    proc.stdin.flush()
            _, status, usage = os.wait4(proc.pid, 0)
        finally:
            timer.cancel()
        self.wall = time.monotonic() - t0
        proc.returncode = self.status = os.waitstatus_to_exitcode(status)
        if not proc.stdin.closed:
            proc.stdin.close()
        proc.stdout.close()
        self.cpu = usage.ru_utime + usage.ru_stime
        self.max_rss_kib = read_rss(rss_file) if timer_cmd else None
        os.unlink(rss_file)

    def transcript(self):
        return "\n".join("%9.3f %s" % (t, line) for t, line in self.lines)


def read_rss(path):
    """The last line /usr/bin/time -f %M wrote (a killed child adds a line before it)."""
    with open(path) as f:
        lines = [x.strip() for x in f if x.strip()]
    return int(lines[-1]) if lines and lines[-1].isdigit() else None


def is_enter_prompt(line):
    return line.startswith("> [") and "Press Enter" in line


def program_once(tools, image, chip, blocks, workdir):
    sim = Sim(tools, workdir, chip)
    try:
        def answer(_t, line):
            if is_enter_prompt(line):
                return "\n"  # Continue on the connect page, Close at the end
            if line.startswith("> "):
                return CliRun.CLOSE  # a question: the run failed
            return None
        cli = CliRun(tools, ["-a", "-f:" + image, "-p:" + sim.link], answer, PROGRAM_TIMEOUT)
    finally:
        sim_cpu, sim_wall = sim.stop()
    if cli.status != 0:
        raise BenchError("orlix-cli ended with %d:\n%s" % (cli.status, cli.transcript()[-3000:]))
    chunks = simlog.read_log(sim.log)
    run = simlog.whole_run(chunks, PACE_CAP_MS / 1000.0)
    phase = run.programming
    if phase.blocks != blocks:
        raise BenchError("%d blocks written, expected %d" % (phase.blocks, blocks))
    low, expected = make_images.full_image(chip)
    with open(sim.dump, "rb") as f:
        if f.read() != expected:
            raise BenchError("the unit's flash differs from the image")
    return {
        "program_s": phase.measured, "program_bound_s": phase.bound, "program_ratio": phase.ratio,
        "block_ms": 1000 * phase.cycle_median, "block_wire_ms": 1000 * phase.bound / phase.blocks,
        "block_ratio": phase.block_ratio, "blocks": phase.blocks,
        "block_p10_ms": 1000 * phase.cycle_p10, "block_p90_ms": 1000 * phase.cycle_p90,
        "segments": [vars(s) for s in phase.segments],
        "whole_s": run.measured, "whole_bound_s": run.bound, "whole_credit_s": run.credit,
        "whole_model_bound_s": run.model_bound, "whole_ratio": run.measured / run.model_bound,
        "steps": [vars(s) for s in run.steps],
        "cli_wall_s": cli.wall, "cli_cpu_s": cli.cpu, "cli_cpu_share": cli.cpu / cli.wall,
        "cli_max_rss_kib": cli.max_rss_kib, "sim_cpu_s": sim_cpu, "sim_cpu_share": sim_cpu / sim_wall,
    }


def search_once(tools, firmware, ports, workdir):
    sim = Sim(tools, workdir, "MB90F345", decoys=ports, dump=False)
    marks = {}
    try:
        def answer(t, line):
            if "Searching for the device" in line and "start" not in marks:
                marks["start"] = t
            elif "unit was not found" in line:
                marks["end"] = t
            elif is_enter_prompt(line):
                # Continue on the connect page; on the not-found page end the input instead,
                # which closes the wizard.
                return CliRun.CLOSE if "end" in marks else "\n"
            return None
        cli = CliRun(tools, ["-a", "-f:" + firmware] + ["-p:" + d for d in sim.decoys], answer, SEARCH_TIMEOUT)
    finally:
        sim.stop()
    if "start" not in marks or "end" not in marks:
        raise BenchError("the search did not end on the not-found page:\n" + cli.transcript()[-3000:])
    # Time between the sync bytes of consecutive attempts, as the simulator saw them.
    syncs = []
    with open(sim.log) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 4 and parts[1].startswith("decoy") and parts[3] == "18":
                syncs.append(float(parts[0]))
    if len(syncs) != SEARCH_PASSES * ports:
        raise BenchError("%d sync attempts on the silent ports, expected %d" % (len(syncs), SEARCH_PASSES * ports))
    gaps = [b - a for a, b in zip(syncs, syncs[1:])]
    bound = SEARCH_PASSES * ports * SEARCH_ATTEMPT
    measured = marks["end"] - marks["start"]
    return {"search_s": measured, "search_bound_s": bound, "search_ratio": measured / bound,
            "attempt_median_s": median(gaps), "attempt_max_s": max(gaps) if gaps else float("nan"),
            "cli_cpu_share": cli.cpu / cli.wall}


LOAD_LINE = re.compile(r"^(orlix load|srec_cat)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)")


def load_once(tools):
    out = subprocess.run(["bash", os.path.join(ROOT, "bench", "compare-load.sh"), tools.build],
                         capture_output=True, text=True)
    if out.returncode != 0:
        raise BenchError("compare-load.sh failed:\n" + out.stdout + out.stderr)
    rows = {}
    for line in out.stdout.splitlines():
        m = LOAD_LINE.match(line)
        if m:
            rows[m.group(1)] = [float(v) for v in m.groups()[1:]]
    if set(rows) != {"orlix load", "srec_cat"}:
        raise BenchError("unexpected output of compare-load.sh:\n" + out.stdout)
    ours, srec = rows["orlix load"], rows["srec_cat"]
    return {"load_ms": ours[0], "load_mb_s": ours[1], "load_cpu_ms": ours[2], "srec_ms": srec[0],
            "srec_cpu_ms": srec[2], "load_speedup": srec[0] / ours[0], "load_cpu_speedup": srec[2] / ours[2]}


def pty_once(tools):
    out = subprocess.run(tools.prefix + [tools.path("orlix-bench-pty")], capture_output=True, text=True)
    if out.returncode != 0:
        raise BenchError("orlix-bench-pty failed: " + out.stderr)
    result = {}
    for line in out.stdout.splitlines():
        m = re.match(r"^(.*?)\s+median\s+([\d.]+)\s+p90\s+([\d.]+)", line)
        if m:
            key = m.group(1).strip().replace(" ", "_").replace("-", "_")
            result[key + "_us"] = float(m.group(2))
    return result


def baseline_rss(tools):
    """Peak resident size of orlix-cli --version: the program without an image or a port."""
    if not os.access(TIME, os.X_OK):
        return None
    out = subprocess.run([TIME, "-f", "%M", tools.path("orlix-cli"), "--version"], capture_output=True, text=True)
    return int(out.stderr.strip().splitlines()[-1])


def repeat(name, runs, once):
    results = []
    for i in range(runs):
        t = time.monotonic()
        results.append(once())
        print("  %s run %d/%d: %.1f s" % (name, i + 1, runs, time.monotonic() - t), file=sys.stderr, flush=True)
    return results


def med(results, key):
    return median([r[key] for r in results])


def median_run(results, key):
    """The run whose key is the median (the lower one of an even count)."""
    ordered = sorted(results, key=lambda r: r[key])
    return ordered[(len(ordered) - 1) // 2]


def table(rows):
    out = ["%-44s %12s %12s %8s  %s" % ("benchmark (median of runs)", "measured", "bound", "ratio", "target")]
    for name, measured, bound, ratio, target in rows:
        out.append("%-44s %12s %12s %8s  %s" % (name, measured, bound, ratio, target))
    return "\n".join(out)


def fmt(value, pattern="%.3f"):
    return "-" if value is None else pattern % value


def report(res, args):
    rows = []
    lines = []
    for key, label in (("program_512k", "512 KiB MB90F345"), ("program_64k", "64 KiB MB90F362")):
        if key not in res:
            continue
        r = res[key]
        rows.append(("programming phase %s, s" % label, fmt(med(r, "program_s")), fmt(r[0]["program_bound_s"]),
                     fmt(med(r, "program_ratio")), "<= 1.05"))
        rows.append(("  median block %s, ms" % label, fmt(med(r, "block_ms")), fmt(r[0]["block_wire_ms"]),
                     fmt(med(r, "block_ratio")), "(the same without the busy machine's tail)"))
        rows.append(("whole run %s, s (*)" % label, fmt(med(r, "whole_s")), fmt(med(r, "whole_model_bound_s")),
                     fmt(med(r, "whole_ratio")), "-"))
        rows.append(("orlix-cli CPU share %s, %%" % label, fmt(100 * med(r, "cli_cpu_share"), "%.2f"), "-", "-",
                     "< 2 %"))
    if "program_512k" in res:
        r = res["program_512k"]
        rss = [x["cli_max_rss_kib"] for x in r]
        rows.append(("orlix-cli peak RSS 512 KiB run, KiB", fmt(median(rss) if None not in rss else None, "%.0f"),
                     fmt(res.get("baseline_rss_kib"), "%.0f"), "-", "bound: --version alone"))
    if "search" in res:
        r = res["search"]
        rows.append(("search %d silent ports x %d passes, s" % (args.ports, SEARCH_PASSES), fmt(med(r, "search_s")),
                     fmt(r[0]["search_bound_s"]), fmt(med(r, "search_ratio")), "<= 1.02"))
    if "load" in res:
        r = res["load"]
        rows.append(("S-record load, 512 KiB image, ms", fmt(med(r, "load_ms"), "%.2f"),
                     fmt(med(r, "srec_ms"), "%.2f"), fmt(med(r, "load_speedup"), "%.1fx"), ">= 10x faster than srec_cat"))
        rows.append(("S-record load 512 KiB, CPU ms", fmt(med(r, "load_cpu_ms"), "%.2f"),
                     fmt(med(r, "srec_cpu_ms"), "%.2f"), fmt(med(r, "load_cpu_speedup"), "%.1fx"), "(srec_cat: whole process)"))
    if "pty" in res:
        r = res["pty"]
        for key, label in (("pty_one_way_out_us", "pty one-way, program -> unit"),
                           ("pty_one_way_back_us", "pty one-way, unit -> program"),
                           ("pty_round_trip_us", "pty round trip, raw calls"),
                           ("port_round_trip_us", "pty round trip through CSerialPort")):
            rows.append((label + ", us", fmt(med(r, key), "%.1f"), "-", "-", "info"))
    lines.append(table(rows))
    if any(k.startswith("program") for k in res):
        lines.append("(*) bound: wire time of every byte at its speed plus the fixed waits (2000 ms automatic pause, "
                     "100 ms after the switch, 1000 ms before the first erase poll), less the wire time the "
                     "simulator's %d ms pacing cap takes off the 918-byte kernel frame." % PACE_CAP_MS)

    for key in ("program_512k", "program_64k"):
        if key not in res:
            continue
        r = median_run(res[key], "program_ratio")
        lines.append("")
        lines.append("%s, median run: programming %.3f s for %.3f s of wire time (ratio %.4f)"
                     % (key, r["program_s"], r["program_bound_s"], r["program_ratio"]))
        lines.append("  %-46s %10s %10s %10s %12s" % ("per block", "total s", "wire s", "excess s", "median ms"))
        for s in r["segments"]:
            lines.append("  %-46s %10.3f %10.3f %10.3f %12.3f" % (s["name"], s["measured"], s["wire"],
                                                                 s["measured"] - s["wire"], 1000 * s["median"]))
        tail = r["program_s"] - r["block_ms"] / 1000 * r["blocks"]
        lines.append("  block cycle (command to next command) p10 %.3f ms, median %.3f ms, p90 %.3f ms; wire %.3f ms"
                     % (r["block_p10_ms"], r["block_ms"], r["block_p90_ms"], r["block_wire_ms"]))
        lines.append("  blocks slower than the median block add %.3f s (%.1f %% of the wire time): the busy machine"
                     % (tail, 100 * tail / r["program_bound_s"]))
        lines.append("  whole run %.3f s; bound %.3f s, pacing-cap credit %.3f s (ratio against the plain bound %.4f)"
                     % (r["whole_s"], r["whole_bound_s"], r["whole_credit_s"], r["whole_s"] / r["whole_bound_s"]))
        for s in r["steps"]:
            lines.append("  %-52s %9.3f s  bound %9.3f s%s" % (s["name"], s["measured"], s["bound"] - s["credit"],
                                                             "  (cap credit %.3f s)" % s["credit"] if s["credit"] else ""))
        lines.append("  orlix-sim CPU share %.2f %%" % (100 * r["sim_cpu_share"]))
    if "search" in res:
        r = res["search"]
        lines.append("")
        lines.append("search: time between consecutive sync attempts median %.1f ms (read time-out 800 ms), "
                     "longest %.1f ms" % (1000 * med(r, "attempt_median_s"), 1000 * max(x["attempt_max_s"] for x in r)))
    lines.append("")
    lines.append("runs: %d each; machine: %d cores, load average %.1f at the end; scheduling: %s"
                 % (args.runs, os.cpu_count(), os.getloadavg()[0],
                    "real-time (chrt --fifo 10)" if args.realtime else "nice %d" % args.nice))
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", default="program,search,load,pty")
    parser.add_argument("--ports", type=int, default=4)
    parser.add_argument("--nice", type=int, default=0)
    parser.add_argument("--realtime", action="store_true",
                        help="run the simulator and the program with real-time priority (root)")
    parser.add_argument("--json")
    args = parser.parse_args(argv)
    tools = Tools(os.path.abspath(args.build), args.nice, args.realtime)
    wanted = set(args.only.split(","))
    res = {}
    with tempfile.TemporaryDirectory(prefix="orlix-speed.") as work:
        images = {}
        for chip in ("MB90F345", "MB90F362"):
            path, _, _, blocks = make_images.write_image(chip, work)
            images[chip] = (path, blocks)
        counter = iter(range(1000))

        def fresh():
            d = os.path.join(work, "run%d" % next(counter))
            os.mkdir(d)
            return d

        try:
            if "pty" in wanted:
                res["pty"] = repeat("pty", args.runs, lambda: pty_once(tools))
            for key, chip in (("program_64k", "MB90F362"), ("program_512k", "MB90F345")):
                if "program" in wanted or key.replace("_", "") in wanted:
                    path, blocks = images[chip]
                    res[key] = repeat(key, args.runs, lambda: program_once(tools, path, chip, blocks, fresh()))
            if "program_512k" in res:
                base = [baseline_rss(tools) for _ in range(3)]
                res["baseline_rss_kib"] = median(base) if None not in base else None
            if "search" in wanted:
                res["search"] = repeat("search", args.runs,
                                       lambda: search_once(tools, images["MB90F362"][0], args.ports, fresh()))
            if "load" in wanted:
                res["load"] = repeat("load", args.runs, lambda: load_once(tools))
        except BenchError as e:
            print("benchmark failed: %s" % e, file=sys.stderr)
            return 1
    if args.json:
        with open(args.json, "w") as f:
            json.dump(res, f, indent=1)
    print(report(res, args))
    return 0


if __name__ == "__main__":
    sys.exit(main())

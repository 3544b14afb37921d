#!/usr/bin/env python3
"""Benchmarks of several units at once (-g) and of the read-back (-v), against paced
orlix-sim units. Not a test: it prints figures, bounds and ratios.

    python3 bench/speed/multibench.py --build DIR [--units 4] [--decoys 8] [--only group,search]

group:  N paced units with the full 512 KiB MB90F345 image, `orlix-cli -a -g -v -l:FILE`, then
        one unit alone with the same options, in the same benchmark. Reports the whole runs'
        wall times and their ratio (target <= 1.10), orlix-cli's CPU share of the -g run
        (target < 5 %), and each unit's verification phase (from the record) against its wire
        time: per block the 4-byte command, 2 status bytes and the 515-byte reply at 10 bits a
        byte and 115200 bit/s (target <= 1.05).
search: `-g` over D silent ports and one unit, against the search over one silent port alone
        (5 passes of 800 ms); from the "Searching" line to the next page (target <= 1.10).
"""

import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_images  # noqa: E402

BAUD2 = 115200
READ_BLOCK_BYTES = 4 + 2 + 515


def start_sim(build, folder, name, extra):
    link = os.path.join(folder, name)
    proc = subprocess.Popen([os.path.join(build, "bin", "orlix-sim"), "--link", link, "--quiet"] + extra,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    proc.stdout.readline()  # the ready line
    return proc, link


def stop(procs):
    for proc in procs:
        proc.terminate()
    for proc in procs:
        proc.wait(timeout=10)


def run_cli(build, args):
    """orlix-cli with Enter typed at the prompts; wall seconds, CPU seconds and output."""
    env = dict(os.environ, LC_ALL="C.UTF-8", LC_MESSAGES="", LANG="")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.run([os.path.join(build, "bin", "orlix-cli")] + args, input="\n" * 4, text=True,
                          capture_output=True, env=env, timeout=900)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, proc.stdout, proc.returncode


def timed_lines(build, args):
    """Runs orlix-cli and stamps each output line as it arrives."""
    env = dict(os.environ, LC_ALL="C.UTF-8", LC_MESSAGES="", LANG="")
    proc = subprocess.Popen([os.path.join(build, "bin", "orlix-cli")] + args, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True, env=env, bufsize=1)
    proc.stdin.write("\n")
    proc.stdin.flush()
    lines = []
    for line in proc.stdout:
        lines.append((time.monotonic(), line.rstrip("\n")))
        if "found" in line and "Searching" not in line:
            break
    proc.kill()
    proc.wait()
    return lines


def search_seconds(lines):
    start = next(t for t, line in lines if line.startswith("Searching for the device"))
    end = next(t for t, line in lines if t > start and ("found" in line))
    return end - start


def bench_group(build, work, units):
    image, _, _, blocks = make_images.write_image("MB90F345", work)
    sim_args = ["--pace", "--erase-ms", "0", "--blank-ms", "0"]
    rows = {}
    for label, count, group in (("group", units, ["-g"]), ("one", 1, [])):
        folder = tempfile.mkdtemp(dir=work)
        sims = [start_sim(build, folder, "unit%d" % i, sim_args) for i in range(count)]
        record = os.path.join(folder, "record.jsonl")
        args = group + ["-a", "-v", "-f:" + image, "-l:" + record] + ["-p:" + link for _, link in sims]
        wall, cpu, out, status = run_cli(build, args)
        stop([proc for proc, _ in sims])
        with open(record) as lines:
            records = [json.loads(line) for line in lines]
        rows[label] = (wall, cpu, status, records)
    bound_verify = blocks * READ_BLOCK_BYTES * 10 / BAUD2
    wall_g, cpu_g, status_g, rec_g = rows["group"]
    wall_1, _, status_1, rec_1 = rows["one"]
    print("group: %d units, exit %d; one unit, exit %d" % (units, status_g, status_1))
    print("  whole run -g: %.2f s; one unit: %.2f s; ratio %.3f (target <= 1.10)" % (wall_g, wall_1, wall_g / wall_1))
    print("  orlix-cli CPU in the -g run: %.2f s in %.2f s = %.2f %% (target < 5 %%)" % (cpu_g, wall_g, 100 * cpu_g / wall_g))
    for rec in rec_g + rec_1:
        verify = rec["phase_seconds"].get("verify", 0.0)
        print("  verify %s: %.2f s against %.2f s of wire time: %.3f (target <= 1.05); %s"
              % (rec["port"]["path"], verify, bound_verify, verify / bound_verify, rec["result"]["outcome"]))


def bench_search(build, work, decoys):
    folder = tempfile.mkdtemp(dir=work)
    decoy_args = []
    for i in range(decoys):
        decoy_args += ["--decoy", os.path.join(folder, "decoy%d" % i)]
    unit, link = start_sim(build, folder, "unit", decoy_args)
    silent, silent_link = start_sim(build, folder, "silent", ["--fault", "no-sync"])
    try:
        ports = ["-p:" + os.path.join(folder, "decoy%d" % i) for i in range(decoys)] + ["-p:" + link]
        g = search_seconds(timed_lines(build, ["-g", "-a", "-f:" + os.path.join(work, "fw.mhx")] + ports))
        one = search_seconds(timed_lines(build, ["-a", "-f:" + os.path.join(work, "fw.mhx"), "-p:" + silent_link]))
    finally:
        stop([unit, silent])
    print("search: -g over %d silent ports and a unit: %.3f s; one silent port: %.3f s; ratio %.3f (target <= 1.10)"
          % (decoys, g, one, g / one))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--units", type=int, default=4)
    parser.add_argument("--decoys", type=int, default=8)
    parser.add_argument("--only", default="search,group")
    opts = parser.parse_args()
    build = os.path.abspath(opts.build)
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples", "analyzer-mb90f345.mhx")
        with open(source) as src, open(os.path.join(work, "fw.mhx"), "w") as dst:
            dst.write(src.read())
        print("load average before: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
        if "search" in opts.only:
            bench_search(build, work, opts.decoys)
        if "group" in opts.only:
            bench_group(build, work, opts.units)
        print("load average after: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))


if __name__ == "__main__":
    main()

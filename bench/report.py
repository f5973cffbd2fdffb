#!/usr/bin/env python3
"""Turns quib_bench's JSON output into the Markdown tables of
docs/performance.md: every figure beside its baseline from the same run.

    bench/report.py build/bench/results.json
"""
import json
import platform
import subprocess
import sys


def cpu_model():
    try:
        for line in open("/proc/cpuinfo", encoding="utf-8"):
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def main(path):
    data = json.load(open(path, encoding="utf-8"))
    context = data["context"]
    runs = {}
    for run in data["benchmarks"]:
        if run.get("aggregate_name", "median") != "median" or run.get("error_occurred"):
            continue
        runs[run["run_name"]] = run

    def ns(run):
        # CPU time: on a shared machine it is steadier than the wall clock,
        # and both loops spend it in the same system calls.
        return run["cpu_time"] * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run["time_unit"]]

    kernel = subprocess.run(["uname", "-r"], capture_output=True, text=True).stdout.strip()
    print("Machine: %s, %d cores, Linux %s; %s; build type %s; %s." % (
        cpu_model(), context.get("num_cpus", 0), kernel, context.get("compiler", "?"),
        context.get("quib_build_type", "?"), context.get("date", "")))
    print()
    print("| Tick over N idle connections | tick (PollConnections) | bare recv loop | ratio |")
    print("|---|---|---|---|")
    for n in (10, 100, 1000):
        tick, bare = runs.get("Tick/%d" % n), runs.get("BareReceive/%d" % n)
        if tick and bare:
            print("| N = %d | %.0f ns (%.0f ns per connection) | %.0f ns | %.2fx |" % (
                n, ns(tick), ns(tick) / n, ns(bare), ns(tick) / ns(bare)))
    print()
    print("| Map packet (version 5) | HandlePacket + ConsumePacket | bare sends of its replies "
          "| ratio | operator new per packet |")
    print("|---|---|---|---|---|")
    names = sorted(n.split("/", 1)[1] for n in runs if n.startswith("Handle/"))
    for name in sorted(names, key=lambda name: name != "mix"):
        handle, bare = runs.get("Handle/" + name), runs.get("BareSend/" + name)
        if handle and bare:
            print("| %s | %.0f ns | %.0f ns | %.2fx | %.3f |" % (
                name, ns(handle), ns(bare), ns(handle) / ns(bare), handle["allocs_per_packet"]))
    print()
    print("| Connections | record (sizeof) | heap per connection | table capacity "
          "| record / 2048-byte buffer | heap per connection / record |")
    print("|---|---|---|---|---|---|")
    for n in (10, 100, 1000):
        run = runs.get("RecordMemory/%d/iterations:1" % n)
        if run:
            print("| %d | %d B | %.0f B | %d | %.3f | %.3f |" % (
                n, run["record_bytes"], run["heap_bytes_per_connection"], run["table_capacity"],
                run["record_bytes"] / run["buffer_bytes"],
                run["heap_bytes_per_connection"] / run["record_bytes"]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/bench/results.json")

#!/usr/bin/env python3
"""Turns quib_bench's JSON output into the Markdown tables of
docs/performance.md: every figure beside its baseline from the same run
(medians of the repetitions).

    bench/report.py build/bench/results.json
    bench/report.py --against REV BEFORE.json... -- AFTER.json...
        the handler of revision REV beside this one's: medians over the files
        of each side, from runs taken in turn
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


def recorded_table(runs, names, ns, what, prefix):
    """The handler with the capture or the journal on, beside it off."""
    print("| Map packet (version 5) | %s off | %s on (temporary file) | ratio "
          "| operator new per packet, %s on | %s bytes per packet |" % ((what,) * 4))
    print("|---|---|---|---|---|---|")
    for name in sorted(names, key=lambda name: name != "mix"):
        off, on = runs.get("Handle/" + name), runs.get(prefix + "/" + name)
        if off and on:
            print("| %s | %.0f ns | %.0f ns | %.2fx | %.3f | %.0f B |" % (
                name, ns(off), ns(on), ns(on) / ns(off), on["allocs_per_packet"],
                on[what + "_bytes_per_packet"]))
    off, memory = runs.get("Handle/mix"), runs.get(prefix + "InMemory/mix")
    if off and memory:
        print("| mix, %s to a file in memory | %.0f ns | %.0f ns | %.2fx | %.3f | |" % (
            what, ns(off), ns(memory), ns(memory) / ns(off), memory["allocs_per_packet"]))
    print()


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

    def wall_ms(run):
        # The road is a latency: wall time, measured by the benchmark itself.
        return run["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[run["time_unit"]]

    kernel = subprocess.run(["uname", "-r"], capture_output=True, text=True).stdout.strip()
    print("Machine: %s, %d cores, Linux %s; %s; build type %s; %s." % (
        cpu_model(), context.get("num_cpus", 0), kernel, context.get("compiler", "?"),
        context.get("quib_build_type", "?"), context.get("date", "")))
    print()
    print("| Tick over N idle connections | tick (PollConnections) | one poll() over the sockets "
          "| one recv each, the tick before | tick / recv each |")
    print("|---|---|---|---|---|")
    for n in (10, 100, 1000):
        tick, poll = runs.get("Tick/%d" % n), runs.get("BarePoll/%d" % n)
        bare = runs.get("BareReceive/%d" % n)
        if tick and poll and bare:
            print("| N = %d | %.0f ns (%.0f ns per connection) | %.0f ns | %.0f ns | %.2fx |"
                  % (n, ns(tick), ns(tick) / n, ns(poll), ns(bare), ns(tick) / ns(bare)))
    idle = runs.get("IdleServer/1000/iterations:1/manual_time")
    if idle:
        print()
        print("The server at --tick 10 with 1000 idle connections: %.2f%% of a core." %
              idle["cpu_percent"])
    print()
    print("| Tick over N connections | queues waiting | tick | same tick, every queue empty "
          "| ratio | added per waiting queue | bare sends | tick / bare "
          "| operator new per tick |")
    print("|---|---|---|---|---|---|---|---|---|")
    for n in (100, 1000):
        empty = runs.get("QueuedTick/%d/0" % n)
        for queued in (0, 1, n):
            run = runs.get("QueuedTick/%d/%d" % (n, queued))
            bare = runs.get("QueuedBare/%d/%d" % (n, queued))
            if run and empty and bare:
                added = "%.0f ns" % ((ns(run) - ns(empty)) / queued) if queued else "-"
                print("| N = %d | %d | %.0f ns | %.0f ns | %.2fx | %s | %.0f ns | %.2fx | %.3f |" % (
                    n, queued, ns(run), ns(empty), ns(run) / ns(empty), added, ns(bare),
                    ns(run) / ns(bare), run["allocs_per_tick"]))
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
    for what, prefix in (("capture", "HandleCaptured"), ("journal", "HandleJournaled")):
        recorded_table(runs, names, ns, what, prefix)
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
    print()
    print("| Cadence | whole road (wall time) | login | character list and select "
          "| map login | map loaded | walk | ratio to the designed cadence |")
    print("|---|---|---|---|---|---|---|---|")
    designed = runs.get("Road/designed/manual_time")
    for label, name in (("--accept-delay 500 --tick 250 (designed)", "designed"),
                        ("--accept-delay 0 --tick 10", "fast")):
        run = runs.get("Road/%s/manual_time" % name)
        if run and designed:
            print("| %s | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.3f |" % (
                label, wall_ms(run), run["login_ms"], run["character_ms"], run["map_ms"],
                run["loaded_ms"], run["walk_ms"], wall_ms(run) / wall_ms(designed)))


def against(rev, before_paths, after_paths):
    def medians(paths):
        times = {}
        for path in paths:
            for run in json.load(open(path, encoding="utf-8"))["benchmarks"]:
                if not run.get("error_occurred"):
                    unit = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run["time_unit"]]
                    times.setdefault(run["run_name"], []).append(run["cpu_time"] * unit)
        return {name: sorted(values)[len(values) // 2] for name, values in times.items()}

    before, after = medians(before_paths), medians(after_paths)
    sends = json.load(open(after_paths[0], encoding="utf-8"))["context"].get("sends")
    if sends == "coalesced":
        print("Sends on both sides with the small-packet delay on, as %s made them.\n" % rev)
    print("| Map packet (version 5) | HandlePacket, %s | HandlePacket, now | now / %s "
          "| %s / bare sends | now / bare sends |" % (rev, rev, rev))
    print("|---|---|---|---|---|---|")
    names = sorted(n.split("/", 1)[1] for n in after if n.startswith("Handle/"))
    for name in sorted(names, key=lambda name: name != "mix"):
        old, new = before.get("Handle/" + name), after.get("Handle/" + name)
        old_bare, new_bare = before.get("BareSend/" + name), after.get("BareSend/" + name)
        if old and new and old_bare and new_bare:
            print("| %s | %.0f ns | %.0f ns | %.2fx | %.2fx | %.2fx |" % (
                name, old, new, new / old, old / old_bare, new / new_bare))


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--against":
        split = sys.argv.index("--")
        against(sys.argv[2], sys.argv[3:split], sys.argv[split + 1:])
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else "build/bench/results.json")

#!/usr/bin/env python3
"""Turns one run of tools/bench.sh into the ratio tables of bench/README.md.

usage: summarize.py RESULTS_DIR > summary.md

Reads the Google Benchmark JSON files (medians of the repetitions, wall-clock
time) and the bridge's text output from RESULTS_DIR, prints Markdown, and
writes RESULTS_DIR/loading.dat for the loading chart.
"""
import json
import os
import sys

UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def medians(results, bench):
    path = os.path.join(results, bench + ".json")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    found = {}
    for run in runs:
        if run.get("aggregate_name") == "median" and not run.get("error_occurred"):
            run["ns"] = run["real_time"] * UNIT_NS[run["time_unit"]]
            found[run["run_name"]] = run
    return found


def size_label(n):
    if n >= 1 << 20 and n % (1 << 20) == 0:
        return "%d MiB" % (n >> 20)
    if n >= 1024 and n % 1024 == 0:
        return "%d KiB" % (n >> 10)
    return "%d B" % n


def base64(runs):
    print("## Base64 (throughput of raw bytes, GB/s)\n")
    print("The limit allocates the text's storage and copies the text into it; "
          "\"of limit\" is ours over it (goal 0.8 at 1 MiB), \"× peer\" ours over OpenSSL.\n")
    print("| size | limit | encode | of limit | peer | × peer "
          "| decode | of limit | peer | × peer |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for n in (64, 4096, 1 << 20):
        limit = runs.get("BM_AllocateAndCopyText/%d" % n)
        row = [size_label(n), "%.2f" % (n / limit["ns"]) if limit else "-"]
        for ours, peer in (("BM_Base64Encode", "BM_PeerEncodeBlock"),
                           ("BM_Base64Decode", "BM_PeerDecodeBlock")):
            a = runs.get("%s/%d" % (ours, n))
            b = runs.get("%s/%d" % (peer, n))
            if a is None or b is None:
                row += ["-", "-", "-", "-"]
                continue
            # Same byte count per iteration for all: throughput ratio = time ratio inverted.
            row += ["%.2f" % (n / a["ns"]),
                    "%.2f" % (limit["ns"] / a["ns"]) if limit else "-",
                    "%.2f" % (n / b["ns"]), "%.2f" % (b["ns"] / a["ns"])]
        print("| " + " | ".join(row) + " |")
    print()


def loading(runs, results):
    print("## Configuration loading (ns per setting)\n")
    print("| settings | ours | peer parse | ours / peer | peer parse and keep |")
    print("|---|---|---|---|---|")
    per_setting = {}
    with open(os.path.join(results, "loading.dat"), "w") as dat:
        dat.write("# settings ours peer_parse peer_parse_and_keep (ns per setting)\n")
        for n in (100, 1000, 10000, 100000):
            ours = runs.get("BM_LoadConfiguration/%d" % n)
            peer = runs.get("BM_PeerParse/%d" % n)
            keep = runs.get("BM_PeerParseAndKeep/%d" % n)
            if ours is None or peer is None or keep is None:
                continue
            a, b, c = ours["ns"] / n, peer["ns"] / n, keep["ns"] / n
            per_setting[n] = a
            dat.write("%d %.1f %.1f %.1f\n" % (n, a, b, c))
            print("| %d | %.0f | %.0f | %.2f | %.0f |" % (n, a, b, a / b, c))
    if 1000 in per_setting and 100000 in per_setting:
        print("\nCost per setting at 100,000 over the cost at 1,000: %.2f"
              % (per_setting[100000] / per_setting[1000]))
    print("\n### Against the peer's parse, one after the other in each iteration "
          "(goal: at most 1.0)\n")
    print("| settings | ours and the peer's, per iteration | ours / peer |")
    print("|---|---|---|")
    for n in (1000, 100000):
        run = runs.get("BM_LoadAgainstPeer/%d" % n)
        if run is not None:
            print("| %d | %.2f ms | %.2f |" % (n, run["ns"] / 1e6, run["ratio"]))
    print("\n### Exporting to the environment (ms per load)\n")
    print("| settings | load with export | the same load without export (the limit) | ratio |")
    print("|---|---|---|---|")
    for n in (1000, 20000):
        ours = runs.get("BM_LoadConfigurationExported/%d" % n)
        bare = runs.get("BM_LoadConfiguration/%d" % n)
        if ours is not None and bare is not None:
            print("| %d | %.2f | %.2f | %.2f |"
                  % (n, ours["ns"] / 1e6, bare["ns"] / 1e6, ours["ns"] / bare["ns"]))
    print()


def logger(runs):
    print("## Logger (lines to a file, each flushed; messages below the level)\n")
    print("| text | ours, lines/s | spdlog, lines/s | ratio |")
    print("|---|---|---|---|")
    for n in (16, 200):
        ours = runs.get("BM_LoggerFile/%d" % n)
        peer = runs.get("BM_SpdlogFile/%d" % n)
        if ours is None or peer is None:
            continue
        print("| %d characters | %.0f | %.0f | %.2f |"
              % (n, 1e9 / ours["ns"], 1e9 / peer["ns"], peer["ns"] / ours["ns"]))
    ours = runs.get("BM_LoggerFilteredOut")
    peer = runs.get("BM_SpdlogFilteredOut")
    if ours is not None and peer is not None:
        print("\nA message below the level: ours %.1f ns, spdlog %.1f ns." % (ours["ns"], peer["ns"]))
    print()


def strbuf(runs):
    print("## String buffer appends (16-byte pieces up to 1 MiB)\n")
    print("| buffer | ms | time over std::string |")
    print("|---|---|---|")
    std = runs.get("BM_StdStringAppend")
    for name, label in (("BM_StrbufAppend/64", "strbuf, block 64"),
                        ("BM_StrbufAppend/4096", "strbuf, block 4096"),
                        ("BM_StdStringAppend", "std::string"),
                        ("BM_StdStringAppendReserved", "std::string, storage reserved first")):
        run = runs.get(name)
        if run is None or std is None:
            continue
        print("| %s | %.2f | %.1f |" % (label, run["ns"] / 1e6, run["ns"] / std["ns"]))
    print()


def main():
    results = sys.argv[1]
    runs = medians(results, "base64_bench")
    if runs:
        base64(runs)
    runs = medians(results, "zoralrcs_bench")
    if runs:
        loading(runs, results)
    runs = medians(results, "logger_bench")
    if runs:
        logger(runs)
    runs = medians(results, "strbuf_bench")
    if runs:
        strbuf(runs)
    bridge = os.path.join(results, "bridge.txt")
    if os.path.exists(bridge):
        print("## The bridge (ns per call)\n")
        with open(bridge) as f:
            print("```\n" + f.read().strip() + "\n```\n")


if __name__ == "__main__":
    main()

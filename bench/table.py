#!/usr/bin/env python3
"""Runs each benchmark beside its anchor, in one run, and prints a markdown table ready to paste:
figure, anchor, ratio. Every benchmark program runs on one CPU (taskset), three repetitions;
the table shows the median of the three.

    bench/table.py [--bin build/bin] [--cpu N] [--repetitions 3]

Takes about two to four minutes. Run it on a quiet machine: the load average is printed with
the table. The credit benchmarks make a network namespace of their own (root, or user
namespaces allowed)."""
import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def cpu_name():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


class Runner:
    def __init__(self, bin_dir, cpu, repetitions):
        self.bin_dir, self.cpu, self.repetitions = bin_dir, cpu, repetitions
        self.failures = []

    def pinned(self, command):
        return ["taskset", "-c", str(self.cpu), *command]

    def bench(self, program, pattern, env=None, min_time=None):
        """{run name: median aggregate} of one benchmark program, the benchmarks matching pattern."""
        command = [os.path.join(self.bin_dir, program), "--benchmark_filter=" + pattern,
                   "--benchmark_format=json", "--benchmark_repetitions=%d" % self.repetitions,
                   "--benchmark_report_aggregates_only=true"]
        if min_time:
            command.append("--benchmark_min_time=%g" % min_time)
        r = subprocess.run(self.pinned(command), capture_output=True, text=True, timeout=600,
                           env=dict(os.environ, **(env or {})))
        if r.returncode != 0:
            self.failures.append("%s: exit %d: %s" % (program, r.returncode, r.stderr.strip()[-300:]))
            return {}
        out = {}
        for b in json.loads(r.stdout)["benchmarks"]:
            if b.get("aggregate_name") != "median":
                continue
            if b.get("error_occurred"):
                self.failures.append("%s: %s" % (b["run_name"], b.get("error_message")))
                continue
            out[b["run_name"]] = b
        return out

    def sim_rate(self, games):
        """Median games/s of quibblo-sim over the repetitions."""
        rates = []
        for _ in range(self.repetitions):
            r = subprocess.run(self.pinned([os.path.join(self.bin_dir, "quibblo-sim"), "--games", str(games),
                                            "--accuracy", "0.75", "--seed", "1"]),
                               capture_output=True, text=True, timeout=600)
            m = re.search(r"^games_per_second: (\d+)", r.stdout, re.M)
            if r.returncode != 0 or not m:
                self.failures.append("quibblo-sim: exit %d %s" % (r.returncode, r.stderr.strip()[-200:]))
                return None
            rates.append(float(m.group(1)))
        return sorted(rates)[len(rates) // 2]


UNITS = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def micros(b, counter=None):
    """A benchmark's time in microseconds: its mean time per iteration, or a counter in µs."""
    if b is None:
        return None
    if counter:
        return b.get(counter)
    return b["real_time"] * UNITS[b["time_unit"]]


def shown(us):
    if us is None:
        return "n/a"
    if us >= 1000:
        return "%.2f ms" % (us / 1000)
    if us >= 10:
        return "%.0f µs" % us
    return "%.2f µs" % us


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"), help="the programs' folder")
    parser.add_argument("--cpu", type=int, default=1 if (os.cpu_count() or 1) > 1 else 0,
                        help="the CPU every benchmark runs on (default 1, or 0 on a single CPU)")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--sim-games", type=int, default=10000000)
    args = parser.parse_args()
    run = Runner(os.path.abspath(args.bin), args.cpu, args.repetitions)
    load_before = os.getloadavg()

    frame = run.bench("bench_display_frame", "BM_MemcpyFrame|BM_PresentHeadless|BM_PresentWindow|"
                      "BM_SdlTextureUpdate|BM_BlendCanvasStep", env={"SDL_VIDEODRIVER": "dummy"})
    blit = run.bench("bench_display_blit", "BM_DrawImage|BM_SdlBlit")
    credit = run.bench("bench_credit_link", ".")
    clip = run.bench("bench_video_clip_frame", ".")
    sim = run.bench("bench_game_sim", "ModelGames")
    sim_rate = run.sim_rate(args.sim_games)
    load_after = os.getloadavg()

    rows = []

    def row(what, figure, anchor_name, anchor, goal=""):
        ratio = "%.2fx" % (figure / anchor) if figure is not None and anchor else "n/a"
        rows.append("| %s | %s | %s %s | %s | %s |" % (what, shown(figure), anchor_name, shown(anchor), ratio, goal))

    memcpy = micros(frame.get("BM_MemcpyFrame"))
    for arg, label in (("0", "nothing changed"), ("1", "200x150 changed"), ("2", "whole screen changed")):
        row("headless present, " + label, micros(frame.get("BM_PresentHeadless/frame:" + arg)),
            "memcpy of a frame", memcpy)
    row("window present (SDL dummy driver), 200x150 changed", micros(frame.get("BM_PresentWindow/frame:1")),
        "SDL_UpdateTexture 200x150 + present", micros(frame.get("BM_SdlTextureUpdate/frame:1")), "< 150 µs")
    row("window present (SDL dummy driver), whole screen", micros(frame.get("BM_PresentWindow/frame:2")),
        "SDL_UpdateTexture whole frame + present", micros(frame.get("BM_SdlTextureUpdate/frame:2")))
    row("cross-fade step, whole screen keyed", micros(frame.get("BM_BlendCanvasStep")),
        "memcpy of a frame (no separate blend kernel anchor)", memcpy)

    echo, query_echo = credit.get("BM_LoopbackEcho/iterations:20000"), credit.get("BM_QueryEcho/iterations:20000")
    query = credit.get("BM_CreditQuery/0/iterations:20000")
    row("credit query CGET (per-call median)", micros(query, "p50_us"),
        "the game's query code against an echo peer", micros(query_echo, "p50_us"), "<= 1.15x")
    row("credit query CGET (per-call median)", micros(query, "p50_us"),
        "plain loopback echo", micros(echo, "p50_us"))
    for arg, place in (("0", "disk"), ("1", "/dev/shm")):
        bank_add = credit.get("BM_DurableBankAdd/%s/iterations:400" % arg)
        row("durable BADD, ledger on %s (per-call median)" % place, micros(bank_add, "p50_us"),
            "plain loopback echo", micros(echo, "p50_us"))
        row("record save, on %s (per-call median)" % place,
            micros(credit.get("BM_SaveRecord/%s/iterations:200" % arg), "p50_us"),
            "write + fsync + rename + folder fsync",
            micros(credit.get("BM_WriteSyncRename/%s/iterations:200" % arg), "p50_us"))

    for pid, name in ((4, "photo"), (17, "board boxes"), (6, "panel")):
        keyed = micros(blit.get("BM_DrawImage/id:%d/keyed:2" % pid))
        row("keyed blit, %s" % name, keyed, "SDL RLE keyed blit", micros(blit.get("BM_SdlBlit/id:%d/mode:2" % pid)))
        if pid != 4:
            row("keyed blit, %s" % name, keyed, "SDL keyed blit, no RLE",
                micros(blit.get("BM_SdlBlit/id:%d/mode:1" % pid)))
    row("opaque blit, photo", micros(blit.get("BM_DrawImage/id:4/keyed:0")), "SDL plain blit",
        micros(blit.get("BM_SdlBlit/id:4/mode:0")))

    for bench, name in (("BM_ShowClipFrameVideo1", "Microsoft Video 1"), ("BM_ShowClipFrameUncompressed", "uncompressed")):
        row("clip frame 800x600, %s" % name, micros(clip.get(bench)), "budget", 5000.0, "< 5 ms")

    goal = 2e6
    if sim_rate:
        rows.append("| quibblo-sim --games %d, games/s | %.2f M | goal %.2f M | %.2fx | >= 1x |" %
                    (args.sim_games, sim_rate / 1e6, goal / 1e6, sim_rate / goal))
    for b in sorted(sim):
        rate = sim[b].get("games_per_second")
        if rate:
            rows.append("| bench_game_sim %s, games/s | %.2f M | goal %.2f M | %.2fx | |" %
                        (b.replace("ModelGames/", ""), rate / 1e6, goal / 1e6, rate / goal))

    print("Measured %s on %s (%d CPUs, Linux %s), every program on CPU %d, median of %d repetitions; "
          "load average %.2f before, %.2f after." % (
              datetime.date.today().isoformat(), cpu_name(), os.cpu_count() or 1, platform.release(),
              args.cpu, args.repetitions, load_before[0], load_after[0]))
    print()
    print("| figure | time | anchor | figure / anchor | goal |")
    print("|---|---|---|---|---|")
    for r in rows:
        print(r)
    if run.failures:
        print()
        for f in run.failures:
            print("- not measured: " + f)
    return 1 if run.failures else 0


if __name__ == "__main__":
    sys.exit(main())

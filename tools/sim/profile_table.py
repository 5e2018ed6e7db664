#!/usr/bin/env python3
"""Return to player for the three player profiles, as a Markdown table for the README.

    python3 tools/sim/profile_table.py --sim build/bin/quibblo-sim [--games 10000000] [--seeds 20]

For each profile (tools/sim/profiles/*.txt): one long run gives the return with its 95 %
interval; --seeds shorter runs with different seeds give the spread of the long-run figure;
the games of one run, cut into sessions of 20 and of 100 games, give how far one player's
session strays from the mean, which is the part of a result that is chance.
"""
import argparse
import csv
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PROFILES = ["casual", "strong", "expert"]


def run(sim, profile, games, seed, csv_path=None):
    args = [sim, "--games", str(games), "--accuracy-by-category",
            os.path.join(HERE, "profiles", profile + ".txt"), "--seed", str(seed)]
    if csv_path:
        args += ["--csv", csv_path]
    out = subprocess.run(args, capture_output=True, text=True, check=True).stdout
    return dict(line.split(": ", 1) for line in out.splitlines() if ": " in line)


def sessions(csv_path, length):
    """Return to player of consecutive sessions of `length` games."""
    out, stakes, prizes, n = [], 0, 0, 0
    with open(csv_path, newline="") as f:
        for row in csv.DictReader(f):
            stakes += int(row["stakes"])
            prizes += int(row["prize"])
            n += 1
            if n == length:
                out.append(prizes / stakes)
                stakes = prizes = n = 0
    return out


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--sim", required=True)
    p.add_argument("--games", type=int, default=10_000_000)
    p.add_argument("--seeds", type=int, default=20)
    p.add_argument("--session-games", type=int, default=1_000_000)
    a = p.parse_args()
    print("| profile | right answers | return to player | 95 %% interval | spread over %d seeds "
          "(sd) | 20-game session: sd, 5-95 %% | 100-game session: sd, 5-95 %% |" % a.seeds)
    print("|---|---|---|---|---|---|---|")
    for profile in PROFILES:
        long = run(a.sim, profile, a.games, 1)
        per_seed = [float(run(a.sim, profile, a.games // a.seeds, 100 + s)["return_to_player"])
                    for s in range(a.seeds)]
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "games.csv")
            run(a.sim, profile, a.session_games, 7, path)
            cells = []
            for length in (20, 100):
                s = sorted(sessions(path, length))
                cells.append("%.3f, %.2f-%.2f" % (statistics.pstdev(s), s[len(s) // 20], s[len(s) * 19 // 20]))
        low, high = long["return_to_player_ci95"].split()
        print("| %s | %.1f %% | %s | %s-%s | %.4f | %s | %s |" % (
            profile, 100 * float(long["accuracy"]), long["return_to_player"], low, high,
            statistics.pstdev(per_seed), cells[0], cells[1]))
    sys.stdout.flush()


if __name__ == "__main__":
    main()

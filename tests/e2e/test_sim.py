"""quibblo-sim: the offer and targets queries, the simulation report and its CSV."""
import csv
import os
import pty
import re
import subprocess
import time
import tempfile
import unittest

from harness import program


def sim(*args):
    return subprocess.run([program("quibblo-sim"), *args], capture_output=True, timeout=120)


def fields(stdout):
    out = {}
    for line in stdout.decode("utf-8").splitlines():
        name, _, value = line.partition(": ")
        out[name] = value
    return out


class OfferQuery(unittest.TestCase):
    def offer(self, row, in_play, made):
        r = sim("offer", "--row", str(row), "--in-play", in_play, "--offers-made", str(made))
        self.assertEqual(r.returncode, 0, r.stderr)
        return fields(r.stdout)

    def test_top_five_of_row_0(self):
        f = self.offer(0, "15,16,17,18,19", 0)
        self.assertEqual(f, {"lPrizeAvailableThisGame": "500", "fOffer": "130.000000",
                             "text": "\u00a31.30", "meter": "102"})
        self.assertEqual(self.offer(0, "15,16,17,18,19", 1)["fOffer"], "160.000000")
        # Fourth and later offers share the last divisor.
        self.assertEqual(self.offer(0, "15,16,17,18,19", 3), self.offer(0, "15,16,17,18,19", 9))

    def test_fifty_five_counts_in_the_other_meter(self):
        f = self.offer(2, "16,17,18,19", 0)
        self.assertEqual((f["fOffer"], f["text"], f["meter"]), ("55.000000", "55P", "190"))

    def test_json_and_empty_play(self):
        r = sim("offer", "--row", "3", "--in-play", "", "--offers-made", "0", "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.decode(), '{"lPrizeAvailableThisGame": 55, "fOffer": 10.000000, '
                                            '"text": "10P", "meter": 86}\n')

    def test_bad_input_is_refused(self):
        for args in (["--row", "4", "--in-play", "1", "--offers-made", "0"],
                     ["--row", "0", "--in-play", "1,20", "--offers-made", "0"],
                     ["--row", "0", "--in-play", "1,1", "--offers-made", "0"],
                     ["--row", "0", "--in-play", "1,x", "--offers-made", "0"],
                     ["--row", "0", "--in-play", "1"],
                     ["--row", "0", "--in-play", "1", "--offers-made", "-1"]):
            r = sim("offer", *args)
            self.assertEqual(r.returncode, 64, args)
            self.assertIn(b"quibblo-sim:", r.stderr)
            self.assertEqual(r.stdout, b"")


class TargetsQuery(unittest.TestCase):
    def targets(self, balance, start):
        r = sim("targets", "--balance", balance, "--start", str(start))
        self.assertEqual(r.returncode, 0, r.stderr)
        return {k: int(v) for k, v in fields(r.stdout).items()}

    def test_bands_and_levels(self):
        self.assertEqual(self.targets("0", 5), {"band": 3, "QuestionLevel": 2, "ExtraLifeLevel": 2,
                                                "PrizeLevel": 0, "OfferLevel": 1,
                                                "NoQuestionsLevel": 1, "FreePickLevel": 1})
        for balance, band in (("1000.0", 0), ("999.9", 1), ("-500.0", 5), ("-500.5", 6),
                              ("-20000000.0", 6)):
            self.assertEqual(self.targets(balance, 0)["band"], band, balance)
        self.assertEqual(set(self.targets("-600", 2).values()) - {6}, {4})

    def test_bad_start(self):
        self.assertEqual(sim("targets", "--balance", "0", "--start", "7").returncode, 64)
        self.assertEqual(sim("targets", "--balance", "abc", "--start", "1").returncode, 64)


class Simulation(unittest.TestCase):
    def test_report_csv_and_determinism(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "games.csv")
            r = sim("--games", "2000", "--accuracy", "0.8", "--offers", "take-first", "--seed", "5",
                    "--csv", path)
            self.assertEqual(r.returncode, 0, r.stderr)
            f = fields(r.stdout)
            with open(path, newline="") as fh:
                rows = list(csv.DictReader(fh))
        self.assertEqual(len(rows), 2000)
        self.assertEqual(int(f["games"]), 2000)
        self.assertEqual(sum(int(x["prize"]) for x in rows), int(f["prizes"]))
        self.assertEqual(sum(int(x["stakes"]) for x in rows), int(f["stakes"]))
        self.assertEqual(sum(int(x["offers_taken"]) for x in rows), int(f["offers_taken"]))
        # The balance moves by -15 a stake and +prize, game after game.
        balance = 0.0
        for x in rows:
            balance += -15.0 * (int(x["stakes"]) // 50) + int(x["prize"])
            self.assertAlmostEqual(float(x["balance"]), balance, places=1)
        low, high = map(float, f["return_to_player_percent_ci95"].split())
        rtp = float(f["return_to_player_percent"])
        self.assertLessEqual(low, rtp)
        self.assertGreaterEqual(high, rtp)
        self.assertAlmostEqual(rtp, 100.0 * int(f["prizes"]) / int(f["stakes"]), places=2)
        again = sim("--games=2000", "--accuracy=0.8", "--offers=take-first", "--seed=5")
        self.assertEqual(fields(again.stdout)["prizes"], f["prizes"])

    def test_accuracy_by_category(self):
        profiles = os.path.join(os.environ.get("QUIBBLO_SOURCE", "../.."), "tools", "sim", "profiles")
        with tempfile.TemporaryDirectory() as d:
            def accuracy_file(text):
                path = os.path.join(d, "a.txt")
                with open(path, "w") as f:
                    f.write(text)
                return path
            # Every category at 0.8 plays the same games as the single --accuracy 0.8.
            same = accuracy_file("# all the same\n" + " ".join(["0.8"] * 12) + "\n" + ",".join(["0.8"] * 12))
            one = fields(sim("--games", "500", "--accuracy", "0.8", "--seed", "9").stdout)
            r = sim("--games", "500", "--accuracy-by-category", same, "--seed", "9")
            self.assertEqual(r.returncode, 0, r.stderr)
            f = fields(r.stdout)
            self.assertEqual(f["prizes"], one["prizes"])
            self.assertEqual(f["accuracy_by_category"].split(), ["0.8000"] * 24)
            # Only category 1 wrong: every game's first question is lost (a life, not the game),
            # and the measured accuracy falls below that of a perfect player.
            first_wrong = accuracy_file("0 " + "1 " * 23)
            f = fields(sim("--games", "300", "--accuracy-by-category", first_wrong, "--seed", "2").stdout)
            self.assertLess(float(f["accuracy"]), 1.0)
            self.assertGreater(float(f["accuracy"]), 0.0)
            perfect = fields(sim("--games", "300", "--accuracy-by-category", accuracy_file("1 " * 24),
                                 "--seed", "2").stdout)
            self.assertEqual(float(perfect["accuracy"]), 1.0)
            # At least one wrong answer a game: accuracy at most 1 - 1 / questions a game.
            self.assertLessEqual(float(f["accuracy"]), 1.0 - 1.0 / float(f["mean_questions"]) + 1e-3)
            # The profiles in the tree are well formed.
            for name in ("casual", "strong", "expert"):
                r = sim("--games", "50", "--accuracy-by-category", os.path.join(profiles, name + ".txt"))
                self.assertEqual(r.returncode, 0, (name, r.stderr))
            for text, words in (("0.5 " * 23, b"23 numbers"), ("0.5 " * 25, b"more than 24"),
                                ("0.5 " * 23 + "1.5", b"line 1"), ("0.5\n" * 23 + "half", b"line 24"),
                                ("", b"0 numbers")):
                r = sim("--games", "10", "--accuracy-by-category", accuracy_file(text))
                self.assertEqual(r.returncode, 64, text)
                self.assertIn(words, r.stderr)
            r = sim("--games", "10", "--accuracy-by-category", os.path.join(d, "missing.txt"))
            self.assertEqual(r.returncode, 64)
            self.assertIn(b"cannot read", r.stderr)
            r = sim("--games", "10", "--accuracy", "0.5", "--accuracy-by-category", same)
            self.assertEqual(r.returncode, 64)

    def test_bad_options(self):
        for args in (["--games", "0", "--accuracy", "0.5"], ["--games", "10", "--accuracy", "1.5"],
                     ["--games", "10"], ["--games", "10", "--accuracy", "0.5", "--offers", "greedy"],
                     ["--games", "10", "--accuracy", "0.5", "--frobnicate", "1"], ["--games=", "--accuracy=0.5"],
                     ["--games", "10", "--accuracy", "0.5", "--seed=-1"], ["targets", "--start=1"]):
            r = sim(*args)
            self.assertEqual(r.returncode, 64, args)


def on_terminal(*args):
    """Runs the simulator with standard error on a pseudo-terminal: (seconds, what it drew)."""
    master, slave = pty.openpty()
    started = time.monotonic()
    proc = subprocess.Popen([program("quibblo-sim"), *args], stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    drawn = b""
    while True:
        try:
            data = os.read(master, 65536)
        except OSError:  # the other end closed
            break
        if not data:
            break
        drawn += data
    os.close(master)
    proc.wait(120)
    return time.monotonic() - started, proc.returncode, drawn.decode()


class ProgressBar(unittest.TestCase):
    def test_a_long_run_redraws_at_most_ten_times_a_second_with_rate_and_time_left(self):
        GAMES = 4000000  # long enough to draw at two million games a second
        seconds, code, drawn = on_terminal("--games", str(GAMES), "--accuracy", "0.5")
        self.assertEqual(code, 0)
        frames = [f for f in drawn.split("\r") if f.strip()]
        self.assertGreaterEqual(seconds, 0.6, "the run was too quick to draw a bar")
        self.assertGreaterEqual(len(frames), 1)
        self.assertLessEqual(len(frames), 10 * seconds + 2)
        for frame in frames[:-1]:
            self.assertRegex(frame, r"\] +\d+%  \d+/" + str(GAMES) + r" games  [\d.]+[kM]? games/s  \d+:\d\d left")
        self.assertRegex(frames[-1], r"100%  " + "%d/%d" % (GAMES, GAMES) + r" games  .* games/s  \d+:\d\d in all")
        self.assertTrue(drawn.endswith("\r\n"))  # the line ended for what follows
        done = [int(n) for n in re.findall(r"(\d+)/" + str(GAMES) + " games", drawn)]
        self.assertEqual(done, sorted(done))

    def test_a_short_run_or_no_terminal_draws_none(self):
        seconds, code, drawn = on_terminal("--games", "300", "--accuracy", "0.5")
        self.assertEqual((code, drawn), (0, ""))
        self.assertEqual(sim("--games", "300000", "--accuracy", "0.5").stderr, b"")


if __name__ == "__main__":
    unittest.main()

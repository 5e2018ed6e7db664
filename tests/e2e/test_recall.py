"""The game journal and quibblo-recall, through the real game and a real credit server: scripted and
monkey games replay to the same decisions and the same last screen, a doctored journal or ledger is
caught, and the journal survives the game being killed at any moment.

QUIBBLO_RECALL_KILLS sets how many kills (20 by default)."""
import json
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest

from harness import SOURCE, needs, program, read_file
from pictures import png_565
from play_support import PatientCabinet

KILLS = int(os.environ.get("QUIBBLO_RECALL_KILLS", "20"))
DEMO = os.path.join(SOURCE, "scripts", "demo.touches")


def recall(*args, cwd=None):
    r = subprocess.run([program("quibblo-recall"), *args], cwd=cwd, capture_output=True, text=True, timeout=900)
    return r.returncode, r.stdout, r.stderr


def frame_hash(pixels):
    """The game's hash of a shown picture: FNV-1a, 64 bits, over each 5:6:5 pixel low byte first."""
    h = 1469598103934665603
    for byte in pixels.astype("<u2").tobytes():
        h = ((h ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def games(cab):
    code, out, err = recall("--dir", cab.dir, "list", "--json")
    assert code == 0, err
    return json.loads(out)


def story(cab, number):
    code, out, err = recall("--dir", cab.dir, "show", str(number), "--json")
    assert code == 0, err
    return json.loads(out)


def play_monkey(cab, seed, games_wanted):
    """Monkey games until the credit for `games_wanted` is spent and the idle menu ends the run."""
    credit = cab.status()["credit"]
    if credit < games_wanted * 50:
        cab.server.operator("insert", str(games_wanted * 50 - credit))
    r = cab.run(args=["--monkey", str(seed)], timeout=900)
    assert r.code == 0, r.stderr


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-recall")
class Replays(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cab = PatientCabinet(server="real", credit=500).__enter__()
        r = cls.cab.run(read_file(DEMO))
        assert r.code == 0, r.stderr
        for seed in (1, 2, 3):
            play_monkey(cls.cab, seed, 2)
        cls.games = games(cls.cab)

    @classmethod
    def tearDownClass(cls):
        cls.cab.__exit__(None, None, None)

    def test_every_game_replays_to_its_outcome_and_last_screen_without_touching_the_cabinet(self):
        cab = self.cab
        self.assertGreaterEqual(len(self.games), 4)
        self.assertEqual(self.games[0]["outcome"], "won")  # the demonstration game
        self.assertTrue(any(g["continues"] for g in self.games) or any(g["outcome"] == "offer" for g in self.games),
                        "the monkey games should reach a continue or an offer")
        watched = [cab.path("credit.db"), cab.path("data", "journal.db"), cab.path("data", "morvane.rec")]
        before = [os.stat(p).st_mtime_ns for p in watched]
        ledger = cab.ledger()
        for game in self.games:
            with self.subTest(game=game["number"]), tempfile.TemporaryDirectory() as shots:
                self.assertEqual(game["state"], "finished")
                code, out, err = recall("--dir", cab.dir, "replay", str(game["number"]), "--shots", shots)
                self.assertEqual(code, 0, out + err)
                self.assertIn("the replay agrees", out)
                self.assertIn("outcome %s, prize %dp" % (game["outcome"], game["prize"]), out)
                events = story(cab, game["number"])["events"]
                end = [e for e in events if e["kind"] == "end"][0]["detail"]
                with open(os.path.join(shots, "end.png"), "rb") as f:
                    self.assertEqual(frame_hash(png_565(f.read())), end["screen"])
                touches = [e for e in events if e["kind"] == "touch"]
                self.assertEqual(len([n for n in os.listdir(shots) if n.startswith("touch-")]), len(touches))
        self.assertEqual([os.stat(p).st_mtime_ns for p in watched], before)
        self.assertEqual(cab.ledger(), ledger)

    def test_a_replay_from_a_doctored_state_names_the_first_difference(self):
        with tempfile.TemporaryDirectory() as copy, tempfile.TemporaryDirectory() as shots:
            for name in os.listdir(self.cab.dir):
                source = self.cab.path(name)
                if os.path.islink(source):
                    os.symlink(os.readlink(source), os.path.join(copy, name))
            os.mkdir(os.path.join(copy, "data"))
            db = sqlite3.connect(self.cab.path("data", "journal.db"))
            db.execute("VACUUM INTO ?", (os.path.join(copy, "data", "journal.db"),))
            db.close()
            db = sqlite3.connect(os.path.join(copy, "data", "journal.db"))
            detail = json.loads(db.execute("SELECT detail FROM events WHERE game = 1 AND kind = 'start'").fetchone()[0])
            words = detail["random"].split()
            words[5] = str(int(words[5]) ^ 0x5A5A5A)
            detail["random"] = " ".join(words)
            db.execute("UPDATE events SET detail = ? WHERE game = 1 AND kind = 'start'", (json.dumps(detail),))
            db.commit()
            db.close()
            code, out, err = recall("--dir", copy, "replay", "1", "--shots", shots)
            self.assertEqual(code, 1, out + err)
            self.assertIn("the replay differs: recorded ", out)

    def test_match_finds_nothing_missing_until_the_ledger_is_doctored(self):
        code, out, err = recall("--dir", self.cab.dir, "match", "--db", self.cab.path("credit.db"))
        self.assertEqual(code, 0, out + err)
        self.assertIn(" 0 unmatched", out)
        with tempfile.TemporaryDirectory() as tmp:
            doctored = os.path.join(tmp, "credit.db")
            db = sqlite3.connect(self.cab.path("credit.db"))
            db.execute("VACUUM INTO ?", (doctored,))
            db.close()
            db = sqlite3.connect(doctored)
            # A stake the server took with no game, and the demonstration game's prize gone.
            row = db.execute("SELECT * FROM journal WHERE source = 'game' AND command = 'CUSE' ORDER BY id").fetchone()
            db.execute("INSERT INTO journal(time, source, command, amount, credit_before, bank_before, due_before,"
                       " credit_after, bank_after, due_after) VALUES (?, 'game', 'CUSE', 50, 0, 0, 0, 0, 0, 0)",
                       (row[1],))
            prize = db.execute("SELECT id, command, amount FROM journal WHERE command IN ('BADD', 'CADD')"
                               " ORDER BY id").fetchone()
            db.execute("DELETE FROM journal WHERE id = ?", (prize[0],))
            db.commit()
            db.close()
            code, out, err = recall("--dir", self.cab.dir, "match", "--db", doctored)
            self.assertEqual(code, 1, out + err)
            self.assertIn("stake 50p (CUSE) in the ledger, with no game in the journal", out)
            self.assertIn("game 1: prize to the %s %dp (%s) in the journal, not in the ledger"
                          % ("bank" if prize[1] == "BADD" else "credit", prize[2], prize[1]), out)
            self.assertIn(" 2 unmatched", out)
            # Outside the window nothing is looked at.
            code, out, _ = recall("--dir", self.cab.dir, "match", "--db", doctored, "--since", "2999-01-01")
            self.assertEqual((code, out.strip()), (0, "0 journal movements, 0 ledger movements: 0 unmatched"))

    def test_the_game_will_not_replay_into_a_cabinet(self):
        before = os.stat(self.cab.path("data", "journal.db")).st_mtime_ns
        with open(self.cab.path("plan.json"), "w") as f:
            json.dump({"state": {}}, f)
        r = self.cab.run(args=["--replay", "plan.json"])
        self.assertEqual(r.code, 64)
        self.assertIn("folder of its own", r.stderr)
        self.assertEqual(os.stat(self.cab.path("data", "journal.db")).st_mtime_ns, before)

    def test_list_and_show_tell_each_game(self):
        code, out, _ = recall("--dir", self.cab.dir, "list", "--last", "2")
        lines = out.splitlines()
        self.assertEqual((code, len(lines)), (0, 2))
        newest = self.games[-1]
        self.assertTrue(lines[-1].split()[0] == str(newest["number"]))
        self.assertIn(newest["started"], lines[-1])
        code, out, _ = recall("--dir", self.cab.dir, "show", "1")
        self.assertEqual(code, 0)
        for text in ("stake 50p taken", "question at pick 1", "answered", "pick 1: box", "bank offer",
                     "game over: won, prize 55p paid", "CADD,55 -> CTEL,"):
            self.assertIn(text, out)
        doc = story(self.cab, 1)
        self.assertEqual(doc["game"], self.games[0])
        self.assertEqual([e["seq"] for e in doc["events"]], list(range(1, len(doc["events"]) + 1)))


@needs("quibblo-recall")
class Refusals(unittest.TestCase):
    def test_missing_damaged_and_malformed_are_told_apart(self):
        with tempfile.TemporaryDirectory() as d:
            self.assertEqual(recall("--dir", d, "list")[0], 66)
            os.mkdir(os.path.join(d, "data"))
            with open(os.path.join(d, "data", "journal.db"), "wb") as f:
                f.write(b"not a journal" * 100)
            code, _, err = recall("--dir", d, "list")
            self.assertEqual(code, 65)
            self.assertIn("journal", err)
            os.remove(os.path.join(d, "data", "journal.db"))
            sqlite3.connect(os.path.join(d, "data", "journal.db")).executescript(
                "CREATE TABLE games(number INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT, state TEXT NOT NULL,"
                " band INTEGER, payout_balance INTEGER, stake INTEGER NOT NULL, continues INTEGER NOT NULL DEFAULT 0,"
                " outcome TEXT, prize INTEGER NOT NULL DEFAULT 0, paid TEXT);"
                "CREATE TABLE events(game INTEGER, seq INTEGER, ms INTEGER, kind TEXT, detail TEXT);")
            self.assertEqual(recall("--dir", d, "list")[:2], (0, "no games in the journal\n"))
            self.assertEqual(recall("--dir", d, "show", "3")[0], 64)
            self.assertEqual(recall("--dir", d, "match", "--db", os.path.join(d, "none.db"))[0], 66)
            self.assertEqual(recall("--dir", d, "match", "--db", os.path.join(d, "data", "journal.db"))[0], 65)
            self.assertEqual(recall("--dir", d, "match", "--db", "x", "--until", "tomorrow")[0], 64)
            self.assertEqual(recall("--dir", d, "replay", "1")[0], 64)  # --shots is required
            self.assertEqual(recall("--dir", d, "list", "--last", "0")[0], 64)
            self.assertEqual(recall("--dir", d)[0], 64)


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-recall")
class Kills(unittest.TestCase):
    def test_a_kill_at_any_moment_leaves_finished_games_whole_and_marks_the_one_cut_short(self):
        rng = random.Random(17)
        with PatientCabinet(server="real", credit=5000) as cab:
            cut_short = 0
            for kill in range(KILLS):
                if cab.status()["credit"] < 500:
                    cab.server.operator("insert", "4000")
                game = subprocess.Popen([program("quibblo"), "--headless", "--virtual-clock", "--monkey",
                                         str(kill + 1)], cwd=cab.dir, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                time.sleep(rng.uniform(0.3, 2.5))
                game.send_signal(signal.SIGKILL)
                game.wait()
                db = sqlite3.connect(cab.path("data", "journal.db"))
                self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok", "after kill %d" % kill)
                playing = db.execute("SELECT COUNT(*) FROM games WHERE state = 'playing'").fetchone()[0]
                db.close()
                self.assertLessEqual(playing, 1)
                cut_short += playing
            # One more start marks the last game cut short.
            r = cab.run("1000 close\n")
            self.assertEqual(r.code, 0, r.stderr)
            rows = games(cab)
            self.assertEqual(sorted({g["state"] for g in rows} - {"finished", "interrupted"}), [])
            self.assertEqual(sum(g["state"] == "interrupted" for g in rows), cut_short)
            self.assertGreater(cut_short, 0)
            self.assertGreater(sum(g["state"] == "finished" for g in rows), 0)
            for g in rows:
                events = story(cab, g["number"])["events"]
                kinds = [e["kind"] for e in events]
                with self.subTest(game=g["number"], state=g["state"]):
                    self.assertEqual([e["seq"] for e in events], list(range(1, len(events) + 1)))
                    self.assertEqual(kinds[0], "start")
                    if g["state"] == "finished":
                        self.assertIn("end", kinds)
                        self.assertIsNotNone(g["ended"])
                        self.assertIn(g["outcome"], ("won", "offer", "lost"))
                        self.assertEqual(g["paid"], "none" if g["prize"] == 0 else g["paid"])
                    else:
                        self.assertNotIn("end", kinds)
                        self.assertEqual(kinds.count("interrupted"), 1)
                        if g["prize"] == 0:
                            self.assertEqual(g["paid"], "none")
            # The money of every game, cut short or not, is in the ledger.
            code, out, err = recall("--dir", cab.dir, "match", "--db", cab.path("credit.db"))
            self.assertEqual(code, 0, out + err)


if __name__ == "__main__":
    unittest.main()

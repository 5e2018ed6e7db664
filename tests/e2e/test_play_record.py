"""--record writes the session as a touch script; playing it back gives the same game: the same
screenshots, record file and ledger, whether the touches came from a script or the monkey."""
import os
import unittest

from harness import SOURCE, needs, read_file
from play_support import PatientCabinet

DEMO = os.path.join(SOURCE, "scripts", "demo.touches")


def script_events(text):
    out = []
    for line in text.splitlines():
        words = line.split()
        if words and not words[0].startswith("#"):
            out.append((int(words[0]), words[1], words[2:]))
    return out


def money(ledger):
    # the wall-clock time of each movement is the one thing a replay cannot repeat
    return [{k: v for k, v in e.items() if k != "time"} for e in ledger]


def session(script, args):
    """One headless virtual-clock run in a fresh cabinet with 500p of credit."""
    with PatientCabinet(server="real", credit=500) as cab:
        os.makedirs(cab.path("shots"))
        r = cab.run(script, args=args)
        shots = {name: read_file(cab.path("shots", name), "rb") for name in sorted(os.listdir(cab.path("shots")))}
        rec_path = cab.path("data", "morvane.rec")
        record = read_file(rec_path, "rb") if os.path.exists(rec_path) else None
        recorded = read_file(cab.path("session.txt")) if os.path.exists(cab.path("session.txt")) else None
        return dict(code=r.code, stderr=r.stderr, shots=shots, record=record, ledger=money(cab.ledger()),
                    recorded=recorded)


@needs("quibblo", "quibblo-credit", "quibblo-assets")
class Record(unittest.TestCase):
    def assertSameSession(self, first, again):
        self.assertEqual(again["code"], 0, again["stderr"])
        self.assertEqual(sorted(again["shots"]), sorted(first["shots"]))
        for name in first["shots"]:
            self.assertEqual(again["shots"][name], first["shots"][name], name)
        self.assertIsNotNone(first["record"])
        self.assertEqual(again["record"], first["record"])
        self.assertEqual(again["ledger"], first["ledger"])

    def test_a_scripted_game_played_back_from_its_record(self):
        demo = read_file(DEMO)
        first = session(demo, ["--record", "session.txt"])
        self.assertEqual(first["code"], 0, first["stderr"])
        self.assertTrue(first["recorded"].startswith("# touches of the session started as: "), first["recorded"])
        played, recorded = script_events(demo), script_events(first["recorded"])
        # the script's events in its order, at or after their own times, until Main Menu ended
        # the program with a few of its touches left unplayed
        self.assertGreater(len(recorded), len(played) - 30)
        self.assertEqual([(k, w) for _, k, w in recorded], [(k, w) for _, k, w in played[:len(recorded)]])
        for (t0, _, _), (t1, _, _) in zip(played, recorded):
            self.assertGreaterEqual(t1, t0)
        self.assertTrue(any(e["command"] == "CUSE" for e in first["ledger"]), "no game was paid")
        self.assertEqual(len(first["shots"]), 7)

        again = session(first["recorded"], ["--record", "session.txt"])
        self.assertSameSession(first, again)
        # a recording of the replay is the replay
        self.assertEqual(script_events(again["recorded"]), recorded)

    def test_monkey_touches_played_back_from_their_record(self):
        shots = "".join("%d shot shots/%02d.png\n" % (t, k) for k, t in enumerate(range(5000, 90001, 5000)))
        first = session(shots + "90500 close\n", ["--monkey", "5", "--record", "session.txt"])
        self.assertEqual(first["code"], 0, first["stderr"])
        recorded = script_events(first["recorded"])
        touches = [e for e in recorded if e[1] == "touch"]
        self.assertGreater(len(touches), 40)
        self.assertEqual([e for e in recorded if e[1] == "close"][-1][0], 90500)
        self.assertTrue(any(e["command"] == "CUSE" for e in first["ledger"]), "the monkey paid for no game")

        again = session(first["recorded"], [])
        self.assertSameSession(first, again)

    def test_a_record_file_that_cannot_be_made_stops_the_start(self):
        with PatientCabinet(server="listener") as cab:
            r = cab.run("100 close\n", args=["--record", "no/such/folder/session.txt"])
            self.assertEqual(r.code, 64)
            self.assertIn("cannot create the touch record no/such/folder/session.txt", r.stderr)
            self.assertEqual(cab.listener.received, b"")  # nothing was said to a server


if __name__ == "__main__":
    unittest.main()

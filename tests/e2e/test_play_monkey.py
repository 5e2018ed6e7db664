"""Random touches at random moments, game after game: nothing crashes and the money agrees.

The credit is topped up for the games still to play (the server's credit stays below 10000,
which the game would read as 0); once it is spent the idle menu ends the program, and the
cabinet is started again with the next seed until enough games have been paid for. QUIBBLO_MONKEY_GAMES sets how
many (200 by default, about three minutes)."""
import os
import unittest

from harness import needs
from play_support import STAKE, PatientCabinet, game_commands, meters

GAMES = int(os.environ.get("QUIBBLO_MONKEY_GAMES", "200"))


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-meters")
class Monkey(unittest.TestCase):
    def test_monkey_games_keep_the_books_straight(self):
        with PatientCabinet(server="real") as cab:
            games, seed, runs = 0, 0, []
            while games < GAMES:
                credit = cab.status()["credit"]
                want = min((GAMES - games) * STAKE, 9000)
                if credit < want:
                    cab.server.operator("insert", str(want - credit))
                seed += 1
                r = cab.run(args=["--monkey", str(seed)], timeout=3600)
                runs.append((seed, r.code))
                self.assertEqual(r.code, 0, "seed %d: %s" % (seed, r.stderr))
                self.assertIn("Closing log", r.log)
                if os.path.exists(cab.path("data", "morvane.rec")):
                    games = meters(cab)["meters"][0]
            m = meters(cab)
            ledger = cab.ledger()
            status = cab.status()

        meter = m["meters"]
        stakes = game_commands(ledger, "CUSE")
        prizes = game_commands(ledger, "BADD") + game_commands(ledger, "CADD")
        self.assertGreaterEqual(meter[0], GAMES)
        self.assertEqual(set(stakes), {STAKE})
        self.assertEqual(sum(stakes), STAKE * (meter[0] + meter[449]))
        self.assertEqual(sum(prizes), meter[413])
        self.assertEqual(m["prizes_won"], meter[413])
        inserted = sum(e["amount"] for e in ledger if e["source"] == "operator" and e["command"] == "insert")
        self.assertEqual(status["credit"] + status["bank"], inserted - sum(stakes) + sum(prizes))
        # every game is booked in one payout band, with one box for the player
        self.assertEqual(sum(meter[1:8]), meter[0])
        self.assertEqual(sum(meter[428:448]), meter[0])
        self.assertLessEqual(meter[449], meter[448])
        self.assertLessEqual(meter[301], meter[300])


if __name__ == "__main__":
    unittest.main()

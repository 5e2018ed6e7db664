"""The game beside the real credit server: it connects, says goodbye, and whatever money moved
is accounted for twice, once in the ledger and once in the record file's meters."""
import os
import struct
import unittest

import test_credit_server as peer
from harness import Cabinet, needs


def meters_of(path):
    with open(path, "rb") as f:
        data = f.read()
    balance, *meters = struct.unpack("<f453i", data[:1816])
    return balance, meters


@needs("quibblo", "quibblo-credit", "quibblo-assets")
class GameMoneyTest(unittest.TestCase):
    def test_ledger_and_meters_agree_after_a_run(self):
        with Cabinet(server="real", credit=500) as cab:
            # Start on the main menu, then left alone until the menu gives up.
            r = cab.run("2000 touch 675 543\n")
            self.assertEqual(r.code, 0, r.stderr)
            rows = peer.check_ledger(self, cab.server.db)
            self.assertEqual([(x[0], x[1], x[2]) for x in rows[:1]], [("operator", "insert", 500)])
            game = [x for x in rows if x[0] == "game"]
            stakes = [x for x in game if x[1] == "CUSE"]
            prizes = sum(x[2] for x in game if x[1] in ("BADD", "CADD"))
            record = cab.path("data", "morvane.rec")
            if os.path.exists(record):
                balance, meters = meters_of(record)
                self.assertEqual(len(stakes), meters[0] + meters[449])
                self.assertEqual(prizes, meters[413])
                self.assertAlmostEqual(balance, prizes - 15.0 * len(stakes), places=3)
            else:
                self.assertEqual(game, [])  # no game booked, so no money moved
            status = cab.status()
            self.assertEqual(status["credit"] + status["bank"] + status["payout_due"],
                             500 - 50 * len(stakes) + prizes)
            # The server outlives the game's goodbye and serves the next client.
            self.assertEqual(peer.Client().ask("CGET"), "CTEL,%d" % status["credit"])
            peer.Client.close_all()


if __name__ == "__main__":
    unittest.main()

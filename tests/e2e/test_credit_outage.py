"""The credit server dies while a game is being played: the game reads 0, its commands fail, and
it neither hangs nor crashes; once the server is back, a restarted game pays for a game again."""
import subprocess
import time
import unittest

from harness import Cabinet, CreditServer, needs, program, signed


@needs("quibblo", "quibblo-credit", "quibblo-assets")
class CreditOutage(unittest.TestCase):
    def stakes(self, cab):
        return [r for r in cab.ledger() if r["source"] == "game" and r["command"] == "CUSE"]

    def test_server_killed_mid_game_then_back(self):
        with Cabinet(server="real", credit=500) as cab:
            with open(cab.path("start.txt"), "w") as f:
                f.write("2500 touch 675 543\n")
            # The real clock, so the server can be killed while the game is on the board.
            game = subprocess.Popen([program("quibblo"), "--headless", "--touches", "start.txt"], cwd=cab.dir,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                end = time.time() + 30
                while not self.stakes(cab) and time.time() < end:
                    time.sleep(0.2)
                self.assertEqual(len(self.stakes(cab)), 1, "the game was not paid for")
                time.sleep(2)
                cab.server.proc.kill()
                cab.server.stop()
                # No lives left after the first question's time runs out, no continue that can be
                # paid, the game-over presentation, then thirty idle seconds on the menu.
                _, err = game.communicate(timeout=300)
            except subprocess.TimeoutExpired:
                game.kill()
                game.communicate()
                self.fail("the game hung without its credit server")
            self.assertEqual(signed(game.returncode), 0, err.decode("latin-1"))
            with open(cab.path("~system", "logs", "Quibblo.txt"), encoding="latin-1") as f:
                self.assertIn("Closing log", f.read())

            cab.server = CreditServer(cab.dir)
            self.assertEqual(cab.status()["credit"], 450)
            r = cab.run("3000 touch 675 543\n")
            self.assertEqual(r.code, 0, r.stderr)
            self.assertEqual(len(self.stakes(cab)), 2, "a restarted game could not pay again")


if __name__ == "__main__":
    unittest.main()

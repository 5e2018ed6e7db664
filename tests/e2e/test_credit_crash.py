"""kill -9 of the credit server at random moments during a stream of money commands: no
acknowledged command is lost, none is half-applied, and the ledger always balances."""
import os
import random
import shutil
import signal
import subprocess
import tempfile
import threading
import unittest

import test_credit_server as peer
from harness import program, wait_port_free

KILLS = int(os.environ.get("QUIBBLO_CREDIT_KILLS", "200"))


class CreditCrashTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-credit-crash-")
        self.db = os.path.join(self.dir, "credit.db")
        wait_port_free()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_until_killed(self, rng, counter):
        """One server life: commands until the kill. Returns (acknowledged rows, in-flight row)."""
        proc = subprocess.Popen([program("quibblo-credit"), "serve", "--db", self.db], cwd=self.dir,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        peer.wait_for_port(proc)
        killer = threading.Timer(rng.uniform(0.0, 0.04), lambda: proc.send_signal(signal.SIGKILL))
        killer.start()
        acked, in_flight = [], None
        try:
            client = peer.Client(timeout=5)
            while True:
                counter[0] += 1
                command = rng.choice(["BADD", "CADD", "CUSE"])
                amount = counter[0]  # unique, so each journal row names its request
                in_flight = (command, amount)
                reply = client.ask("%s,%d" % in_flight)
                if reply is None:
                    break
                if not reply.startswith("FAIL,"):
                    self.assertEqual(reply[:4], "BTEL" if command == "BADD" else "CTEL")
                    acked.append(in_flight)
                in_flight = None
        except OSError:
            pass
        finally:
            killer.join()
            proc.wait()
            peer.Client.close_all()
        self.assertEqual(proc.returncode, -signal.SIGKILL)
        return acked, in_flight

    def test_kill_nine_during_money_commands(self):
        rng = random.Random(6667)
        counter = [0]
        expected_rows = 0
        maybe = None  # the last life's unanswered command: applied or not, but never twice
        for kill in range(KILLS):
            acked, in_flight = self.run_until_killed(rng, counter)
            rows = peer.check_ledger(self, self.db)
            game = [(r[1], r[2]) for r in rows if r[0] == "game"]
            if maybe and game[expected_rows:expected_rows + 1] == [maybe]:
                expected_rows += 1
            # Everything acknowledged is there, in order.
            self.assertEqual(game[expected_rows:expected_rows + len(acked)], acked, "kill %d" % kill)
            expected_rows += len(acked)
            maybe = in_flight
            if in_flight and len(game) > expected_rows:
                self.assertEqual(game[expected_rows], in_flight, "kill %d" % kill)
                expected_rows += 1
                maybe = None
            self.assertEqual(len(game), expected_rows, "kill %d: a row nobody asked for" % kill)
        self.assertGreater(expected_rows, KILLS)

if __name__ == "__main__":
    unittest.main()

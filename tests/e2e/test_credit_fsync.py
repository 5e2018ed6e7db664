"""A refusal is final: sync failures (and now and then writes failing as on a full disk)
injected into the ledger's files by a preloaded shim while the game and the operator move money, each followed by kill -9 and a restart. A command
answered "done" is in the journal, one refused (FAIL, exit 1) is not, and one that got no
answer is either there and reported at start-up as recovered, or reported as not booked."""
import os
import random
import re
import signal
import subprocess
import tempfile
import shutil
import threading
import time
import unittest

import test_credit_server as peer
from harness import BIN, program, wait_port_free

ROUNDS = int(os.environ.get("QUIBBLO_FSYNC_ROUNDS", "36"))
SHIM = os.path.join(BIN, "libfsync_fault.so")


def preload():
    """The shim, after the sanitizer's runtime where the program has one (it must come first)."""
    ldd = subprocess.run(["ldd", program("quibblo-credit")], capture_output=True, text=True).stdout
    runtimes = re.findall(r"(/\S*lib(?:asan|ubsan)\S*\.so\S*)", ldd)
    return " ".join(runtimes + [SHIM])


class CreditFsyncTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-credit-fsync-")
        self.db = os.path.join(self.dir, "credit.db")
        self.control = os.path.join(self.dir, "faults")
        self.injected = 0
        self.arm(0)
        self.env = dict(os.environ, LD_PRELOAD=preload(), QUIBBLO_FSYNC_TARGET=self.db,
                        QUIBBLO_FSYNC_CONTROL=self.control)
        wait_port_free()
        self.proc = None

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        peer.Client.close_all()
        shutil.rmtree(self.dir, ignore_errors=True)

    def arm(self, remaining, delay_ms=0, kind="sync"):
        with open(self.control, "w") as f:
            f.write("%d %d %d %s\n" % (remaining, delay_ms, self.injected, kind))

    def count_injected(self):
        with open(self.control) as f:
            self.injected = int(f.read().split()[2])

    def start(self):
        """A server life; its start-up report (what it said before it listened)."""
        self.proc = subprocess.Popen([program("quibblo-credit"), "serve", "--db", self.db], cwd=self.dir,
                                     env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        peer.wait_for_port(self.proc)
        os.set_blocking(self.proc.stderr.fileno(), False)
        return (self.proc.stderr.read() or b"").decode()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
        self.proc.wait()
        self.proc.stderr.close()
        peer.Client.close_all()

    def operator(self, *args):
        r = subprocess.run([program("quibblo-credit"), *args, "--db", self.db], cwd=self.dir, env=self.env,
                           capture_output=True, text=True, timeout=60)
        return {0: "done", 1: "refused", 75: "unknown"}.get(r.returncode, "exit %d" % r.returncode)

    def game(self, request, kill_after):
        client = peer.Client(timeout=5)
        killer = threading.Timer(kill_after, self.kill) if kill_after is not None else None
        if killer:
            killer.start()
        try:
            reply = client.ask(request)
        except OSError:
            reply = None
        if killer:
            killer.join()
        if reply is None:
            return "unknown"
        if self.full_disk:  # nothing can be written, yet the balances are still read out
            self.assertTrue(client.ask("CGET").startswith("CTEL,"))
        return "refused" if reply.startswith("FAIL,") else "done"

    def test_sync_failures_then_kill_nine(self):
        rng = random.Random(1515)
        self.start()
        self.assertEqual(self.operator("insert", "5000"), "done")
        rows = peer.check_ledger(self, self.db)
        outcomes, reports, kills = {}, {}, 0
        for round_ in range(ROUNDS):
            kind = rng.choice(["BADD", "CUSE", "CADD", "insert", "collect"])
            amount = 50 if kind == "CUSE" else rng.randint(1, 400)
            faults = rng.choice([1, 2, 3, -1])
            fault_kind = rng.choice(["sync"] * 4 + ["write"])
            delay = rng.choice([0, 0, 120]) if fault_kind == "sync" else 0
            # Now and then the server dies while it learns the ledger's state, unanswered.
            kill_after = rng.uniform(0.05, 0.5) if delay and kind in ("BADD", "CUSE", "CADD") else None
            self.full_disk = fault_kind == "write" and faults < 0
            self.arm(faults, delay, fault_kind)
            if kind in ("insert", "collect"):
                outcome = self.operator(*([kind, str(amount)] if kind == "insert" else [kind]))
            else:
                outcome = self.game("%s,%d" % (kind, amount), kill_after)
            self.count_injected()
            self.arm(0)
            unsettled = os.path.exists(self.db + "-unsettled")
            self.kill()
            kills += 1
            report = self.start()
            after = peer.check_ledger(self, self.db)
            label = "round %d: %s %d with %d %s faults, %s" % (round_, kind, amount, faults, fault_kind, outcome)
            self.assertEqual(after[:len(rows)], rows, label)  # nothing before it changed
            added = after[len(rows):]
            self.assertLessEqual(len(added), 1, label)
            if added:
                source = "game" if kind in ("BADD", "CUSE", "CADD") else "operator"
                self.assertEqual(added[0][:2], (source, kind), label)
                if kind != "collect":
                    self.assertEqual(added[0][2], amount, label)
            if outcome == "done":
                self.assertTrue(added or kind == "collect", label)
            elif outcome == "refused":
                self.assertEqual(added, [], label)
            else:
                self.assertEqual(outcome, "unknown", label)
                if unsettled:
                    said = "recovered command" if added else "not booked"
                    self.assertIn(said, report, label)
                    reports[said] = reports.get(said, 0) + 1
            self.assertFalse(os.path.exists(self.db + "-unsettled"), label)
            outcomes[outcome] = outcomes.get(outcome, 0) + 1
            rows = after
        self.kill()
        print("\n%d rounds, %d faults injected, %d kill -9, outcomes %s, start-up reports %s, "
              "%d journal rows" % (ROUNDS, self.injected, kills, outcomes, reports, len(rows)))
        self.assertGreater(self.injected, ROUNDS)
        self.assertGreater(outcomes.get("refused", 0), 0)
        self.assertGreater(outcomes.get("done", 0), 0)

    def test_on_a_slow_disk_a_query_waits_behind_one_sync_at_most(self):
        """The game's commands, sent all at once, hold the server one sync each; another
        client's query is answered between two of them, not after the lot."""
        if os.geteuid() != 0:
            self.skipTest("needs root to be a second local account")
        self.start()
        game, onlooker = peer.Client(), peer.Client(uid=peer.NOBODY)
        self.assertEqual(game.ask("BADD,1"), "BTEL,1")
        self.assertEqual(onlooker.ask("BGET"), "BTEL,1")
        self.arm(-1, 400, "slow")
        game.send(b"BADD,1\r\n" * 4)
        time.sleep(0.15)  # the first of them is syncing
        onlooker.send(b"BGET\r\n")
        seen = onlooker.line()
        replies = [game.line() for _ in range(4)]
        self.count_injected()
        self.arm(0)
        self.assertEqual(replies, ["BTEL,2", "BTEL,3", "BTEL,4", "BTEL,5"])
        self.assertEqual(seen, "BTEL,2")  # after the one syncing when it came, before the next
        self.assertGreaterEqual(self.injected, 4)
        self.assertEqual(onlooker.ask("BGET"), "BTEL,5")


if __name__ == "__main__":
    unittest.main()

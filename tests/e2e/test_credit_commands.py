"""The operator's commands as a newcomer meets them: a wrong ledger path, both option spellings,
amounts with their unit, what status says about the server and the game, and --help."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import unittest

from harness import CreditServer, program, wait_port_free


def credit(*args, cwd):
    return subprocess.run([program("quibblo-credit"), *args], cwd=cwd, capture_output=True, text=True,
                          timeout=30)


class OperatorCommandsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-operator-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_no_command_but_serve_and_insert_create_invents_a_ledger(self):
        empty = os.path.join(self.dir, "empty.db")
        open(empty, "wb").close()
        for db in ("credit.db", os.path.join(self.dir, "nowhere", "credit.db"), empty):
            for args in (["status"], ["status", "--json"], ["ledger"], ["ledger", "--json"], ["collect"],
                         ["insert", "500"]):
                r = credit(*args, "--db", db, cwd=self.dir)
                self.assertEqual(r.returncode, 66, (args, db))
                self.assertIn("no ledger at " + db, r.stderr)
                self.assertEqual(r.stdout, "", (args, db))
        self.assertEqual(sorted(os.listdir(self.dir)), ["empty.db"])
        self.assertEqual(os.path.getsize(empty), 0)
        # Without --db the default is credit.db in the working folder: missing here too.
        self.assertEqual(credit("status", cwd=self.dir).returncode, 66)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "credit.db")))

        r = credit("insert", "--create", "250", "--db", "new.db", cwd=self.dir)
        self.assertEqual((r.returncode, r.stdout), (0, "insert: 250p (\u00a32.50)\ncredit: 250\n"), r.stderr)
        # Once it exists, --create is harmless and a plain insert works.
        self.assertEqual(credit("insert", "5", "--create", "--db", "new.db", cwd=self.dir).returncode, 0)
        self.assertEqual(credit("insert", "5", "--db=new.db", cwd=self.dir).returncode, 0)
        r = credit("status", "--json", "--db", "new.db", cwd=self.dir)
        self.assertEqual(json.loads(r.stdout), {"credit": 260, "bank": 0, "payout_due": 0})

    def test_both_option_spellings_and_amounts_with_their_unit(self):
        db = os.path.join(self.dir, "c.db")
        self.assertEqual(credit("insert", "1234", "--create", "--db=" + db, cwd=self.dir).returncode, 0)
        spaced = credit("status", "--db", db, cwd=self.dir)
        joined = credit("status", "--db=" + db, cwd=self.dir)
        self.assertEqual(spaced.returncode, 0, spaced.stderr)
        self.assertEqual(spaced.stdout, joined.stdout)
        lines = spaced.stdout.splitlines()
        self.assertEqual(lines[:3], ["credit: 1234", "bank: 0", "payout_due: 0"])
        self.assertIn("money: 1234p (\u00a312.34) credit, 0p (\u00a30.00) bank, 0p (\u00a30.00) held for payout",
                      lines)
        r = credit("insert", "7", "--json", "--db", db, cwd=self.dir)
        self.assertEqual(json.loads(r.stdout), {"inserted": 7, "credit": 1241})
        r = credit("collect", "--db", db, cwd=self.dir)
        self.assertEqual((r.returncode, r.stdout), (0, "collect: paid 0p (\u00a30.00)\n"))
        self.assertEqual(json.loads(credit("collect", "--json", "--db", db, cwd=self.dir).stdout), {"paid": 0})
        r = credit("ledger", "--db", db, cwd=self.dir)
        self.assertIn("1234p  credit 0p -> 1234p", r.stdout)
        rows = json.loads(credit("ledger", "--json", "--db=" + db, cwd=self.dir).stdout)
        self.assertEqual([(x["command"], x["amount"]) for x in rows], [("insert", 1234), ("insert", 7)])
        for args in (["status", "--db="], ["status", "--db"], ["insert", "--create", "--db", db],
                     ["status", "--json=maybe", "--db", db]):
            r = credit(*args, cwd=self.dir)
            self.assertEqual(r.returncode, 64, args)
            self.assertIn("quibblo-credit: ", r.stderr)

    def test_status_says_whether_the_server_runs_and_a_game_is_connected(self):
        wait_port_free()
        server = CreditServer(self.dir)
        try:
            def shown():
                r = credit("status", "--db", server.db, cwd=self.dir)
                self.assertEqual(r.returncode, 0, r.stderr)
                return [x for x in r.stdout.splitlines() if x.startswith(("server:", "game:"))]

            self.assertEqual(shown(), ["server: running on 127.0.0.1:6667", "game: not connected"])
            game = socket.create_connection(("127.0.0.1", 6667), timeout=5)
            game.sendall(b"CGET\r\n")
            self.assertEqual(game.recv(64), b"CTEL,0\r\n")  # accepted by the server
            self.assertEqual(shown(), ["server: running on 127.0.0.1:6667", "game: connected"])
            game.close()
        finally:
            server.stop()
        self.assertEqual(shown(), ["server: not running (nothing listens on 127.0.0.1:6667)",
                                   "game: not connected"])

    def test_help_tells_every_command_option_unit_default_and_exit_code(self):
        r = credit("--help", cwd=self.dir)
        self.assertEqual(r.returncode, 0)
        for text in ("serve", "insert", "collect", "status", "ledger", "pence", "Exit codes:", "64", "66"):
            self.assertIn(text, r.stdout)
        r = credit("insert", "--help", cwd=self.dir)
        self.assertEqual(r.returncode, 0)
        for text in ("AMOUNT", "1 to 999999", "--create", "--db PATH=credit.db", "--json"):
            self.assertIn(text, r.stdout)


if __name__ == "__main__":
    unittest.main()

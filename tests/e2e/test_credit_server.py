"""The credit server through its real process: the protocol, refusals, clients, operator commands.

Also the protocol client and ledger checks the other credit tests use; they read the SQLite file
directly, not through the program under test."""
import json
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import threading
import time
import unittest

from harness import CreditServer, owned_socket, program, wait_port_free

PORT = 6667


NOBODY = 65534


class Client:
    """A connection of the game's account, or with `uid` of another one (needs root)."""
    opened = []

    def __init__(self, timeout=10.0, receive_buffer=None, uid=None):
        self.sock = owned_socket(uid)
        if receive_buffer:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(timeout)
        self.sock.connect(("127.0.0.1", PORT))
        Client.opened.append(self)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = b""

    def send(self, data):
        self.sock.sendall(data)

    def line(self):
        """The next reply line, or None when the server closed the connection."""
        while b"\r\n" not in self.pending:
            data = self.sock.recv(4096)
            if not data:
                return None
            self.pending += data
        line, self.pending = self.pending.split(b"\r\n", 1)
        return line.decode("latin-1")

    def ask(self, request):
        self.send(request.encode("latin-1") + b"\r\n")
        return self.line()

    def closed(self, timeout=5.0):
        self.sock.settimeout(timeout)
        try:
            return self.sock.recv(1) == b""
        except ConnectionResetError:
            return True

    def close(self):
        self.sock.close()

    @classmethod
    def close_all(cls):
        for c in cls.opened:
            c.close()
        cls.opened = []


def query(db, sql):
    # Closed at once: an open connection left in this process would change how SQLite
    # recovers the ledger after a crash of the server.
    con = sqlite3.connect(db, timeout=10, isolation_level=None)
    try:
        return con.execute(sql).fetchall()
    finally:
        con.close()


def journal(db):
    return query(db, "SELECT source, command, amount, credit_before, bank_before, due_before,"
                     " credit_after, bank_after, due_after FROM journal ORDER BY id")


def check_ledger(test, db):
    """Balances equal the journal's sums, and each row starts where the one before ended."""
    credit, bank, due = query(db, "SELECT credit, bank, payout_due FROM balances WHERE id = 1")[0]
    rows = journal(db)
    state = (0, 0, 0)
    for row in rows:
        test.assertEqual(row[3:6], state, row)
        state = row[6:9]
        test.assertTrue(all(0 <= v for v in state), row)
        test.assertTrue(state[0] <= 9999 and state[1] <= 9999, row)
    test.assertEqual((credit, bank, due), state)
    return rows


def wait_for_port(proc, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        if proc.poll() is not None:
            raise RuntimeError("credit server ended with %d" % proc.returncode)
        try:
            socket.create_connection(("127.0.0.1", PORT), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.01)
    raise RuntimeError("credit server did not start")


class CreditServerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-credit-")
        wait_port_free()
        self.server = CreditServer(self.dir)
        self.db = self.server.db

    def tearDown(self):
        Client.close_all()
        self.server.stop()
        check_ledger(self, self.db)
        shutil.rmtree(self.dir, ignore_errors=True)

    def op(self, *args):
        return subprocess.run([program("quibblo-credit"), *args, "--db", self.db], cwd=self.dir,
                              capture_output=True, text=True, timeout=30)

    def status(self):
        r = self.op("status", "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        return json.loads(r.stdout)

    def test_a_new_ledger_is_empty_and_each_request_gets_its_reply(self):
        c = Client()
        self.assertEqual(c.ask("CGET"), "CTEL,0")
        self.assertEqual(c.ask("BGET"), "BTEL,0")
        self.assertEqual(c.ask("CUSE,50"), "FAIL,insufficient credit")
        self.assertEqual(self.op("insert", "500").returncode, 0)  # while the client is connected
        self.assertEqual(c.ask("CGET"), "CTEL,500")
        self.assertEqual(c.ask("CUSE,50"), "CTEL,450")
        self.assertEqual(c.ask("BADD,200"), "BTEL,200")
        self.assertEqual(c.ask("CADD,50"), "CTEL,500")
        self.assertEqual(c.ask("BGET"), "BTEL,200")
        rows = journal(self.db)
        self.assertEqual([(r[0], r[1], r[2]) for r in rows],
                         [("operator", "insert", 500), ("game", "CUSE", 50), ("game", "BADD", 200),
                          ("game", "CADD", 50)])
        c.send(b"TERM\r\n")
        self.assertTrue(c.closed())

    def test_a_game_is_paid_from_credit_then_bank_only_when_both_cover_it(self):
        self.op("insert", "30")
        c = Client()
        self.assertEqual(c.ask("BADD,20"), "BTEL,20")
        self.assertEqual(c.ask("CUSE,51"), "FAIL,insufficient credit")
        self.assertEqual(self.status(), {"credit": 30, "bank": 20, "payout_due": 0})
        self.assertEqual(c.ask("CUSE,50"), "CTEL,0")
        self.assertEqual(self.status(), {"credit": 0, "bank": 0, "payout_due": 0})

    def test_bad_requests_are_refused_change_nothing_and_keep_the_connection(self):
        self.op("insert", "100")
        c = Client()
        bad = ["cget", "CGET,5", "XXXX", "", "CUSE", "CUSE,", "CUSE,0", "CUSE,-5", "CUSE,5a",
               "CUSE, 5", "CUSE,+5", "BADD,99999999999999999999", "CADD,1000000", "BADD,1.5",
               "cuse,50", "CUSE,50 ", "C" * 65, "BADD,\x00\xff"]
        for request in bad:
            reply = c.ask(request)
            self.assertTrue(reply.startswith("FAIL,") and len(reply) > 5, (request, reply))
        self.assertEqual(c.ask("CGET"), "CTEL,100")
        self.assertEqual(len(journal(self.db)), 1)

    def test_a_line_without_end_beyond_the_limit_is_refused_and_closed(self):
        c = Client()
        c.send(b"BADD," + b"1" * 200)
        self.assertEqual(c.line(), "FAIL,line too long")
        self.assertTrue(c.closed())
        self.assertEqual(Client().ask("BGET"), "BTEL,0")
        self.assertEqual(journal(self.db), [])

    def test_requests_split_across_segments_and_several_in_one(self):
        c = Client()
        for byte in b"BADD,123\r\n":
            c.send(bytes([byte]))
            time.sleep(0.005)
        self.assertEqual(c.line(), "BTEL,123")
        c.send(b"CADD,5\r\nCGET\r\nBG")
        time.sleep(0.02)
        c.send(b"ET\r\nCUSE,10\r\nnope\r\nCGET\r\n")
        self.assertEqual([c.line() for _ in range(6)],
                         ["CTEL,5", "CTEL,5", "BTEL,123", "CTEL,0", "FAIL,unknown command", "CTEL,0"])
        self.assertEqual(self.status(), {"credit": 0, "bank": 118, "payout_due": 0})

    def test_a_flood_of_requests_sent_before_reading_any_reply(self):
        # A small receive window, and no reading for a while: the replies pile up in the server.
        c = Client(timeout=30, receive_buffer=4096)
        count = 30000
        sender = threading.Thread(target=c.send, args=(b"BADD,1\r\n" + b"CGET\r\n" * count,))
        sender.start()
        time.sleep(0.5)
        replies = [c.line() for _ in range(count + 1)]
        sender.join()
        self.assertEqual(replies[0], "BTEL,1")
        self.assertEqual(set(replies[1:]), {"CTEL,0"})
        self.assertEqual(c.ask("BGET"), "BTEL,1")

    def test_a_server_kept_busy_still_stops_on_sigterm(self):
        # Requests always waiting to be read: the server's wait never sleeps, yet it must stop.
        c = Client(timeout=30)
        stop = threading.Event()

        def flood():
            try:
                while not stop.is_set():
                    c.send(b"CGET\r\n" * 2000)
            except OSError:
                pass

        def drain():
            try:
                while not stop.is_set() and c.sock.recv(65536):
                    pass
            except OSError:
                pass

        workers = [threading.Thread(target=flood), threading.Thread(target=drain)]
        for w in workers:
            w.start()
        time.sleep(1.0)
        self.server.proc.send_signal(signal.SIGTERM)
        try:
            code = self.server.proc.wait(3)
        finally:
            stop.set()
            c.sock.close()
            for w in workers:
                w.join()
        self.assertEqual(code, 0)

    def test_one_game_and_onlookers_and_games_that_vanish(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to make onlookers of another account")
        game = Client()
        onlookers = [Client(uid=NOBODY) for _ in range(6)]
        for round_ in range(5):
            self.assertTrue(game.ask("BADD,1").startswith("BTEL,"))
            for c in onlookers:
                self.assertEqual(c.ask("BGET"), "BTEL,%d" % (round_ + 1))
        self.assertEqual(Client().ask("BGET"), "FAIL,another game is connected")
        game.close()
        gone = Client()  # at once after the last game closed: it takes the place
        gone.send(b"BADD,7\r\nBGET\r\n")  # and never reads the replies
        gone.sock.close()
        half = Client()
        half.send(b"CADD,")
        half.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        half.sock.close()  # reset mid-request
        time.sleep(0.2)
        game = Client()
        self.assertEqual(game.ask("BGET"), "BTEL,12")

        # Onlookers read while the game writes: every acknowledged add is there exactly once.
        acks, seen, stop = [], [], threading.Event()

        def look(c):
            while not stop.is_set():
                seen.append(c.ask("CGET"))

        threads = [threading.Thread(target=look, args=(c,)) for c in onlookers[:4]]
        for t in threads:
            t.start()
        for _ in range(100):
            if game.ask("CADD,1").startswith("CTEL,"):
                acks.append(1)
        stop.set()
        for t in threads:
            t.join()
        self.assertEqual(len(acks), 100)
        self.assertEqual(self.status()["credit"], 100)
        self.assertTrue(seen and all(r.startswith("CTEL,") for r in seen), seen[-3:])

    def test_readings_stay_below_ten_thousand_and_prizes_are_never_lost(self):
        self.assertEqual(self.op("insert", "9999").returncode, 0)
        r = self.op("insert", "1")
        self.assertEqual(r.returncode, 1)
        self.assertIn("refused", r.stderr)
        c = Client()
        self.assertEqual(c.ask("CADD,50"), "CTEL,9999")
        self.assertEqual(c.ask("BADD,9900"), "BTEL,9900")
        self.assertEqual(c.ask("BADD,500"), "BTEL,9999")
        self.assertEqual(self.status(), {"credit": 9999, "bank": 9999, "payout_due": 451})
        r = self.op("collect")
        self.assertEqual((r.returncode, r.stdout), (0, "collect: paid 10450p (\u00a3104.50)\n"))
        self.assertEqual(self.status(), {"credit": 9999, "bank": 0, "payout_due": 0})
        self.assertEqual(c.ask("BGET"), "BTEL,0")
        rows = json.loads(self.op("ledger", "--json").stdout)
        self.assertEqual(rows[-1]["command"], "collect")
        self.assertEqual(rows[-1]["source"], "operator")
        self.assertEqual((rows[-1]["amount"], rows[-1]["bank_before"], rows[-1]["bank_after"]),
                         (10450, 9999, 0))
        for key in ("time", "source", "command", "amount", "credit_before", "bank_before",
                    "credit_after", "bank_after"):
            self.assertIn(key, rows[0])

    def test_operator_commands_report_bad_use(self):
        for args in (["insert"], ["insert", "0"], ["insert", "-5"], ["insert", "12abc"],
                     ["insert", "5", "6"], ["fly"], [], ["status", "--bogus"]):
            r = subprocess.run([program("quibblo-credit"), *args, "--db", self.db], cwd=self.dir,
                               capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 64, args)
            self.assertTrue(r.stderr.strip(), args)
        self.assertEqual(journal(self.db), [])
        self.assertIn("credit: 0\nbank: 0\npayout_due: 0\n", self.op("status").stdout)

    def test_operator_inserts_while_a_client_keeps_querying(self):
        readings, stop = [], threading.Event()

        def query():
            c = Client()
            while not stop.is_set():
                readings.append(c.ask("CGET"))
            c.close()

        t = threading.Thread(target=query)
        t.start()
        try:
            for _ in range(10):
                r = self.op("insert", "10")
                self.assertEqual(r.returncode, 0, r.stderr)
        finally:
            stop.set()
            t.join()
        values = [int(x.split(",")[1]) for x in readings]
        self.assertTrue(all(x.startswith("CTEL,") for x in readings))
        self.assertEqual(values, sorted(values))
        self.assertEqual(Client().ask("CGET"), "CTEL,100")

    def test_a_query_right_after_an_operator_command_sees_it(self):
        """The server answers queries from memory: each operator command, another process's
        commit, shows in the very next query on a connection that has been asking all along."""
        game = Client()
        credit = 0
        for amount in (1, 7, 250, 1):
            self.assertEqual(game.ask("CGET"), "CTEL,%d" % credit)
            r = self.op("insert", str(amount))
            self.assertEqual(r.returncode, 0, r.stderr)
            credit += amount
            self.assertEqual(game.ask("CGET"), "CTEL,%d" % credit)
        # The game's own commands and the operator's, interleaved.
        self.assertEqual(game.ask("CUSE,9"), "CTEL,%d" % (credit - 9))
        self.assertEqual(game.ask("BADD,120"), "BTEL,120")
        self.assertEqual(self.op("insert", "5").returncode, 0)
        self.assertEqual(game.ask("CGET"), "CTEL,%d" % (credit - 4))
        self.assertEqual(game.ask("BGET"), "BTEL,120")
        self.assertEqual(self.op("collect").returncode, 0)
        self.assertEqual(game.ask("BGET"), "BTEL,0")
        # A writer that empties the log first (a checkpoint that truncates it) is seen as well.
        query(self.db, "PRAGMA wal_checkpoint(TRUNCATE)")
        self.assertEqual(self.op("insert", "3").returncode, 0)
        self.assertEqual(game.ask("CGET"), "CTEL,%d" % (credit - 1))
        self.assertEqual(game.ask("CUSE,1"), "CTEL,%d" % (credit - 2))

    def test_a_ledger_that_does_not_balance_is_not_served(self):
        self.op("insert", "100")
        self.server.stop()
        query(self.db, "UPDATE balances SET credit = 5000")
        proc = subprocess.run([program("quibblo-credit"), "serve", "--db", self.db], cwd=self.dir,
                              capture_output=True, text=True, timeout=30)
        self.assertEqual(proc.returncode, 1)
        self.assertIn("do not equal the sum of the journal", proc.stderr)
        self.assertEqual(self.op("insert", "5").returncode, 1)
        query(self.db, "UPDATE balances SET credit = 100")
        self.server = CreditServer(self.dir)

    def test_sigterm_stops_cleanly_and_a_restart_gets_the_port_and_the_money_back(self):
        c = Client()
        self.assertEqual(c.ask("BADD,300"), "BTEL,300")
        self.server.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.server.proc.wait(10), 0)
        self.assertTrue(c.closed())
        self.server.stop()
        self.server = CreditServer(self.dir)  # at once: no waiting for the port
        self.assertEqual(Client().ask("BGET"), "BTEL,300")


if __name__ == "__main__":
    unittest.main()

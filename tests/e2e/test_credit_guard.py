"""Who may move money, and what the server owes its neighbours: other local accounts, a second
game, idle and half-open clients, running out of descriptors, private files, a payout limit.

Other accounts are real: a child process as nobody, or sockets made under its uid (needs root,
which the end-to-end tests have inside their own network namespace)."""
import json
import os
import resource
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import time
import unittest

import test_credit_server as peer
from harness import CreditServer, Listener, program, wait_port_free

NOBODY = peer.NOBODY

# Run as nobody: each request on a connection of its own (a refused mover is closed), every
# reply (or None for a closed connection) printed as JSON.
FOREIGN_CLIENT = r"""
import json, socket, sys
replies = []
for request in sys.argv[1:]:
    s = socket.create_connection(("127.0.0.1", 6667), timeout=5)
    s.sendall(request.encode() + b"\r\n")
    data = b""
    while b"\r\n" not in data:
        chunk = s.recv(4096)
        if not chunk:
            break
        data += chunk
    replies.append(data.split(b"\r\n")[0].decode() if data else None)
    s.close()
print(json.dumps([__import__("os").geteuid(), replies]))
"""


PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def as_nobody(*requests):
    r = subprocess.run([PYTHON, "-c", FOREIGN_CLIENT, *requests], user=NOBODY, group=NOBODY,
                       extra_groups=[], capture_output=True, text=True, timeout=30)
    if r.returncode != 0:
        raise RuntimeError(r.stderr)
    uid, replies = json.loads(r.stdout)
    assert uid == NOBODY
    return replies


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class GuardTest(unittest.TestCase):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to be a second local account")
        self.dir = tempfile.mkdtemp(prefix="quibblo-credit-guard-")
        os.chmod(self.dir, 0o755)  # nobody's client needs no file here, but may look
        wait_port_free()
        self.server = None

    def tearDown(self):
        peer.Client.close_all()
        log = self.stop()
        if self.server:
            peer.check_ledger(self, self.server.db)
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, *args, **popen):
        self.server = CreditServer(self.dir, args=args, **popen)
        return self.server

    def stop(self):
        """Stops the server; its log (standard error)."""
        if not self.server or not self.server.proc.stderr or self.server.proc.stderr.closed:
            return ""
        self.server.proc.terminate()
        self.server.proc.wait(10)
        log = self.server.proc.stderr.read().decode()
        self.server.stop()
        return log

    def rows(self):
        return [(r[0], r[1], r[2]) for r in peer.journal(self.server.db)]

    def test_another_account_may_read_but_never_move_money(self):
        server = self.start()
        server.operator("insert", "500")
        game = peer.Client()
        self.assertEqual(game.ask("BADD,100"), "BTEL,100")
        tries = ["BADD,9999", "CUSE,50", "CADD,50", "BADD,1", "CGET", "BGET"]
        replies = as_nobody(*tries)
        refused = "FAIL,not the game's account"
        self.assertEqual(replies, [refused] * 4 + ["CTEL,500", "BTEL,100"])
        # A mover is closed after its refusal; the game goes on meanwhile.
        mover = peer.Client(uid=NOBODY)
        self.assertEqual(mover.ask("CGET"), "CTEL,500")
        self.assertEqual(mover.ask("CUSE,50"), refused)
        self.assertTrue(mover.closed())
        self.assertEqual(game.ask("CUSE,50"), "CTEL,450")
        self.assertEqual(self.rows(), [("operator", "insert", 500), ("game", "BADD", 100), ("game", "CUSE", 50)])
        log = self.stop()
        self.assertEqual(log.count("not the game's account"), 5, log)
        self.assertIn("refused BADD,9999 from uid %d" % NOBODY, log)

    def test_the_configured_account_is_the_game(self):
        self.start("--game-uid", str(NOBODY))
        self.assertEqual(as_nobody("CADD,70", "CGET"), ["CTEL,70", "CTEL,70"])
        root = peer.Client()
        self.assertEqual(root.ask("CGET"), "CTEL,70")
        self.assertEqual(root.ask("CUSE,50"), "FAIL,not the game's account")
        self.assertEqual(self.rows(), [("game", "CADD", 70)])

    def test_one_game_connection_at_a_time(self):
        self.start()
        first = peer.Client()
        self.assertEqual(first.ask("CADD,5"), "CTEL,5")
        second = peer.Client()
        second.send(b"CADD,7\r\n")
        self.assertEqual(second.line(), "FAIL,another game is connected")
        self.assertTrue(second.closed())
        self.assertEqual(first.ask("CGET"), "CTEL,5")
        # Gone, whether with TERM or a plain close, it frees the place at once.
        first.send(b"TERM\r\n")
        first.close()
        third = peer.Client()
        self.assertEqual(third.ask("CADD,1"), "CTEL,6")
        third.close()
        self.assertEqual(peer.Client().ask("CGET"), "CTEL,6")
        self.assertEqual(self.rows(), [("game", "CADD", 5), ("game", "CADD", 1)])

    def test_amounts_with_leading_zeros_are_refused(self):
        server = self.start()
        c = peer.Client()
        for request in ("BADD,000100", "CADD,05", "CUSE,050", "BADD,0", "BADD,00"):
            self.assertEqual(c.ask(request), "FAIL,bad amount", request)
        self.assertEqual(c.ask("BADD,100"), "BTEL,100")
        r = subprocess.run([program("quibblo-credit"), "insert", "0100", "--db", server.db],
                           capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 64, r.stdout)
        self.assertEqual(self.rows(), [("game", "BADD", 100)])

    def test_the_ledger_is_private_and_status_only_reads(self):
        # Whatever umask it is started under.
        server = self.start(preexec_fn=lambda: os.umask(0))
        peer.Client().ask("BADD,300")
        files = [f for f in os.listdir(self.dir) if f.startswith("credit.db")]
        self.assertIn("credit.db-wal", files)
        for name in files:
            mode = stat.S_IMODE(os.stat(os.path.join(self.dir, name)).st_mode)
            self.assertEqual(mode & 0o077, 0, "%s is %o" % (name, mode))
        self.stop()
        # A ledger made open to all is closed again.
        os.chmod(server.db, 0o666)
        self.start()
        self.assertEqual(stat.S_IMODE(os.stat(server.db).st_mode), 0o600)
        self.stop()
        # status and ledger need no write access, and make nothing.
        reader = os.path.join(self.dir, "reader")
        os.mkdir(reader)
        shutil.copy(server.db, reader)
        for path in [reader] + [os.path.join(reader, f) for f in os.listdir(reader)]:
            os.chown(path, NOBODY, NOBODY)
        os.chmod(os.path.join(reader, "credit.db"), 0o400)
        os.chmod(reader, 0o500)
        before = sorted(os.listdir(reader))
        for command in (["status", "--json"], ["ledger", "--json"]):
            r = subprocess.run([program("quibblo-credit"), *command, "--db", os.path.join(reader, "credit.db")],
                               user=NOBODY, group=NOBODY, extra_groups=[], capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn("300", r.stdout)
        self.assertEqual(json.loads(r.stdout)[0]["amount"], 300)
        self.assertEqual(sorted(os.listdir(reader)), before)
        missing = os.path.join(self.dir, "none.db")
        r = subprocess.run([program("quibblo-credit"), "status", "--db", missing], capture_output=True,
                           text=True, timeout=30)
        self.assertNotEqual(r.returncode, 0)
        self.assertFalse(os.path.exists(missing))

    def test_payout_due_has_a_limit_and_a_prize_past_it_is_refused_and_logged(self):
        server = self.start("--payout-cap", "500")
        c = peer.Client()
        self.assertEqual(c.ask("BADD,9999"), "BTEL,9999")
        self.assertEqual(c.ask("BADD,400"), "BTEL,9999")
        self.assertEqual(c.ask("BADD,200"), "FAIL,payout limit reached")
        self.assertEqual(c.ask("CADD,100"), "CTEL,100")  # reads in full: nothing held
        self.assertEqual(c.ask("CADD,10000"), "FAIL,payout limit reached")
        self.assertEqual(c.ask("BADD,100"), "BTEL,9999")  # exactly to the limit
        self.assertEqual(c.ask("BADD,1"), "FAIL,payout limit reached")
        server.operator("collect")
        self.assertEqual(c.ask("BADD,200"), "BTEL,200")
        log = self.stop()
        self.assertEqual(log.count("would pass its limit of 500"), 3, log)
        self.assertEqual([r[2] for r in self.rows()], [9999, 400, 100, 100, 10499, 200])
        r = subprocess.run([program("quibblo-credit"), "serve", "--payout-cap", "x"], capture_output=True,
                           text=True, timeout=30)
        self.assertEqual(r.returncode, 64)

    def test_idle_and_half_open_clients_are_closed_and_the_game_gets_back_in(self):
        self.start("--idle-timeout", "9")
        quiet = peer.Client()
        self.assertEqual(quiet.ask("CGET"), "CTEL,0")
        asked = time.time()
        half = peer.Client(uid=NOBODY)
        half.send(b"CGE")
        # Each connection, once accepted, is probed for a peer that vanished.
        end = time.time() + 3
        while True:
            ss = subprocess.run(["ss", "-tnoH", "state", "established", "( sport = :6667 )"],
                                capture_output=True, text=True, timeout=10).stdout
            if ss.count("keepalive") == 2 or time.time() > end:
                break
            time.sleep(0.05)
        self.assertEqual(ss.count("keepalive"), 2, ss)
        self.assertTrue(half.closed(timeout=10))  # a line begun and never ended
        self.assertLess(time.time() - asked, 7)
        quiet.sock.setblocking(False)
        with self.assertRaises(BlockingIOError):  # quiet, but not for long enough yet
            quiet.sock.recv(1)
        self.assertTrue(quiet.closed(timeout=10))
        self.assertGreater(time.time() - asked, 7)
        self.assertEqual(peer.Client().ask("BGET"), "BTEL,0")

    def test_out_of_descriptors_the_server_rests_then_serves(self):
        limit = 12

        def low_limit():
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))

        server = self.start(preexec_fn=low_limit)
        clients = [peer.Client(uid=NOBODY) for _ in range(limit - 2)]  # more than it has descriptors for
        time.sleep(0.3)
        before = cpu_seconds(server.proc.pid)
        time.sleep(2)
        spent = cpu_seconds(server.proc.pid) - before
        self.assertLess(spent, 0.2, "the server spins while out of descriptors")
        self.assertEqual(clients[0].ask("BGET"), "BTEL,0")
        for c in clients:
            c.close()
        peer.Client.close_all()
        time.sleep(1)
        # The place is free again: the game is let in and served.
        self.assertEqual(peer.Client(timeout=5).ask("CADD,3"), "CTEL,3")
        self.assertIn("Too many open files", self.stop())

    def test_a_listener_of_another_account_is_seen_as_its(self):
        # The fixture the game's own check meets: a stand-in server owned by nobody.
        rogue = Listener(uid=NOBODY)
        try:
            c = socket.create_connection(("127.0.0.1", 6667), timeout=5)
            c.sendall(b"CGET\r\n")
            self.assertEqual(c.recv(100), b"CTEL,0\r\n")
            ss = subprocess.run(["ss", "-tlneH", "( sport = :6667 )"], capture_output=True, text=True,
                                timeout=10).stdout
            self.assertIn("uid:%d" % NOBODY, ss)
            c.close()
        finally:
            rogue.close()


if __name__ == "__main__":
    unittest.main()

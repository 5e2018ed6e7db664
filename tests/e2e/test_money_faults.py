"""The money path through faults: a credit server that stalls, goes mute or hangs up around a
stake or a prize, one that refuses a prize, an account that is not the server's on the port,
kill -9 of the game at random moments of a won game, a data folder that cannot be written and
links planted to lead writes out of the working folder. After each, every penny in the ledger is
in the meters and the other way round, and nothing was paid twice or lost."""
import os
import random
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from harness import LOG, PORT, Cabinet, Listener, data_tree, needs, program, read_file, signed
from play_support import Screens, Shot

SOURCE = os.environ.get("QUIBBLO_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
KILLS = int(os.environ.get("QUIBBLO_MONEY_KILLS", "8"))
START = "675 543"
MENU_AFTER_WIN = 224000  # the demonstration game's menu after its prize of 55


def demo(extra=(), until=None):
    """The demonstration game (won, a prize of 55), with its screenshots and any extra lines."""
    with open(os.path.join(SOURCE, "scripts", "demo.touches")) as f:
        lines = [l for l in f.read().splitlines() if l and not l.startswith("#")]
    if until is not None:
        lines = [l for l in lines if int(l.split()[0]) < until]
    lines += list(extra)
    lines.sort(key=lambda l: int(l.split()[0]))
    return "\n".join(lines) + "\n"


def meters_of(cab):
    path = cab.path("data", "morvane.rec")
    if not os.path.exists(path):
        return 0.0, [0] * 453
    with open(path, "rb") as f:
        balance, *meters = struct.unpack("<f453i", f.read()[:1816])
    return balance, meters


def due_of(cab):
    path = cab.path("data", "morvane.due")
    return read_file(path) if os.path.exists(path) else ""


class FaultyServer(Listener):
    """A credit server in the test, with balances, that misbehaves once on chosen commands:
    "mute" applies the command and never answers; "drop" hangs up without applying it;
    "refuse" answers FAIL every time."""

    def __init__(self, credit=500, faults=None):
        self.credit, self.bank = credit, 0
        self.faults = dict(faults or {})
        self.applied = []
        super().__init__(self.answer)

    def answer(self, line):
        cmd, _, value = line.decode("latin-1").partition(",")
        fault = self.faults.get(cmd)
        if fault in ("mute", "drop"):
            del self.faults[cmd]
        if fault == "drop":
            return "drop"
        if fault == "refuse":
            return b"FAIL,refused\r\n"
        if cmd in ("CUSE", "BADD", "CADD"):
            amount = int(value)
            if cmd == "CUSE":
                if amount > self.credit + self.bank:
                    return b"FAIL,insufficient credit\r\n"
                spent = min(self.credit, amount)
                self.credit -= spent
                self.bank -= amount - spent
            elif cmd == "BADD":
                self.bank += amount
            else:
                self.credit += amount
            self.applied.append((cmd, amount))
        if fault == "mute":
            return None
        if cmd in ("CGET", "CUSE", "CADD"):
            return b"CTEL,%d\r\n" % self.credit
        if cmd in ("BGET", "BADD"):
            return b"BTEL,%d\r\n" % self.bank
        return b"FAIL,unknown\r\n"


class MoneyBooks(unittest.TestCase):
    def check_books(self, cab, handed_back=0, start=500):
        """Ledger and record file agree; no money is due any more."""
        balance, m = meters_of(cab)
        ledger = [e for e in cab.ledger() if e["source"] == "game"]
        stakes = [e["amount"] for e in ledger if e["command"] == "CUSE"]
        paid = sum(e["amount"] for e in ledger if e["command"] in ("BADD", "CADD"))
        self.assertEqual(len(stakes), m[0] + m[449] + handed_back, ledger)
        self.assertEqual(paid, m[413] + 50 * handed_back, ledger)
        self.assertAlmostEqual(balance, m[413] - 15.0 * (m[0] + m[449]), places=2)
        s = cab.status()
        self.assertEqual(s["credit"] + s["bank"] + s["payout_due"], start - sum(stakes) + paid)
        self.assertEqual(due_of(cab), "")
        return m


@needs("quibblo", "quibblo-credit", "quibblo-assets")
class KilledMidGame(MoneyBooks):
    def start(self, cab, script):
        with open(cab.path("touches.txt"), "w") as f:
            f.write(script)
        return subprocess.Popen([program("quibblo"), "--headless", "--virtual-clock", "--touches", "touches.txt"],
                                cwd=cab.dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_kill_9_at_random_moments_of_a_won_game(self):
        rng = random.Random(int(os.environ.get("QUIBBLO_MONEY_SEED", "16")))
        script = demo(until=MENU_AFTER_WIN)
        with Cabinet(server="real", credit=500) as cab:
            begun = time.time()
            self.start(cab, script).wait()
            whole = time.time() - begun
        seen = {"before the stake": 0, "mid-game": 0, "prize owed": 0, "after the game": 0}
        for kill in range(KILLS):
            with Cabinet(server="real", credit=500) as cab:
                game = self.start(cab, script)
                if kill % 2:
                    # At random in the run, up to just after the game's end.
                    time.sleep(rng.uniform(0.05, whole))
                else:
                    # The moment the prize is owed, or once its payment is on its way.
                    want = "prize" if kill % 4 == 0 else "credit 55"
                    end = time.time() + 60
                    while want not in due_of(cab) and game.poll() is None and time.time() < end:
                        time.sleep(0.0005)
                game.send_signal(signal.SIGKILL)
                game.wait()
                due = due_of(cab)
                stakes = len([e for e in cab.ledger() if e["command"] == "CUSE"])
                kind = ("prize owed" if "prize" in due else "mid-game" if due else
                        "before the stake" if stakes == 0 else "after the game")
                seen[kind] += 1
                # The next start books and pays what the killed run left, then idles out.
                r = cab.run("")
                self.assertEqual(r.code, 0, r.stderr)
                log = r.log
                self.assertNotIn("attendant", log.lower(), "kill %d (%s)" % (kill, kind))
                m = self.check_books(cab)
                if kind == "prize owed":
                    self.assertEqual(m[413], 55, "kill %d: the owed prize was not booked" % kill)
                    self.assertIn("the last run won", log)
        print("kills:", KILLS, seen, file=sys.stderr)
        self.assertGreater(seen["prize owed"], 0)


@needs("quibblo", "quibblo-assets")
class FaultyServerTest(MoneyBooks):
    def play(self, server_faults, script=None):
        with Cabinet(server=None) as cab:
            os.makedirs(cab.path("shots"))
            server = FaultyServer(faults=server_faults)
            try:
                start = time.time()
                r = cab.run(script or demo(until=MENU_AFTER_WIN + 1))
                took = time.time() - start
            finally:
                server.close()
            _, m = meters_of(cab)
            r.saved_log = r.log
            r.menu_shots = {n: read_file(cab.path("shots", n), "rb") for n in os.listdir(cab.path("shots"))}
            return r, server, m, due_of(cab), took

    def test_a_lost_reply_is_recognised_and_nothing_is_paid_twice(self):
        # The stake: applied, its reply never sent; the prize: applied and mute, or hung up on
        # before it was applied.
        for faults in ({"CUSE": "mute"}, {"CADD": "mute"}, {"CADD": "drop"}, {"CGET": "mute", "BGET": "drop"}):
            r, server, m, due, took = self.play(faults)
            self.assertEqual(r.code, 0, r.stderr)
            self.assertEqual(server.applied, [("CUSE", 50), ("CADD", 55)], faults)
            self.assertEqual((m[0], m[413]), (1, 55), faults)
            self.assertEqual((server.credit, server.bank), (505, 0))
            self.assertEqual(due, "")
            self.assertIn("Credit server link lost", r.saved_log)
            if "CUSE" in faults:
                self.assertIn("A stake of 50 was taken although its reply was lost", r.saved_log)
            if faults.get("CADD") == "mute":
                self.assertIn("Paid 55 to the credit (its reply had been lost)", r.saved_log)

    def test_a_refused_prize_is_owed_shown_and_stops_stakes(self):
        r, server, m, due, _ = self.play({"CADD": "refuse"},
                                         demo(["%d touch %s" % (MENU_AFTER_WIN + 500, START)]))
        self.assertEqual(r.code, 0, r.stderr)
        self.assertEqual(server.applied, [("CUSE", 50)], "a stake was taken while a prize was owed")
        self.assertEqual(m[413], 55)  # booked, and owed
        self.assertEqual(due, "credit 55 %d 0\n" % 450)
        self.assertRegex(r.saved_log, r"CADD,55 refused \(FAIL,refused\); 55 stays owed\n")
        self.assertEqual(r.saved_log.count("stays owed"), 1)  # once, not at every retry
        # The menu says so where the insert-money prompt would be.
        shot = Shot(r.menu_shots["07-menu-after.png"])
        screens = Screens(data_tree())
        self.assertTrue(screens.is_menu(shot))
        self.assertFalse(screens.insert.shown(shot, 0, 568, 445, share=0.9))
        keep = os.environ.get("QUIBBLO_KEEP_SHOTS")
        if keep:
            with open(os.path.join(keep, "call-attendant.png"), "wb") as f:
                f.write(r.menu_shots["07-menu-after.png"])

    def test_a_mute_server_never_freezes_the_cabinet(self):
        class Mute(FaultyServer):
            def answer(self, line):
                return b"CTEL,500" if line == b"CGET" else None  # no line end, or nothing
        with Cabinet(server=None) as cab:
            server = Mute()
            try:
                start = time.time()
                r = cab.run("3000 touch %s\n5000 touch %s\n" % (START, START), timeout=120)
                took = time.time() - start
            finally:
                server.close()
            self.assertEqual(r.code, 0, r.stderr)
            self.assertNotIn(b"CUSE", server.received)
            self.assertIn("Credit server link lost (no whole reply in time", r.log)
            self.assertLess(took, 60)


@needs("quibblo", "quibblo-credit", "quibblo-assets")
class FilesTest(MoneyBooks):
    def test_a_record_that_cannot_be_saved_stops_stakes_and_loses_nothing(self):
        with Cabinet(server="real", credit=500) as cab:
            os.makedirs(cab.path("data", "morvane.rec"))  # a directory where the record belongs
            r = cab.run(demo(["%d touch %s" % (MENU_AFTER_WIN + 500, START)], until=MENU_AFTER_WIN))
            self.assertEqual(r.code, 0, r.stderr)
            self.assertIn("Record file not saved", r.log)
            ledger = cab.ledger()
            self.assertEqual([e["command"] for e in ledger if e["source"] == "game"], ["CUSE", "CADD"])
            # Mended, the next start books the game the meters could not hold.
            os.rmdir(cab.path("data", "morvane.rec"))
            r = cab.run("")
            self.assertEqual(r.code, 0, r.stderr)
            m = self.check_books(cab)
            self.assertEqual((m[0], m[413]), (1, 55))

    def test_a_read_only_data_folder_takes_no_stake(self):
        with Cabinet(server="real", credit=500) as cab:
            os.makedirs(cab.path("data"))
            with open(cab.path("touches.txt"), "w") as f:
                f.write("3000 touch %s\n5000 touch %s\n" % (START, START))
            mount = "mount --bind -o ro data data && exec \"$@\""
            r = subprocess.run(["unshare", "-m", "sh", "-c", mount, "sh", program("quibblo"), "--headless",
                                "--virtual-clock", "--touches", "touches.txt"], cwd=cab.dir, capture_output=True,
                               timeout=120)
            if b"mount" in r.stderr and r.returncode != 0:
                self.skipTest("no read-only mount here: %s" % r.stderr.decode())
            self.assertEqual(signed(r.returncode), 0, r.stderr)
            log = read_file(cab.path(LOG))
            self.assertIn("Due file not written", log)
            self.assertEqual([e for e in cab.ledger() if e["source"] == "game"], [])
            self.assertEqual(cab.status()["credit"], 500)

    def test_links_never_lead_writes_out_of_the_working_folder(self):
        with Cabinet(server="real", credit=500) as cab:
            outside = tempfile.mkdtemp(prefix="quibblo-outside-")
            try:
                victims = {}
                os.makedirs(cab.path("data"))
                for name in ("data/morvane.rec", "data/morvane.tmp", "data/morvane.dtmp",
                             "~system/logs/Quibblo.txt"):
                    victim = os.path.join(outside, name.replace("/", "_"))
                    with open(victim, "w") as f:
                        f.write("untouched")
                    victims[victim] = "untouched"
                    os.makedirs(os.path.dirname(cab.path(name)), exist_ok=True)
                    os.symlink(victim, cab.path(name))
                r = cab.run(demo(until=MENU_AFTER_WIN))
                self.assertEqual(r.code, 0, r.stderr)
                for victim, text in victims.items():
                    self.assertEqual(read_file(victim), text, victim)
                self.assertFalse(os.path.islink(cab.path("data", "morvane.rec")))
                self.assertTrue(os.path.islink(cab.path(LOG)))  # no log rather than one elsewhere
                m = self.check_books(cab)
                self.assertEqual((m[0], m[413]), (1, 55))
            finally:
                shutil.rmtree(outside, ignore_errors=True)


# A listener owned by another account: the port's owner is not the server the game expects.
STRANGER = r"""
import os, socket, sys, time
os.setgid(65534); os.setuid(65534)
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", %d)); s.listen(8)
print("ready", flush=True)
# A stranger slow to accept is the hard case: until it does, the kernel names root as the owner
# of the connection's far end.
time.sleep(float(os.environ.get("STRANGER_ACCEPT_DELAY", "0")))
s.settimeout(20)
got = b""
try:
    while True:
        c, _ = s.accept()
        c.settimeout(2)
        try:
            while True:
                d = c.recv(4096)
                if not d: break
                got += d
        except OSError:
            pass
except OSError:
    pass
sys.stdout.write(repr(got)); sys.stdout.flush()
""" % PORT


@needs("quibblo", "quibblo-assets")
class StrangerOnThePort(unittest.TestCase):
    def test_a_port_held_by_another_account_is_not_trusted(self):
        if os.getuid() != 0:
            self.skipTest("making a second account's listener needs root")
        with Cabinet(server=None) as cab:
            for delay in ("0", "5"):
                stranger = subprocess.Popen([sys.executable, "-c", STRANGER], stdout=subprocess.PIPE, text=True,
                                            env=dict(os.environ, STRANGER_ACCEPT_DELAY=delay))
                try:
                    self.assertEqual(stranger.stdout.readline().strip(), "ready")
                    r = cab.run("3000 touch %s\n" % START, timeout=60)
                    self.assertEqual(r.code, 2, "trusted a stranger accepting after %s s" % delay)
                    self.assertIn("belongs to uid 65534, not 0: not trusted", r.stderr)
                finally:
                    stranger.send_signal(signal.SIGTERM)
                    stranger.wait()
            # Trusted when it is the account the game is told to expect.
            stranger = subprocess.Popen([sys.executable, "-c", STRANGER], stdout=subprocess.PIPE, text=True)
            try:
                self.assertEqual(stranger.stdout.readline().strip(), "ready")
                r = cab.run("", timeout=60, env={"QUIBBLO_CREDIT_UID": "65534"})
                self.assertNotEqual(r.code, 2, r.stderr)
            finally:
                stranger.kill()
                stranger.wait()


if __name__ == "__main__":
    unittest.main()

"""The operator's report of a known record file, as text and as JSON."""
import json
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from harness import needs, program

TRAILER = b"Quibblo Morvane V1.0.0.4  release date 29-01-2007 - Inf File Written 02/13/09"
NOT_A_RECORD = 65


def record(balance, meters, trailer=TRAILER):
    values = [0] * 453
    for n, v in meters.items():
        values[n] = v
    return struct.pack("<f453i", balance, *values) + trailer


@needs("quibblo-meters")
class MetersReportTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-meters-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def report(self, data, *args, name="morvane.rec"):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return subprocess.run([program("quibblo-meters"), path, *args], capture_output=True,
                              timeout=30)

    def test_text_report_decodes_every_nonzero_meter(self):
        data = record(-25.5, {0: 3, 2: 3, 312: 1, 413: 55, 414: 55, 421: 1, 102: 1, 422: 3,
                              449: 1, 300: 17, 426: -4, 436: 2})
        r = self.report(data)
        self.assertEqual(r.returncode, 0, r.stderr)
        out = r.stdout.decode("utf-8")
        for line in ["Payout balance: -25.50 pence", "prizes won of 55p: 1",
                     "bank offers made of \u00a31.30: 1", "games paid: 3",
                     "games started in payout band 1: 3", "questions asked: 17",
                     "games with the player's box BOX 9: 2",
                     "meter never counted by the game: -4",
                     "Stakes taken (games and continues): \u00a32.00 (3 games, 1 continues)",
                     "Prizes won: 55p in 1 games", "Return to player: 27.50%",
                     "Trailer: " + TRAILER.decode()]:
            self.assertIn(line, out)
        self.assertNotIn("prizes won of 5p", out)  # zero meters are left out

    def test_json_report_holds_all_meters_and_the_trailer(self):
        meters = {n: n * 7 - 100 for n in range(0, 453, 5)}
        r = self.report(record(1.25, meters), "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        doc = json.loads(r.stdout)
        self.assertEqual(doc["payout_balance"], 1.25)
        self.assertEqual(len(doc["meters"]), 453)
        self.assertEqual(doc["meters"], [meters.get(n, 0) for n in range(453)])
        self.assertEqual(doc["trailer"], TRAILER.decode())
        self.assertEqual(doc["games_paid"], -100)

    def test_anything_but_a_whole_record_file_is_named_and_refused(self):
        whole = record(2.0, {0: 1})
        cases = {"empty": (b"", "it is empty"),
                 "short": (whole[:11], "it is 11 bytes, too short"),
                 "no trailer": (whole[:1816], "after the meters there is no \"Quibblo Morvane V1.0.0.4"),
                 "a text": (b"# Quibblo\n" * 400, "after the meters there is no"),
                 "cut trailer": (whole[:-1], "it is 1892 bytes, not 1893"),
                 "long": (whole + b"\n", "it is 1894 bytes, not 1893"),
                 "bad date": (whole[:-8] + b"13-02-09", "not mm/dd/yy")}
        for name, (data, why) in cases.items():
            for args in ((), ("--json",)):
                r = self.report(data, *args)
                self.assertEqual(r.returncode, NOT_A_RECORD, name)
                self.assertEqual(r.stdout, b"", name)
                self.assertIn(b"morvane.rec is not a record file: ", r.stderr, name)
                self.assertIn(why.encode(), r.stderr, name)
        with open(os.path.join(self.dir, "picture.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + bytes(3000))
        r = subprocess.run([program("quibblo-meters"), "--json", os.path.join(self.dir, "picture.png")],
                           capture_output=True, timeout=30)
        self.assertEqual((r.returncode, r.stdout), (NOT_A_RECORD, b""))

    def test_force_reports_a_damaged_file_as_far_as_it_goes(self):
        r = self.report(record(2.0, {0: 1})[:11], "--json", "--force")
        self.assertEqual(r.returncode, NOT_A_RECORD)
        self.assertIn(b"reported anyway", r.stderr)
        doc = json.loads(r.stdout)
        self.assertEqual((doc["payout_balance"], doc["meters"][0], doc["meters"][1], doc["trailer"]),
                         (2.0, 1, 0, ""))
        r = self.report(struct.pack("<f", float("nan")) + b"\xff" * 1812 + b"\xa3\x00", "--json", "--force")
        doc = json.loads(r.stdout)
        self.assertIsNone(doc["payout_balance"])
        self.assertEqual(doc["trailer"], "\u00a3\u0000")
        # A whole file whose balance is no number still is a record file.
        r = self.report(struct.pack("<f", float("nan")) + record(0, {})[4:], "--json")
        self.assertEqual(r.returncode, 0)
        self.assertIsNone(json.loads(r.stdout)["payout_balance"])

    def test_missing_file_and_bad_command_lines(self):
        r = subprocess.run([program("quibblo-meters"), os.path.join(self.dir, "none.rec")],
                           capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot read", r.stderr)
        for args in (["--bogus"], ["a.rec", "b.rec"], ["--json=maybe"]):
            r = subprocess.run([program("quibblo-meters"), *args], capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 64, args)
            self.assertIn("quibblo-meters: ", r.stderr)
        r = subprocess.run([program("quibblo-meters"), "--help"], capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 0)
        for text in ("FILE", "data/morvane.rec", "--json", "--force", "pence", "percentage",
                     "Exit codes:", "65"):
            self.assertIn(text, r.stdout)

    def test_default_file_is_the_games_record_in_the_working_directory(self):
        os.makedirs(os.path.join(self.dir, "data"))
        with open(os.path.join(self.dir, "data", "morvane.rec"), "wb") as f:
            f.write(record(0, {421: 2}))
        r = subprocess.run([program("quibblo-meters")], cwd=self.dir, capture_output=True,
                           text=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("games with a prize: 2", r.stdout)


if __name__ == "__main__":
    unittest.main()

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
                              449: 1, 300: 17, 426: -4})
        r = self.report(data)
        self.assertEqual(r.returncode, 0, r.stderr)
        out = r.stdout.decode("utf-8")
        for line in ["Payout balance: -25.50", "prizes won of 55p: 1",
                     "bank offers made of \u00a31.30: 1", "games paid: 3",
                     "games started in payout band 1: 3", "questions asked: 17",
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

    def test_short_missing_and_odd_files(self):
        r = self.report(record(2.0, {0: 1})[:11], "--json")
        doc = json.loads(r.stdout)
        self.assertEqual((doc["payout_balance"], doc["meters"][0], doc["meters"][1], doc["trailer"]),
                         (2.0, 1, 0, ""))
        r = self.report(struct.pack("<f", float("nan")) + b"\xff" * 1812 + b"\xa3\x00", "--json")
        doc = json.loads(r.stdout)
        self.assertIsNone(doc["payout_balance"])
        self.assertEqual(doc["trailer"], "\u00a3\u0000")
        r = subprocess.run([program("quibblo-meters"), os.path.join(self.dir, "none.rec")],
                           capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot read", r.stderr)
        r = subprocess.run([program("quibblo-meters"), "--bogus"], capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 64)

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

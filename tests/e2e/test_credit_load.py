"""A short run of the credit server's load measurement (bench/credit_load.py): queries, money
commands and operator commands at once, then the ledger checked against every acknowledgement.
The full minute runs on demand: nice -n 19 bench/credit_load.py"""
import json
import os
import subprocess
import sys
import unittest

from harness import BIN, SOURCE, wait_port_free

SECONDS = os.environ.get("QUIBBLO_LOAD_SECONDS", "5")


class CreditLoadTest(unittest.TestCase):
    def test_short_load_leaves_the_ledger_exact(self):
        wait_port_free()
        r = subprocess.run([sys.executable, os.path.join(SOURCE, "bench", "credit_load.py"), "--seconds", SECONDS,
                            "--json", "--shared-network", "--bin", BIN],
                           capture_output=True, text=True, timeout=600)
        self.assertTrue(r.stdout.strip(), r.stderr)
        figures = json.loads(r.stdout)
        self.assertEqual(figures["errors"], [])
        self.assertEqual(figures["ledger_problems"], [])
        self.assertEqual(r.returncode, 0)
        for kind in ("CGET", "BGET", "CUSE", "BADD", "CADD", "insert", "collect"):
            self.assertGreater(figures["kinds"][kind]["count"], 0, kind)
        # The starting credit and every acknowledged movement, each one row.
        self.assertEqual(figures["journal_rows"], figures["acknowledged"])


if __name__ == "__main__":
    unittest.main()

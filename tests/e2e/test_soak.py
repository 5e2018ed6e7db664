"""A short soak: ten monkey games in a row, money agreeing between ledger and meters after each batch."""
import os
import subprocess
import sys
import unittest

from harness import BIN, SOURCE, needs


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-meters")
class ShortSoak(unittest.TestCase):
    def test_ten_monkey_games(self):
        r = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts", "soak"), "--games", "10", "--batch", "5",
                            "--bin", BIN, "--seed", "101"], capture_output=True, text=True, timeout=1500)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("soak passed", r.stdout)


if __name__ == "__main__":
    unittest.main()

"""kill -9 of the game while it saves its record file: the file found afterwards is always one
whole save, the old one or the new one, never a damaged one."""
import os
import random
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

from harness import program

INTRO = b"Quibblo Morvane V1.0.0.4  release date 29-01-2007 - Inf File Written "
KILLS = int(os.environ.get("QUIBBLO_RECORD_KILLS", "60"))


class RecordCrashTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-record-crash-")
        self.record = os.path.join(self.dir, "data", "morvane.rec")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def check_whole(self, kill):
        with open(self.record, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 1816 + len(INTRO) + 8, "kill %d" % kill)
        balance, *meters = struct.unpack("<f453i", data[:1816])
        # The saver sets the balance and every meter to the number of its save.
        self.assertGreaterEqual(balance, 1.0)
        self.assertEqual(set(meters), {int(balance)}, "kill %d: a mixed save" % kill)
        self.assertEqual(data[1816:-8], INTRO)
        return int(balance)

    def saved_number(self):
        try:
            with open(self.record, "rb") as f:
                return struct.unpack("<f", f.read(4))[0]
        except (OSError, struct.error):
            return 0

    def test_kill_nine_while_saving(self):
        rng = random.Random(453)
        saves = [0]
        for kill in range(KILLS):
            # The unit-test program's saver saves the record over and over in its working folder.
            proc = subprocess.Popen([program("unit_machine"), "--gtest_also_run_disabled_tests",
                                     "--gtest_filter=RecordCrash.DISABLED_SaveForever"],
                                    cwd=self.dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            end = time.time() + 20
            while self.saved_number() <= saves[-1] and time.time() < end:
                time.sleep(0.0005)  # this life's first save is done; the next ones are cut short
            time.sleep(rng.uniform(0.0, 0.04))
            proc.send_signal(signal.SIGKILL)
            proc.wait()
            saves.append(self.check_whole(kill))
        self.assertEqual(saves, sorted(saves))  # a later kill never finds an older save
        self.assertGreater(saves[-1], KILLS)

if __name__ == "__main__":
    unittest.main()

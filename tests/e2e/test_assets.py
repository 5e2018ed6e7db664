"""quibblo-assets: the complete data tree, the same bytes on every run, and a game that starts on it."""
import hashlib
import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

from harness import Cabinet, built, needs, program
from pictures import png_rgb

PICTURES = [
    "Graphic_resource\\Loading\\LoadingScreen.BMP", "Graphic_resource\\Menu\\Insert.BMP",
    "Graphic_resource\\transparency.PCX", "Graphic_resource\\Menu\\OptionBackground.BMP",
    "Graphic_resource\\Menu\\CreditNos.BMP", "Graphic_resource\\Menu\\InfoScreen.BMP",
    "Graphic_resource\\Menu\\Play-Pressed.BMP", "Graphic_resource\\Menu\\Info-Pressed.BMP",
    "Graphic_resource\\Menu\\Menu-Pressed.BMP", "Graphic_resource\\Menu\\CreditBlank.BMP",
    "Graphic_resource\\Menu\\BankBlank.BMP", "Graphic_resource\\Font1a.PCX", "Graphic_resource\\Font3.PCX",
    "Graphic_resource\\TrueFalse\\TFFont.BMP", "Graphic_resource\\Question\\courierfontblueans.PCX",
    "Graphic_resource\\BankOffer\\CreditFont.BMP", "Graphic_resource\\Main\\TestMain2.BMP",
    "Graphic_resource\\Main\\BonusBoxes.BMP", "Graphic_resource\\Main\\Timer.BMP",
    "Graphic_resource\\Main\\WinBackGround.BMP", "Graphic_resource\\Main\\YouOnlyWon.BMP",
    "Graphic_resource\\Main\\SmallWinFont.BMP", "Graphic_resource\\Main\\BigWinFont2.BMP",
    "Graphic_resource\\TrueFalse\\QuestionBox.BMP", "Graphic_resource\\TrueFalse\\TrueFalse.BMP",
    "Graphic_resource\\TrueFalse\\CorrectWrong.BMP", "Graphic_resource\\TrueFalse\\Timeup.BMP",
    "Graphic_resource\\TrueFalse\\Bar.BMP", "Graphic_resource\\BankOffer\\PrizeBox.BMP",
    "Graphic_resource\\BankOffer\\OfferFont.BMP", "Graphic_resource\\BankOffer\\TakeOrLeave.BMP",
    "Graphic_resource\\Main\\WinPlan.BMP", "Graphic_resource\\Main\\PrizeBoxes_1.BMP",
    "Graphic_resource\\Main\\PrizeBoxes_2.BMP", "Graphic_resource\\Main\\PrizeBoxes_3.BMP",
    "Graphic_resource\\Main\\PrizeBoxes_4.BMP", "Graphic_resource\\Main\\WinPlanOverLay.BMP",
    "Graphic_resource\\Main\\WinPlanOverLay2.BMP", "Graphic_resource\\Main\\WinPlanOverLay3.BMP",
    "Graphic_resource\\Main\\WinPlanOverLay4.BMP", "Graphic_resource\\Main\\WinPlanOverLayQMark.BMP",
    "Graphic_resource\\Main\\BoxValues.BMP", "Graphic_resource\\Main\\Lives.BMP",
    "Graphic_resource\\Main\\speechbar.BMP", "Graphic_resource\\Main\\YesNo.BMP",
    "Graphic_resource\\Main\\ContinueBox.BMP", "Graphic_resource\\Main\\FlipMode.BMP",
    "Graphic_resource\\Main\\FlipModeGreen.BMP", "Graphic_resource\\Main\\FlipModeBlue.BMP",
    "Graphic_resource\\Main\\Offers.BMP", "Graphic_resource\\TrueFalse\\TrueFalseFlip.BMP",
    "Graphic_resource\\Main\\prizeupdate.BMP", "Graphic_resource\\Menu\\WinCreditBlank.BMP",
    "Graphic_resource\\Menu\\WinBankBlank.BMP", "Graphic_resource\\Main\\ContinueBox1.BMP",
    "Graphic_resource\\Main\\ContinueBox2.BMP",
]
SOUNDS = ["TimeUp.WAV", "teletype.wav", "Incorrect1.wav", "Incorrect2.wav", "Incorrect3.wav",
          "Incorrect4.wav", "MenuPress.wav", "MainTune.wav", "InGameTune.wav", "Question1.wav",
          "Question2.wav", "Question3.wav", "Question4.wav", "ShowEndPrize.wav", "CouldHaveWonNoise.wav",
          "EndprizeShow.wav", "BankingNoise.wav", "CorrectAnswer.wav", "TileSpinNoise.wav",
          "TileStopNoise.wav", "FreePick.wav", "ExtraLife.wav", "PrizeElimGood.wav", "PrizeElimVGood.wav",
          "PrizeElimBad.wav", "PrizeElimVBad.wav", "BankOffer.wav", "TimerWarning.wav"]
CLIPS = ["Congrats.avi", "WellDone.avi", "OnlyWon.avi", "Gameover.avi"]


def game_path(root, name):
    return os.path.join(root, *name.replace("\\", "/").split("/"))


def tree_digest(root):
    """Relative path -> SHA-256 of every file under root."""
    out = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return out


def bmp_pixel(data, x, y):
    width, height = struct.unpack("<ii", data[18:26])
    offset = struct.unpack("<I", data[10:14])[0]
    i = offset + (height - 1 - y) * ((width * 3 + 3) & ~3) + 3 * x
    return data[i + 2], data[i + 1], data[i]


def same_565(a, b):
    return a[0] >> 3 == b[0] >> 3 and a[1] >> 2 == b[1] >> 2 and a[2] >> 3 == b[2] >> 3


@needs("quibblo-assets")
class DataTreeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quibblo-assets-test-")
        cls.first = os.path.join(cls.work, "first")
        start = time.monotonic()
        cls.run_first = subprocess.run([program("quibblo-assets"), "--out", cls.first], capture_output=True,
                                       text=True, timeout=300)
        cls.seconds = time.monotonic() - start

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_every_file_the_game_opens_is_there(self):
        self.assertEqual(self.run_first.returncode, 0, self.run_first.stderr)
        names = PICTURES + ["sounds\\" + s for s in SOUNDS] + ["Graphic_resource/avis/" + c for c in CLIPS]
        names += ["Questions\\trueorfalse\\Data%02d.pck" % i for i in range(1, 49)]
        for name in names:
            path = game_path(self.first, name)
            self.assertTrue(os.path.isfile(path), name)
            self.assertGreater(os.path.getsize(path), 0, name)
        # Nothing half-written is left behind.
        self.assertEqual([p for p in tree_digest(self.first) if p.endswith(".part")], [])
        sheet = os.path.join(self.first, "contact_sheet.png")
        with open(sheet, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        self.assertIn("contact sheet", self.run_first.stdout)
        total = sum(os.path.getsize(game_path(self.first, n)) for n in names)
        print("\nquibblo-assets: %.1f s, %.1f MB for %d files" % (self.seconds, total / 1e6, len(names)))

    def test_two_runs_give_the_same_bytes(self):
        second = os.path.join(self.work, "second")
        r = subprocess.run([program("quibblo-assets"), "--out", second, "--no-sheet"], capture_output=True,
                           text=True, timeout=300)
        self.assertEqual(r.returncode, 0, r.stderr)
        first = tree_digest(self.first)
        del first["contact_sheet.png"]
        self.assertEqual(first, tree_digest(second))

    def test_bad_command_lines_and_banks_are_refused(self):
        tool = program("quibblo-assets")
        r = subprocess.run([tool, "--help"], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0)
        self.assertIn("--out", r.stdout)
        for text in ("--out DIR", "--bank FILE", "--no-sheet", "Exit codes:", "64"):
            self.assertIn(text, r.stdout)
        for args in ([], ["--out"], ["--out="], ["--frobnicate"], ["--out", self.work, "extra"],
                     ["--out=" + self.work, "--sheet=a.png", "--no-sheet"]):
            r = subprocess.run([tool] + args, capture_output=True, text=True)
            self.assertEqual(r.returncode, 64, args)
            self.assertIn("quibblo-assets", r.stderr + r.stdout)
        bank = os.path.join(self.work, "bank.txt")
        with open(bank, "w") as f:
            f.write("== 1\nT The only statement.\n")
        out = os.path.join(self.work, "refused")
        r = subprocess.run([tool, "--out", out, "--bank", bank], capture_output=True, text=True, timeout=300)
        self.assertEqual(r.returncode, 1)
        self.assertIn("category 1", r.stderr)
        self.assertFalse(os.path.exists(out))
        blocker = os.path.join(self.work, "a-file")
        open(blocker, "w").close()
        r = subprocess.run([tool, "--out", os.path.join(blocker, "tree")], capture_output=True, text=True,
                           timeout=300)
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot write", r.stderr)


@needs("quibblo-assets", "quibblo", "quibblo-credit")
class GameOnTheTreeTest(unittest.TestCase):
    def test_the_game_reaches_its_main_menu(self):
        with Cabinet(server="real", credit=500) as cab:
            r = cab.run("2500 shot menu.png\n3000 close\n", timeout=120)
            self.assertIn("menu.png", r.shots, r.stderr)
            rows = png_rgb(r.shots["menu.png"])
            self.assertEqual(rows.shape, (600, 800, 3))
            with open(cab.path("Graphic_resource", "Menu", "OptionBackground.BMP"), "rb") as f:
                background = f.read()
            # The menu background shows everywhere but in the two money panels at the top.
            points = [(x, y) for y in range(100, 600, 20) for x in range(5, 800, 20)]
            shown = sum(same_565(bmp_pixel(background, x, y), rows[y, x]) for x, y in points)
            self.assertGreater(shown / len(points), 0.97)


if __name__ == "__main__":
    unittest.main()

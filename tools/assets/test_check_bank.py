#!/usr/bin/env python3
"""The bank checker must fail on each kind of fault: small doctored banks, each with one fault."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_bank  # noqa: E402

# Distinct, balanced, unrelated statements: a clean base that the faults are added to.
CLEAN = """# a comment
T The Sun is a star. # a G-type main-sequence star
F The Moon is a planet. # it is Earth's natural satellite

T Bees make honey. # from nectar
F Spiders have six legs. # they have eight
T Penguins are birds. # flightless seabirds
F Whales breathe through gills. # they breathe air through blowholes
T Ice floats on water. # ice is less dense than liquid water
F Rubies are blue gemstones. # rubies are red corundum
"""


def errors_of(files, categories=range(1, 2), minimum=8, each=4):
    with tempfile.TemporaryDirectory() as d:
        for name, text in files.items():
            with open(os.path.join(d, name), "w") as f:
                f.write(text)
        return check_bank.check_bank(d, categories, minimum, each)[1]


class CheckerFails(unittest.TestCase):
    def assertFault(self, files, words, **kw):
        errors = errors_of(files, **kw)
        self.assertTrue(any(words in e for e in errors), "no fault with %r in %r" % (words, errors))

    def test_clean_bank_passes(self):
        self.assertEqual(errors_of({"01.txt": CLEAN}), [])

    def test_duplicates(self):
        self.assertFault({"01.txt": CLEAN + "T the sun is a STAR # again\n"}, "the same statement")
        # The same statement in another file, with the other label.
        self.assertFault({"01.txt": CLEAN, "02.txt": "F The Sun is a star! # contradiction\n"},
                         "other label")
        # Only a number changed and the same label: the same fact asked twice.
        self.assertFault({"01.txt": CLEAN + "T A week has 7 days. # x\nT A week has seven days. # x\n"},
                         "the same statement")
        self.assertFault({"01.txt": CLEAN + "T Bees make honey in 2 ways. # x\nT Bees make honey in 3 ways. # x\n"},
                         "but for numbers")
        # Reordered words.
        self.assertFault({"01.txt": CLEAN + "T Water boils at sea level at 100 degrees Celsius. # x\n"
                                             "T At sea level water boils at 100 degrees Celsius. # x\n"},
                         "nearly the same")

    def test_mirrored_pairs(self):
        bank = CLEAN + "T Paris is the capital of France. # yes\nF Lyon is the capital of France. # no, Paris\n"
        self.assertFault({"01.txt": bank}, "one- or two-word edit")
        # Across files too, and a two-word edit counts.
        self.assertFault({"01.txt": CLEAN + "T The Battle of Hastings was fought in the year 1066. # yes\n",
                          "05.txt": "F The Battle of Hastings was won in the year 1067. # 1066\n"},
                         "one- or two-word edit")
        # The same fact reworded, with the other label.
        self.assertFault({"01.txt": CLEAN + "T The capital of New Zealand is Wellington. # yes\n"
                                             "F Auckland is the capital of New Zealand. # Wellington\n"},
                         "one- or two-word edit")
        # Two edits in a short statement make another fact, not a mirror.
        self.assertEqual(errors_of({"01.txt": CLEAN + "T A baby cat is called a kitten. # x\n"
                                                       "F A baby sheep is called a calf. # lamb\n"}), [])

    def test_frames(self):
        lines = "".join("T The only %s is here. # x\n" % w for w in ["cat", "dog", "owl", "fox", "elk", "yak"])
        self.assertFault({"01.txt": CLEAN + lines}, "outside 35-65")
        falses = "".join("F Hedgehogs never %s. # x\n" % w for w in
                         ["sleep", "swim", "climb trees", "eat worms", "make noise", "roll up"])
        self.assertFault({"01.txt": CLEAN + falses}, "word: never")

    def test_computed_labels(self):
        computed = "== 1\nT 7 times 8 is 56. # 56\nF 7 times 9 is 65. # 63\nT 6 plus 7 is 14. # wrong\n"
        self.assertFault({"01.txt": CLEAN, "computed.txt": computed}, "arithmetic says F")
        self.assertFault({"01.txt": CLEAN, "computed.txt": "== 1\nT Seven eights are fifty-six. # x\n"},
                         "no form")
        self.assertFault({"01.txt": CLEAN, "computed.txt": "== 12\nT 2 plus 2 is 4. # 4\n"}, "1 to 10 only")
        many = "== 1\n" + "".join("T %d plus %d is %d. # sum\n" % (a, a + 20, 2 * a + 20) for a in range(2, 8))
        self.assertFault({"01.txt": CLEAN, "computed.txt": many}, "more than a third")
        # Hand-written statements in a computed form are worked out too.
        self.assertFault({"01.txt": CLEAN + "T The word 'banana' has 7 letters. # 6\n"}, "arithmetic says F")
        self.assertFault({"01.txt": CLEAN + "F XIV is the Roman numeral for 14. # it is\n"}, "arithmetic says T")

    def test_forms_work_out(self):
        for text, label in [("There are 180 minutes in three hours.", True),
                            ("There are 1000 metres in one kilometre.", True),
                            ("There are 100 millimetres in one metre.", False),
                            ("Five 20p coins make 1 pound.", True),
                            ("Seven 50p coins make 3 pounds 50p.", True),
                            ("Three 20p coins make 50p.", False),
                            ("40 minutes after 9:35 it is 10:15.", True),
                            ("XC is the Roman numeral for 90.", True),
                            ("The word 'banana' contains the letter 'a' three times.", True),
                            ("25 per cent of 80 is 25.", False)]:
            self.assertEqual(check_bank.evaluate(text), label, text)

    def test_counts(self):
        self.assertFault({"01.txt": CLEAN}, "category 1: 8 statements", minimum=9)
        self.assertFault({"01.txt": CLEAN}, "category 2: 0 statements", categories=range(1, 3))

    def test_single_statements(self):
        self.assertFault({"01.txt": CLEAN + "T Rain falls from clouds.\n"}, "no reason")
        self.assertFault({"01.txt": CLEAN + "T Rain falls from clouds. #   \n"}, "no reason")
        self.assertFault({"01.txt": CLEAN + "T Rain is *wet* stuff. # x\n"}, "not allowed")
        self.assertFault({"01.txt": CLEAN + "T Rain falls " + "down " * 40 + "from clouds. # x\n"},
                         "more than 199")
        self.assertFault({"01.txt": CLEAN + "T Grass is a green color. # x\n"}, "American spelling")
        self.assertFault({"01.txt": CLEAN + "Rain falls from clouds. # x\n"}, "expected \"T statement")
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "01.txt"), "wb") as f:
                f.write(CLEAN.encode() + "T A coffee costs \u00a32. # x\n".encode("latin-1"))
            self.assertTrue(any("outside ASCII" in e for e in check_bank.check_bank(d, [], 0, 0)[1]))

    def test_command_line_exit_status(self):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_bank.py")
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "09.txt"), "w") as f:
                f.write(CLEAN)
            run = lambda *a: subprocess.run([sys.executable, script, "--bank", d] + list(a),
                                            capture_output=True, text=True)
            r = run("--categories", "9")
            self.assertEqual(r.returncode, 1)  # 8 statements are fewer than 150
            self.assertIn("category 9: 8 statements", r.stderr)
            self.assertEqual(run("--categories", "25").returncode, 2)


if __name__ == "__main__":
    unittest.main()

"""The main menu: its money panels and prompt, the Rules screen, Start without the money for a
game, and leaving."""
import os
import struct
import unittest

from harness import Cabinet, data_tree, needs
from play_support import RULES, START, MAIN_MENU, PatientCabinet, Screens, Shot, meters


def shots_script(*events, until=60000):
    lines = ["%d touch %d %d" % e for e in events]
    lines += ["%d shot s%07d.png" % (t, t) for t in range(2000, until, 1000)]
    return "\n".join(sorted(lines, key=lambda l: int(l.split()[0]))) + "\n"


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-meters")
class MainMenu(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.screens = Screens(data_tree())

    def kinds(self, shots):
        out = {}
        for name in sorted(n for n in shots if n.startswith("s0")):
            shot = Shot(shots[name])
            t = int(name[1:8])
            out[t] = "info" if self.screens.is_info(shot) else "menu" if self.screens.is_menu(shot) else None
        return out

    def test_rules_shows_the_information_screen_until_touched(self):
        with PatientCabinet(server="real", credit=500) as cab:
            # Rules at 3 s; a touch on Start's place at 9 s ends the information screen and
            # does not start a game.
            r = cab.run(shots_script((3000,) + RULES, (9000,) + START))
            kinds = self.kinds(r.shots)
            ledger = cab.ledger()
        self.assertEqual(kinds[2000], "menu")
        self.assertLessEqual([t for t, k in kinds.items() if k == "info"][0], 5000)
        self.assertEqual(kinds[8000], "info")
        self.assertEqual(kinds[11000], "menu")
        self.assertEqual([e for e in ledger if e["source"] == "game"], [])
        self.assertEqual(r.code, 0)

    def test_the_information_screen_goes_by_itself_after_twenty_seconds(self):
        with PatientCabinet(server="listener") as cab:
            r = cab.run(shots_script((3000,) + RULES))
            kinds = self.kinds(r.shots)
        info = [t for t, k in kinds.items() if k == "info"]
        self.assertGreaterEqual(len(info), 19)
        self.assertLessEqual(len(info), 21)
        self.assertEqual(kinds[max(info) + 2000], "menu")

    def test_thirty_seconds_untouched_ends_the_program(self):
        with PatientCabinet(server="listener") as cab:
            # touches outside the buttons do not count
            r = cab.run(shots_script((5000, 400, 300), (20000, 400, 300)))
            kinds = self.kinds(r.shots)
            received = cab.listener.received
            log = r.log
        self.assertEqual(r.code, 0)
        self.assertIn("Closing log", log)
        self.assertTrue(received.endswith(b"TERM\r\n"), received[-40:])
        self.assertEqual(kinds[30000], "menu")
        self.assertLess(max(kinds), 36000)  # gone within about thirty seconds of the menu

    def test_start_is_ignored_without_the_stake_and_main_menu_leaves(self):
        with PatientCabinet(server="real", credit=49) as cab:
            r = cab.run(shots_script((3000,) + START, (5000,) + START, (8000,) + MAIN_MENU))
            ledger = cab.ledger()
            kinds = self.kinds(r.shots)
            log = r.log
            shots = r.shots
            played = os.path.exists(cab.path("data", "morvane.rec")) and meters(cab)["meters"][0]
        self.assertEqual([e["command"] for e in ledger if e["source"] == "game"], [])
        self.assertFalse(played)
        self.assertEqual(r.code, 0)
        self.assertIn("Closing log", log)
        self.assertLess(max(kinds), 12000)
        # the insert-money prompt shows while the player cannot pay
        prompt = self.screens.insert
        self.assertTrue(prompt.shown(Shot(shots["s0004000.png"]), 0, 568, 445, share=0.95))

    def test_main_menu_leaves_after_a_long_press_sound(self):
        # The menu waits for its press sound without pumping; on the virtual clock a sound of
        # two seconds must still end.
        with PatientCabinet(server="listener") as cab:
            tree = data_tree()
            os.unlink(cab.path("sounds"))
            os.mkdir(cab.path("sounds"))
            for name in os.listdir(os.path.join(tree, "sounds")):
                if name.lower() != "menupress.wav":
                    os.symlink(os.path.join(tree, "sounds", name), cab.path("sounds", name))
            rate, samples = 22050, 2 * 22050
            with open(cab.path("sounds", "MenuPress.wav"), "wb") as f:
                f.write(b"RIFF" + struct.pack("<I", 36 + 2 * samples) + b"WAVEfmt " +
                        struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16) +
                        b"data" + struct.pack("<I", 2 * samples) + b"\0\0" * samples)
            r = cab.run("3000 touch %d %d\n" % MAIN_MENU, timeout=60)
            log = r.log
        self.assertEqual(r.code, 0, r.stderr)
        self.assertIn("Closing log", log)

    def test_panels_show_credit_and_bank(self):
        with PatientCabinet(server="real", credit=1234) as cab:
            r = cab.run(shots_script(until=4000))
            shot = Shot(r.shots["s0003000.png"])
        digits = self.screens.digits

        def at(frame, x):
            # the digit after the point is drawn over the right of the point's cell
            return digits.shown(shot, frame, x, 50, step=1, share=0.6 if frame == 10 else 0.9)
        # credit 1234: pound sign at 685, then 1, 2, point, 3, 4
        for frame, x in ((11, 685), (1, 700), (2, 715), (10, 731), (3, 738), (4, 753)):
            self.assertTrue(at(frame, x), (frame, x))
        # bank 0: pound sign at 41, 0 . 0 0
        for frame, x in ((11, 41), (0, 56), (10, 72), (0, 79), (0, 94)):
            self.assertTrue(at(frame, x), (frame, x))
        self.assertFalse(at(1, 48))  # the long layout is not used for a bank of 0
        self.assertFalse(self.screens.insert.shown(shot, 0, 568, 445, share=0.95))


if __name__ == "__main__":
    unittest.main()

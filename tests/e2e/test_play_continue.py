"""The continue screen: questions left to time out cost the lives, then one more turn is offered
for the price of a game."""
import unittest

from harness import data_tree, needs
from play_support import (START, TRUE, Books, Picture, Screens, Shot, game_commands, runner)

SHOTS = range(4000, 130000, 500)


def script(touches=()):
    lines = ["3000 touch %d %d" % START]
    lines += ["%d touch %d %d" % t for t in touches]
    lines += ["%d shot s%07d.png" % (t, t) for t in SHOTS]
    return "\n".join(sorted(lines, key=lambda l: int(l.split()[0]))) + "\n"


def first_continue(screens, shots, short=False):
    """When the continue panel (or, with `short`, the panel of a player short of money) first shows."""
    for name in sorted(n for n in shots if n.startswith("s0")):
        shot = Shot(shots[name])
        box = screens.short_box if short else screens.continue_box
        if box.shown(shot, 0, 20, 223, share=0.95):
            return int(name[1:8]), shot
    return None, None


def written(font, shot, text, x0, x1, y):
    """Whether the screenshot shows text in the font, glyph after glyph, left to right between
    x0 and x1 on the row y (the pound sign is the font's last glyph)."""
    x = x0
    for ch in text:
        frame = 95 if ch == "\xa3" else ord(ch) - 32
        while x < x1 and not font.shown(shot, frame, x, y, step=1, share=0.97):
            x += 1
        if x >= x1:
            return False
        x += 1
    return True


def say_yes(at):
    return [(at + 250 * k,) + TRUE for k in range(6)]


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-meters")
class Continue(Books):
    @classmethod
    def setUpClass(cls):
        cls.screens = Screens(data_tree())

    def test_two_time_ups_bring_the_continue_screen_and_yes_buys_one_more_turn(self):
        keep = {}
        run = runner(keep)
        _, shots = run(script())
        at, shot = first_continue(self.screens, shots)
        self.assertIsNotNone(at, "no continue screen")
        # the panel shows what the continue is paid from: 5.00 less the game's stake
        font = Picture(data_tree(), "Graphic_resource\\BankOffer\\CreditFont.BMP", 96)
        self.assertTrue(written(font, shot, "\xa34.50", 410, 550, 266))
        self.assertFalse(written(font, shot, "\xa35.00", 410, 550, 266))
        meter = keep["meters"]["meters"]
        self.assertEqual((meter[299], meter[301], meter[448], meter[449]), (2, 2, 1, 0))
        self.check_books(keep, games=1, continues=0, prize=0)

        _, shots = run(script(say_yes(at)))
        meter = keep["meters"]["meters"]
        # The continue was bought; the next time-up ends the game without another offer.
        self.assertEqual((meter[448], meter[449]), (1, 1))
        self.assertEqual((meter[299], meter[300], meter[301]), (3, 3, 3))
        self.assertEqual(keep["meters"]["continues_bought"], 1)
        self.check_books(keep, games=1, continues=1, prize=0)
        # 15 of each stake come off the payout balance
        self.assertAlmostEqual(keep["meters"]["payout_balance"], -30.0)

    def test_a_player_short_of_money_waits_out_the_money_window(self):
        keep = {}
        _, shots = runner(keep, credit=STAKE_ONLY)(script())
        at, shot = first_continue(self.screens, shots, short=True)
        self.assertIsNotNone(at, "no panel for a player short of money")
        # no Yes and No on that panel
        self.assertFalse(self.screens.yes_no.shown(shot, 0, 20, 334, share=0.95))
        meter = keep["meters"]["meters"]
        self.assertEqual((meter[448], meter[449]), (1, 0))
        self.check_books(keep, games=1, continues=0, prize=0, start_credit=STAKE_ONLY)

    def test_a_stake_the_server_refuses_buys_no_continue(self):
        stakes = []

        def reply(line):
            if line == b"CGET":
                return b"CTEL,500\r\n"
            if line == b"BGET":
                return b"BTEL,0\r\n"
            if line.startswith(b"CUSE,"):
                stakes.append(line)
                return b"CTEL,450\r\n" if len(stakes) == 1 else b"FAIL,refused\r\n"
            return b"FAIL,refused\r\n"

        keep = {}
        run = runner(keep, server="listener", reply=reply)
        _, shots = run(script())
        at, _ = first_continue(self.screens, shots)
        self.assertIsNotNone(at, "no continue screen")
        stakes.clear()
        _, shots = run(script(say_yes(at)))
        self.assertEqual(keep["received"].count(b"CUSE,50\r\n"), 2)
        meter = keep["meters"]["meters"]
        # Yes was touched, but with the stake refused the game ends there.
        self.assertEqual((meter[448], meter[449], meter[0]), (1, 0, 1))
        self.assertEqual(meter[300], 2)
        self.assertEqual(keep["meters"]["continues_bought"], 0)
        self.assertAlmostEqual(keep["meters"]["payout_balance"], -15.0)
        self.assertEqual(keep["result"].code, 0)


STAKE_ONLY = 50

if __name__ == "__main__":
    unittest.main()

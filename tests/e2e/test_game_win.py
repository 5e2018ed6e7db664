"""A whole game won at the twentieth pick, seen on the board: the player's box opened in the
prize window with the top value of the prize row, the win plan knocked out down to that value,
every other box opened (some of them only by the pick's time-out, since the touch stream never
reaches the bottom row), and the prize booked and paid."""
import unittest

from harness import data_tree, needs
from play_support import Books, Picture, Player, Shot, runner, top_value

MAIN = "Graphic_resource\\Main\\"
BOX_X = (20, 134, 248, 362, 476)
BOX_Y = (1, 112, 223, 334)
ROW_OF_TOP = {500: 0, 300: 1, 200: 2, 55: 3}
DENSE = 50
TAG_W = 30  # the tag of a value in play covers the slot's left end


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-meters")
class WonAtTheLastPick(Books):
    def test_board_at_the_twentieth_pick(self):
        tree = data_tree()
        keep = {}
        player = Player(tree, runner(keep))
        _, _, eps = player.play(lambda kind, k: False)  # every offer left
        self.assertEqual(eps[-1].kind, "win", eps)
        meter = keep["meters"]["meters"]
        self.assertEqual(meter[412], 1)
        top = top_value(meter)
        row = ROW_OF_TOP[top]

        # The same game again, with a screenshot every 50 ms over its last seconds.
        win = eps[-1].first
        lines = player.script(shots=False).splitlines()
        lines += ["%d shot d%07d.png" % (t, t) for t in range(win - 6000, win, DENSE)]
        lines.sort(key=lambda l: int(l.split()[0]))
        script = "\n".join(lines) + "\n"
        r, shots = runner(keep)(script)
        self.assertEqual(r.code, 0)
        self.check_books(keep, games=1, continues=0, prize=top)

        opened_box = Picture(tree, MAIN + "PrizeBoxes_%d.BMP" % (row + 1), 20)
        frames = sorted((int(n[1:8]), Shot(b)) for n, b in shots.items() if n.startswith("d"))
        final = [s for _, s in frames if opened_box.shown(s, 19, 248, 485, share=0.95)]
        self.assertTrue(final, "the prize window never showed the player's box with %dP" % top)
        shot = final[0]

        winplan = Picture(tree, MAIN + "WinPlan.BMP")
        qmark = Picture(tree, MAIN + "WinPlanOverLayQMark.BMP", 20)
        empty = [i for i in range(20) if winplan.shown(shot, 0, 627, 570 - 30 * i + 4, step=2, share=0.95)]
        self.assertEqual(len(empty), 19)
        (left,) = set(range(20)) - set(empty)
        y = 570 - 30 * left
        self.assertTrue(qmark.shown(shot, 0, 627, y, share=0.95), "the top value is still in play")
        # and it reads, in its row's picture, beside the tag
        value = Picture(tree, MAIN + "WinPlanOverLay%s.BMP" % ("", "2", "3", "4")[row], 20)
        right = [(fx, fy) for fy in range(0, value.frame_height, 2) for fx in range(TAG_W, value.width, 2)]
        same = sum(value.at(fx, fy) == shot.at(627 + fx, y + fy) for fx, fy in right)
        self.assertGreater(same / len(right), 0.98)

        bonus = Picture(tree, MAIN + "BonusBoxes.BMP", 8)
        numbers = Picture(tree, MAIN + "BoxValues.BMP", 20)
        gone = [i for i in range(20) if bonus.shown(shot, 0, BOX_X[i % 5], BOX_Y[i // 5], share=0.95)]
        standing = [i for i in range(20) if numbers.shown(shot, i, BOX_X[i % 5], BOX_Y[i // 5], share=0.95)]
        # The last box opened still shows its number: it leaves the board after its reveal, with
        # the board not drawn again before the win.
        self.assertEqual(len(gone), 19, (gone, standing))
        self.assertEqual(len(standing), 1)
        # Boxes 15 to 19 are never touched: all but one (the player's, perhaps) went by time-out.
        self.assertGreaterEqual(len(set(range(15, 20)) & set(gone)), 4)

        lives = Picture(tree, MAIN + "Lives.BMP", 6)
        shown = [k for k in range(6) if lives.shown(shot, k, 476, 485, share=0.95)]
        self.assertEqual(len(shown), 1)
        self.assertGreaterEqual(shown[0], 1, "no question was lost")


if __name__ == "__main__":
    unittest.main()

"""The board through the real game: the pick's ten seconds, a touch on a box that is gone,
the random pick at time-out and what the reveal shows, checked on screenshots against the
pictures of the data tree."""
import os
import struct
import unittest

from harness import Cabinet, data_tree, needs
from play_support import TRANSPARENT, Shot, to565

START = (675, 543)
SHOT_EVERY = 250
RUN_UNTIL = 60000
PICK_MS = 10000
TAG_W = 30  # the tag of a value in play covers the slot's left end
BOX_X = (20, 134, 248, 362, 476)
BOX_Y = (1, 112, 223, 334)


class Picture:
    """A 24-bit BMP of the data tree, as a strip of equal frames."""

    def __init__(self, path, frames=1):
        with open(os.path.join(data_tree(), *path.split("\\")), "rb") as f:
            self.data = f.read()
        offset, = struct.unpack("<I", self.data[10:14])
        self.offset = offset
        self.width, self.height = struct.unpack("<ii", self.data[18:26])
        self.stride = (self.width * 3 + 3) & ~3
        self.frame_height = self.height // frames

    def at(self, x, y):
        i = self.offset + (self.height - 1 - y) * self.stride + 3 * x
        return to565(self.data[i + 2], self.data[i + 1], self.data[i])

    def shown(self, shot, frame, x, y, step=4):
        """Share of the frame's opaque pixels that the screenshot shows at (x, y)."""
        same = total = 0
        for fy in range(0, self.frame_height, step):
            for fx in range(0, self.width, step):
                mine = self.at(fx, frame * self.frame_height + fy)
                if mine == TRANSPARENT or not (0 <= x + fx < shot.width and 0 <= y + fy < shot.height):
                    continue
                total += 1
                same += mine == shot.at(x + fx, y + fy)
        return same / total if total else 0.0


def box_centre(i):
    return BOX_X[i % 5] + 57, BOX_Y[i // 5] + 55


@needs("quibblo", "quibblo-credit", "quibblo-assets")
class PickAndReveal(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        main = "Graphic_resource\\Main\\"
        cls.speech = Picture(main + "speechbar.BMP", 6)
        cls.lives = Picture(main + "Lives.BMP", 6)
        cls.bonus = Picture(main + "BonusBoxes.BMP", 8)
        cls.numbers = Picture(main + "BoxValues.BMP", 20)
        cls.winplan = Picture(main + "WinPlan.BMP")
        cls.tag = Picture(main + "WinPlanOverLayQMark.BMP", 20)
        cls.values = [Picture(main + "WinPlanOverLay%s.BMP" % s, 20) for s in ("", "2", "3", "4")]
        cls.opened = [Picture(main + "PrizeBoxes_%d.BMP" % (r + 1), 20) for r in range(4)]
        cls.quiet = cls.play([])  # no touch after Start: the question and the pick time out

    @staticmethod
    def play(touches):
        lines = ["3000 touch %d %d" % START]
        lines += ["%d touch %d %d" % t for t in touches]
        lines += ["%d shot s%06d.png" % (t, t) for t in range(4000, RUN_UNTIL, SHOT_EVERY)]
        lines.sort(key=lambda l: int(l.split()[0]))
        lines.append("%d close" % RUN_UNTIL)
        for attempt in range(30):
            try:
                cab = Cabinet(server="real", credit=500).__enter__()
                break
            except RuntimeError as e:
                if "busy" not in str(e) or attempt == 29:
                    raise
        try:
            r = cab.run("\n".join(lines) + "\n")
            return {int(n[1:7]): Shot(b) for n, b in r.shots.items() if n.startswith("s")}
        finally:
            cab.__exit__(None, None, None)

    def first(self, shots, test, after=0):
        for t in sorted(shots):
            if t >= after and test(shots[t]):
                return t
        return None

    def pick_wait(self, shot):
        return self.speech.shown(shot, 2, 23, 445) > 0.95

    def opened_boxes(self, shot):
        return [i for i in range(20) if self.bonus.shown(shot, 0, BOX_X[i % 5], BOX_Y[i // 5]) > 0.95]

    def revealed_box(self, shot):
        """The box that shows the opened picture of 5 pence, the first value of every row."""
        for i in range(20):
            if any(p.shown(shot, 0, BOX_X[i % 5], BOX_Y[i // 5]) > 0.95 for p in self.opened):
                return i
        return None

    def empty_slots(self, shot):
        return [i for i in range(20) if self.winplan.shown(shot, 0, 627, 570 - 30 * i + 4, step=2) > 0.95]

    def value_share(self, shot, row, frame, y):
        """Share of the value picture right of the tag that the screenshot shows at (627, y)."""
        pic = self.values[row]
        same = total = 0
        for fy in range(0, pic.frame_height, 2):
            for fx in range(TAG_W, pic.width, 2):
                total += 1
                same += pic.at(fx, frame * pic.frame_height + fy) == shot.at(627 + fx, y + fy)
        return same / total

    def values_in_play(self, shot):
        """For each slot, the frame of the value it shows beside its tag, or None, read in the
        prize row that fits the panel best."""
        def reading(row, i):
            y = 570 - 30 * i
            for f in range(20):
                if self.tag.shown(shot, f, 627, y, step=2) > 0.95 and self.value_share(shot, row, f, y) > 0.98:
                    return f
            return None
        readings = [[reading(row, i) for i in range(20)] for row in range(4)]
        return max(readings, key=lambda r: sum(f is not None for f in r))

    def test_the_win_plan_shows_every_value_in_play(self):
        board = self.quiet[self.first(self.quiet, self.pick_wait)]
        frames = self.values_in_play(board)
        self.assertEqual(sorted(f for f in frames if f is not None), list(range(20)), frames)
        later = self.quiet[self.first(self.quiet, lambda s: self.revealed_box(s) is not None) + 2000]
        frames = self.values_in_play(later)
        # 5 pence, the smallest value (frame 19), is knocked out; the other nineteen still read.
        self.assertEqual(sorted(f for f in frames if f is not None), list(range(19)), frames)
        self.assertEqual(frames.index(None), self.empty_slots(later)[0])

    def test_quiet_game_picks_at_random_when_the_ten_seconds_run_out(self):
        shots = self.quiet
        pick = self.first(shots, self.pick_wait)
        self.assertIsNotNone(pick, "the board never waited for a pick")
        board = shots[pick]
        self.assertGreater(self.lives.shown(board, 0, 476, 485), 0.95, "the lost question leaves no life")
        player = self.opened_boxes(board)
        self.assertEqual(len(player), 1, "only the player's box is off the board")
        self.assertEqual(self.empty_slots(board), [])

        reveal = self.first(shots, lambda s: self.revealed_box(s) is not None, after=pick)
        self.assertIsNotNone(reveal, "no box was opened after the pick")
        self.assertGreaterEqual(reveal - pick, PICK_MS - 2 * SHOT_EVERY, "opened before the time ran out")
        self.assertLess(reveal - pick, PICK_MS + 2000)
        box = self.revealed_box(shots[reveal])
        self.assertNotIn(box, player)
        later = shots[reveal + 2000]
        self.assertEqual(len(self.empty_slots(later)), 1, "one win plan slot knocked out")
        self.assertGreater(self.lives.shown(later, 0, 476, 485), 0.95)

    def test_touch_on_a_box_that_is_gone_is_ignored(self):
        pick = self.first(self.quiet, self.pick_wait)
        player = self.opened_boxes(self.quiet[pick])[0]
        quiet_reveal = self.first(self.quiet, lambda s: self.revealed_box(s) is not None, after=pick)
        gone = self.play([(pick + 500,) + box_centre(player), (pick + 2500,) + box_centre(player)])
        reveal = self.first(gone, lambda s: self.revealed_box(s) is not None, after=pick)
        # The countdown kept running: the same box opens at the time-out, as in the quiet game.
        self.assertLessEqual(abs(reveal - quiet_reveal), 2 * SHOT_EVERY)
        self.assertEqual(self.revealed_box(gone[reveal]), self.revealed_box(self.quiet[quiet_reveal]))
        self.assertTrue(self.pick_wait(gone[pick + 3000]))

        # The same touch on a box still on the board picks it at once.
        target = next(i for i in range(20) if i != player and i != self.revealed_box(gone[reveal]))
        live = self.play([(pick + 500,) + box_centre(target)])
        reveal = self.first(live, lambda s: self.revealed_box(s) is not None, after=pick)
        self.assertLess(reveal - pick, 4000)
        self.assertEqual(self.revealed_box(live[reveal]), target)


if __name__ == "__main__":
    unittest.main()

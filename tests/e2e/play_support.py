"""Reading what the game showed: its PNG screenshots compared with the data tree's pictures.

The game's screenshots are 8-bit RGB PNGs made from 5:6:5 pixels; the pictures are 24-bit BMPs
whose frames are stacked top to bottom. A picture "is on screen" at (x, y) when nearly all of its
opaque pixels (not the transparent colour 0xF81F) match the screenshot there.
"""
import os
import re
import sys
import struct

from pictures import png_rgb

TRANSPARENT = 0xF81F


def to565(r, g, b):
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)


class Shot:
    """One screenshot; pixels are read as 5:6:5 values on demand."""

    def __init__(self, data):
        rgb = png_rgb(data)
        self.height, self.width = rgb.shape[:2]
        self.raw = rgb.tobytes()
        self.stride = self.width * 3

    def at(self, x, y):
        i = y * self.stride + 3 * x
        raw = self.raw
        return to565(raw[i], raw[i + 1], raw[i + 2])


class Picture:
    """A BMP of the data tree, split into `frames` frames."""

    def __init__(self, tree, path, frames=1):
        with open(os.path.join(tree, *path.split("\\")), "rb") as f:
            data = f.read()
        if data[:2] != b"BM":
            raise ValueError("not a BMP: " + path)
        self.width, self.height = struct.unpack("<ii", data[18:26])
        self.frame_height = self.height // frames
        self.data = data
        self.stride = (self.width * 3 + 3) & ~3  # rows are padded to whole words
        self._samples = {}

    def at(self, x, y):
        i = 54 + (self.height - 1 - y) * self.stride + 3 * x  # bottom row first in the file
        d = self.data
        return to565(d[i + 2], d[i + 1], d[i])

    def samples(self, frame, step):
        """The opaque pixels of a frame on a grid of `step`: [(fx, fy, value)]."""
        key = (frame, step)
        if key not in self._samples:
            top = frame * self.frame_height
            self._samples[key] = [(fx, fy, v) for fy in range(0, self.frame_height, step)
                                  for fx in range(0, self.width, step)
                                  for v in (self.at(fx, top + fy),) if v != TRANSPARENT]
        return self._samples[key]

    def shown(self, shot, frame, x, y, step=3, share=None):
        """The share of this frame's opaque pixels that the screenshot shows at (x, y); with
        `share`, just whether it reaches that share."""
        points = [(x + fx, y + fy, v) for fx, fy, v in self.samples(frame, step)
                  if 0 <= x + fx < shot.width and 0 <= y + fy < shot.height]
        if not points:
            return False if share is not None else 0.0
        allowed = len(points) - share * len(points) if share is not None else len(points)
        misses = 0
        for sx, sy, v in points:
            if v != shot.at(sx, sy):
                misses += 1
                if misses > allowed:
                    return False
        if share is not None:
            return True
        return 1 - misses / len(points)


class Screens:
    """Which of the game's screens a screenshot shows, by the pictures only that screen draws."""

    def __init__(self, tree):
        p = lambda path, frames=1: Picture(tree, path, frames)
        self.menu = p("Graphic_resource\\Menu\\OptionBackground.BMP")
        self.info = p("Graphic_resource\\Menu\\InfoScreen.BMP")
        self.true_false = p("Graphic_resource\\TrueFalse\\TrueFalse.BMP", 2)
        self.marks = p("Graphic_resource\\TrueFalse\\CorrectWrong.BMP", 2)
        self.take_leave = p("Graphic_resource\\BankOffer\\TakeOrLeave.BMP", 2)
        self.yes_no = p("Graphic_resource\\Main\\YesNo.BMP", 2)
        self.continue_box = p("Graphic_resource\\Main\\ContinueBox1.BMP")
        self.short_box = p("Graphic_resource\\Main\\ContinueBox2.BMP")
        self.win = p("Graphic_resource\\Main\\WinBackGround.BMP")
        self.small_win = p("Graphic_resource\\Main\\YouOnlyWon.BMP")
        self.board = p("Graphic_resource\\Main\\BoxValues.BMP", 20)
        self.insert = p("Graphic_resource\\Menu\\Insert.BMP")
        self.digits = p("Graphic_resource\\Menu\\CreditNos.BMP", 12)

    def is_menu(self, shot):
        return self.menu.shown(shot, 0, 0, 0, step=11, share=0.6)

    def is_info(self, shot):
        return self.info.shown(shot, 0, 0, 0, step=11, share=0.9)

    def is_question(self, shot):
        return (self.true_false.shown(shot, 0, 20, 334, share=0.95) and self.true_false.shown(shot, 1, 362, 334, share=0.95))

    def mark(self, shot, face_x):
        """'right', 'wrong' or None: the result mark over a True/False face."""
        if self.marks.shown(shot, 0, face_x, 334, share=0.95):
            return "right"
        if self.marks.shown(shot, 1, face_x, 334, share=0.95):
            return "wrong"
        return None

    def is_offer(self, shot):
        return (self.take_leave.shown(shot, 0, 20, 334, share=0.95) and self.take_leave.shown(shot, 1, 362, 334, share=0.95))

    def is_continue(self, shot):
        return (self.continue_box.shown(shot, 0, 20, 223, share=0.95) or self.short_box.shown(shot, 0, 20, 223, share=0.95))

    def is_win(self, shot):
        return self.win.shown(shot, 0, 0, 0, step=11, share=0.6) or self.small_win.shown(shot, 0, 0, 0, step=11, share=0.6)

    def boxes_closed(self, shot):
        """The board's closed boxes that show their numbers (only while the board is shown)."""
        out = []
        for i in range(20):
            x, y = (20, 134, 248, 362, 476)[i % 5], (1, 112, 223, 334)[i // 5]
            if self.board.shown(shot, i, x, y, step=5, share=0.9):
                out.append(i)
        return out


# Places to touch. The answer row y 340 lies inside True/False, Take/Leave and Yes/No but between
# the board's third and fourth rows of boxes, so it never picks a box.
TRUE = (134, 340)    # also Take and Yes
FALSE = (476, 340)   # also Leave and No
START = (675, 543)
RULES = (400, 543)
MAIN_MENU = (125, 543)
BOX_SPOTS = [((20, 134, 248, 362, 476)[i % 5] + 57, (2, 116, 230)[i // 5] + 52) for i in range(15)]

SPAM_FROM = 5000
STEP = 250       # one touch every STEP ms, answers and boxes in turn
SHOT_EVERY = 500


class Episode:
    """A stretch of screenshots showing one decision screen."""

    def __init__(self, kind, first):
        self.kind, self.first, self.last, self.mark = kind, first, first, None

    def __repr__(self):
        return "%s@%d-%d%s" % (self.kind, self.first, self.last, "" if self.mark is None else ":" + self.mark)


class Player:
    """Plays whole games from touch scripts, learning from screenshots of earlier runs.

    Every run replays the same timeline: the clock is virtual and the script fixed, so a run
    that changes only a later touch sees the same game up to it. Touches come in a steady
    stream: answers on FALSE (also Leave and No) and boxes in turn. A window puts the answer
    touches on TRUE for a while, to answer True, take an offer or say Yes.
    """

    def __init__(self, tree, run, length=420000, rules=False):
        self.screens = Screens(tree)
        self.run_script = run  # script text -> (result, {name: png bytes})
        self.length = length
        self.rules = rules
        self.windows = []  # (from, to): answer touches on TRUE
        self.stop_at = None  # the answer/box stream stops here
        self.extra = []  # (ms, x, y)

    def script(self, shots=True):
        lines = []
        start = 3000
        if self.rules:
            lines += ["3000 touch %d %d" % RULES, "8000 touch 400 300"]
            start = 14000
        lines.append("%d touch %d %d" % ((start,) + START))
        end = self.length if self.stop_at is None else self.stop_at
        for i, t in enumerate(range(start + 2000, end, STEP)):
            if i % 2 == 0:
                spot = TRUE if any(a <= t < b for a, b in self.windows) else FALSE
            else:
                spot = BOX_SPOTS[(i // 2) % len(BOX_SPOTS)]
            lines.append("%d touch %d %d" % ((t,) + spot))
        lines += ["%d touch %d %d" % e for e in self.extra]
        if shots:
            lines += ["%d shot s%07d.png" % (t, t) for t in range(start, self.length, SHOT_EVERY)]
        lines.sort(key=lambda l: int(l.split()[0]))
        return "\n".join(lines) + "\n"

    def episodes(self, shots):
        """Decision screens in time order, with the result marks of questions."""
        out = []
        current = None
        for name in sorted(n for n in shots if re.fullmatch(r"s\d{7}\.png", n)):
            t = int(name[1:8])
            shot = Shot(shots[name])
            mark = self.screens.mark(shot, 20) or self.screens.mark(shot, 362)
            if mark:
                # drawn over a face of the question panel, which is still up
                if out and out[-1].kind == "question" and out[-1].mark is None:
                    out[-1].mark = mark
                continue
            kind = None
            for k in ("question", "offer", "continue", "win"):
                if getattr(self.screens, "is_" + k)(shot):
                    kind = k
                    break
            if kind is None:
                current = None
                continue
            if current is not None and current.kind == kind:
                current.last = t
                continue
            current = Episode(kind, t)
            out.append(current)
        return out

    def window_for(self, episode):
        return (episode.first - 3 * STEP, episode.first + 3 * STEP)

    def covered(self, episode):
        return any(a <= episode.first < b for a, b in self.windows)

    def play(self, decide, most_runs=16):
        """Runs until every question is answered right and every offer and continue screen
        gets what decide(kind, ordinal) wants (True: Take or Yes). Returns the last run's
        (result, shots, episodes)."""
        answers = {}  # question ordinal -> touch TRUE
        for _ in range(most_runs):
            result, shots = self.run_script(self.script())
            eps = self.episodes(shots)
            if os.environ.get("QUIBBLO_PLAY_TRACE"):
                print("run:", eps, file=sys.stderr)
            windows, done = [], True
            counts = {}
            for e in eps:
                k = counts.get(e.kind, 0)
                counts[e.kind] = k + 1
                if e.kind == "question":
                    if e.mark is None:  # time ran out: nothing after it can be trusted
                        done = False
                        break
                    if e.mark == "wrong":
                        answers[k] = not self.covered(e)
                        done = False
                    want = answers.get(k, False)
                elif e.kind in ("offer", "continue"):
                    want = decide(e.kind, k)
                    if want != self.covered(e):
                        done = False
                        if want:
                            windows.append(self.window_for(e))
                        break  # the game goes another way from here
                else:
                    continue
                if want:
                    windows.append(self.window_for(e))
            if done:
                return result, shots, eps
            self.windows = windows
        raise AssertionError("no way through the game found in %d runs" % most_runs)


# Running cabinets and reading their books.
import json
import subprocess
import unittest

from harness import Cabinet, program

STAKE = 50


class PatientCabinet(Cabinet):
    """A cabinet that waits longer for the port while other test programs hold it."""

    def __enter__(self):
        for attempt in range(30):
            try:
                return super().__enter__()
            except RuntimeError as e:
                if "busy" not in str(e) or attempt == 29:
                    raise


def meters(cab):
    out = subprocess.run([program("quibblo-meters"), cab.path("data", "morvane.rec"), "--json"],
                         capture_output=True, text=True, timeout=60, check=True).stdout
    return json.loads(out)


def game_commands(ledger, command):
    return [e["amount"] for e in ledger if e["source"] == "game" and e["command"] == command]


def runner(keep, credit=500, server="real", reply=None):
    """script -> (result, shots) of one run in a fresh cabinet; the run's books go into keep."""
    def run(script):
        with PatientCabinet(server=server, credit=credit, reply=reply) as cab:
            r = cab.run(script)
            keep.clear()
            keep.update(result=r, log=r.log or "", meters=meters(cab))
            if server == "real":
                keep.update(ledger=cab.ledger(), status=cab.status())
            else:
                keep.update(received=cab.listener.received)
            return r, r.shots
    return run


def prize_meter(prize):
    if 5 <= prize <= 90 and prize % 5 == 0:
        return 301 + prize // 5
    if 100 <= prize <= 1000 and prize % 10 == 0:
        return 310 + prize // 10
    return 190


def top_value(meter):
    """The game's top value, from the set-up's meters of a single game."""
    top = {9 + k: 5 * (k + 1) for k in range(18)}
    top.update({27 + k: 100 * (k + 1) for k in range(5)})
    return sum(v for n, v in top.items() if meter[n])


class Books(unittest.TestCase):
    """Checks that the ledger and the record file agree on one session of games."""

    def check_books(self, keep, games, continues, prize, start_credit=500):
        m, ledger, status = keep["meters"], keep["ledger"], keep["status"]
        meter = m["meters"]
        self.assertEqual(game_commands(ledger, "CUSE"), [STAKE] * (games + continues))
        # whole pounds to the bank, the rest to credit, nothing else paid
        self.assertEqual(game_commands(ledger, "BADD"), [prize // 100 * 100] if prize >= 100 else [])
        self.assertEqual(game_commands(ledger, "CADD"), [prize % 100] if prize % 100 else [])
        self.assertEqual(status["credit"] + status["bank"], start_credit - STAKE * (games + continues) + prize)
        self.assertEqual(meter[0], games)
        self.assertEqual(sum(meter[1:8]), games)      # one payout band per game
        self.assertEqual(meter[8], games)             # one life each at set-up
        self.assertEqual(sum(meter[428:448]), games)  # the player's box
        self.assertEqual(meter[449], continues)
        self.assertEqual(meter[413], prize)
        self.assertEqual(m["prizes_won"], prize)
        self.assertEqual(meter[421], 1 if prize else 0)
        if prize:
            self.assertEqual(meter[prize_meter(prize)], 1)
        self.assertGreater(meter[425], 0)             # seconds played
        self.assertLess(meter[425], 900)
        self.assertIn("Closing log", keep["log"])
        self.assertEqual(keep["result"].code, 0)


def write_demo(path, gallery=None):
    """Finds a won game and writes it as the demonstration script of scripts/play, with
    screenshots of its key moments into shots/; with `gallery`, copies them there too."""
    from harness import data_tree
    keep = {}
    player = Player(data_tree(), runner(keep), rules=True)
    _, _, eps = player.play(lambda kind, k: False)
    first = {}
    for e in eps:
        first.setdefault(e.kind, e)
    questions = [e for e in eps if e.kind == "question"]
    win = first["win"]
    player.stop_at = win.last
    player.extra = [(win.last + 15000 + 500 * k,) + MAIN_MENU for k in range(20)]
    # the board just before the fifth question slides in; the question and the offer as they
    # come up, before the stream of touches answers them
    shots = [(2500, "01-menu"), (6000, "02-rules"), (questions[4].first - 2000, "03-board"),
             (first["question"].first, "04-question"), (first["offer"].first + 150, "05-bank-offer"),
             (win.first + 1000, "06-win"), (win.last + 12000, "07-menu-after")]
    text = player.script(shots=False).splitlines()
    text += ["%d shot shots/%s.png" % s for s in shots]
    text.sort(key=lambda l: int(l.split()[0]))
    head = ["# A demonstration game for scripts/play: Rules, then Start, every question answered",
            "# right, the bank's offers left, the top value won, then Main Menu. Screenshots go to",
            "# shots/. The game is deterministic on the virtual clock, so the answers hold as long",
            "# as the game's timing and random draws stay as they are; regenerate with",
            "#   QUIBBLO_BIN=build/bin python3 tests/e2e/play_support.py scripts/demo.touches"]
    with open(path, "w") as f:
        f.write("\n".join(head + text) + "\n")
    if gallery:
        os.makedirs(gallery, exist_ok=True)
        with PatientCabinet(server="real", credit=500) as cab:
            os.makedirs(cab.path("shots"))
            r = cab.run(open(path).read())
            for name in sorted(os.listdir(cab.path("shots"))):
                with open(cab.path("shots", name), "rb") as src, open(os.path.join(gallery, name), "wb") as dst:
                    dst.write(src.read())
            return r.code


if __name__ == "__main__":
    print(write_demo(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))

"""quibblo-meters --html: the operator's page from a record file and the game journal beside it,
rendered by a real headless Chromium. QUIBBLO_GALLERY=DIR also saves the screenshot there as
08-report.png."""
import hashlib
import html.parser
import os
import random
import shutil
import sqlite3
import subprocess
import tempfile
import unittest

from harness import needs, program
from test_money_meters import record

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
SCHEMA = """CREATE TABLE games(number INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT,
  state TEXT NOT NULL, band INTEGER, payout_balance INTEGER, stake INTEGER NOT NULL,
  continues INTEGER NOT NULL DEFAULT 0, outcome TEXT, prize INTEGER NOT NULL DEFAULT 0, paid TEXT)"""
HOSTILE = '<script>document.title="owned"</script> & <img src=x>'
PRIZES = [0] * 14 + [35, 55, 55, 100, 200, 37, 500]


GAMES = 200


def games(count):
    """A cabinet's history: some games bought continues, one prize is still owed, the last
    game is being played."""
    rng = random.Random(7)
    out = []
    for n in range(1, count + 1):
        continues = 1 if rng.random() < 0.15 else 0
        prize = rng.choice(PRIZES)
        out.append(dict(number=n, started="2026-12-%02dT%02d:%02d:00+00:00" % (1 + n // 24, 10 + n % 24 // 4, n % 60),
                        ended="2026-12-%02dT%02d:%02d:40+00:00" % (1 + n // 24, 10 + n % 24 // 4, n % 60),
                        state="finished", band=rng.choice([0, 2, 2, 3, 4]), stake=50 * (1 + continues),
                        continues=continues, outcome="won" if prize else "lost", prize=prize,
                        paid="paid" if prize else "none"))
    out[-2].update(outcome=HOSTILE, prize=150, paid="owed")
    out[-1].update(state="playing", ended=None, outcome=None, prize=0, paid=None)
    return out


def prize_meter(prize):
    if 5 <= prize <= 90 and prize % 5 == 0:
        return 301 + prize // 5
    if 100 <= prize <= 1000 and prize % 10 == 0:
        return 310 + prize // 10
    return 190


def meters_of(history):
    """The meters the game keeps for these games."""
    m = {}

    def add(n, v=1):
        m[n] = m.get(n, 0) + v
    for g in history:
        add(0)
        add(1 + g["band"])
        add(449, g["continues"])
        if g["prize"]:
            add(413, g["prize"])
            add(414 + g["band"], g["prize"])
            add(421)
            add(prize_meter(g["prize"]))
    return m


def money(pence):
    return "%dp" % pence if pence < 100 else "\u00a3%d.%02d" % (pence // 100, pence % 100)


def journal(path, history):
    db = sqlite3.connect(path)
    db.execute(SCHEMA)
    for g in history:
        db.execute("INSERT INTO games VALUES(:number, :started, :ended, :state, :band, 0, :stake, :continues, "
                   ":outcome, :prize, :paid)", g)
    db.commit()
    db.close()


class Text(html.parser.HTMLParser):
    """The page as a browser shows it: the text of each table row, and the elements met."""

    def __init__(self):
        super().__init__()
        self.text, self.rows, self.tags, self.row = [], [], [], None

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))
        if tag == "tr":
            self.row = []

    def handle_endtag(self, tag):
        if tag == "tr" and self.row is not None:
            self.rows.append(self.row)
            self.row = None

    def handle_data(self, data):
        self.text.append(data)
        if self.row is not None and data.strip():
            self.row.append(data.strip())


@needs("quibblo-meters")
class MetersPage(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-html-")
        os.makedirs(self.path("data"))
        with open(self.path("data", "morvane.rec"), "wb") as f:
            f.write(record(-12.5, meters_of(games(GAMES))))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read(self, name):
        with open(self.path(name), encoding="utf-8") as f:
            return f.read()

    def meters(self, *args):
        return subprocess.run([program("quibblo-meters"), *args], cwd=self.dir, capture_output=True, text=True,
                              timeout=60)

    def chromium(self, page, *args):
        r = subprocess.run([CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu",
                            "--user-data-dir=" + self.path("profile"), *args, "file://" + page],
                           capture_output=True, text=True, timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr[-2000:])
        return r.stdout

    def rendered(self, page):
        """The DOM Chromium built from the page, parsed, and its screenshot."""
        dom = Text()
        dom.feed(self.chromium(page, "--dump-dom"))
        shot = self.path("shot.png")
        self.chromium(page, "--screenshot=" + shot, "--window-size=1200,1600", "--hide-scrollbars")
        return dom, shot

    def assertDrawn(self, shot):
        from PIL import Image
        image = Image.open(shot).convert("RGB")
        self.assertEqual(image.size, (1200, 1600))
        colours = image.getcolors(1 << 20)
        self.assertGreater(len(colours), 20, "a blank or nearly blank page")
        bars = sum(n for n, c in colours if c == (0x22, 0xaa, 0x66))
        self.assertGreater(bars, 5000, "no chart bars drawn")
        return image

    @unittest.skipUnless(CHROMIUM, "chromium is not installed (scripts/deps installs it)")
    def test_page_with_the_journal_renders_the_figures(self):
        history = games(GAMES)
        journal(self.path("data", "journal.db"), history)
        with open(self.path("data", "journal.db"), "rb") as f:
            before = hashlib.sha256(f.read()).hexdigest()
        r = self.meters("data/morvane.rec", "--html", "report.html")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, "")
        # read-only: the journal is as it was, with nothing made beside it
        with open(self.path("data", "journal.db"), "rb") as f:
            self.assertEqual(hashlib.sha256(f.read()).hexdigest(), before)
        self.assertEqual(sorted(os.listdir(self.path("data"))), ["journal.db", "morvane.rec"])
        # nothing for a browser to fetch: no scripts, links or sources in any tag
        source = Text()
        source.feed(self.read("report.html"))
        for tag, attrs in source.tags:
            self.assertNotIn(tag, ("script", "link", "img", "iframe", "object", "embed"))
            self.assertFalse({"src", "href", "xlink:href"} & set(attrs), tag)
        self.assertNotIn("url(", self.read("report.html"))

        dom, shot = self.rendered(self.path("report.html"))
        text = " ".join(dom.text)
        stakes = sum(g["stake"] for g in history)
        prizes = sum(g["prize"] for g in history)
        bought = sum(g["continues"] for g in history)
        rtp = "%.2f%%" % (100.0 * prizes / stakes)
        for figure in (rtp, money(stakes), money(prizes), "-12.50 pence", "%d games paid" % len(history),
                       "%d continues bought" % bought, "Prizes over stakes", "Games started in each payout band",
                       "Games won at each prize", "%d games from %s" % (GAMES, history[0]["started"]), "1 prize owed, \u00a31.50",
                       "return " + rtp, "prizes won of 55p", "games started in payout band 2"):
            self.assertIn(figure, text)
        # the hostile outcome is text on the page, not markup
        self.assertIn(HOSTILE, text)
        self.assertNotIn("script", [t for t, _ in dom.tags])
        self.assertNotIn("img", [t for t, _ in dom.tags])
        last = [row for row in dom.rows if row and row[0].isdigit() and len(row) >= 6 and "T" in row[1]]
        self.assertEqual([int(row[0]) for row in last], list(range(GAMES, GAMES - 20, -1)))  # the last 20, newest first
        self.assertEqual(last[0][2], "playing")
        self.assertEqual(len([t for t, a in dom.tags if t == "svg"]), 3)
        # 7 bands, and a bar for each prize amount won
        amounts = {g["prize"] for g in history if g["prize"]}
        self.assertEqual(len([1 for t, a in dom.tags if t == "rect" and a.get("class") == "bar"]), 7 + len(amounts))

        image = self.assertDrawn(shot)
        gallery = os.environ.get("QUIBBLO_GALLERY")
        if gallery:
            image.save(os.path.join(gallery, "08-report.png"), optimize=True)

    @unittest.skipUnless(CHROMIUM, "chromium is not installed (scripts/deps installs it)")
    def test_without_a_journal_the_meters_still_show(self):
        r = self.meters("data/morvane.rec", "--html", "report.html")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse(os.path.exists(self.path("data", "journal.db")))
        dom, shot = self.rendered(self.path("report.html"))
        text = " ".join(dom.text)
        self.assertIn("The game history is not available: no game journal at data/journal.db", text)
        self.assertIn("return to player", text)
        self.assertIn("games started in payout band 3", text)
        self.assertEqual(len([t for t, _ in dom.tags if t == "svg"]), 2)
        self.assertDrawn(shot)

    def test_bad_journals_and_command_lines(self):
        # a journal named on the command line that is no journal: said, and the page still made
        with open(self.path("notes.db"), "w") as f:
            f.write("just words\n")
        r = self.meters("data/morvane.rec", "--html", "report.html", "--journal", "notes.db")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("the game journal notes.db cannot be read", r.stderr)
        self.assertIn("The game history is not available", self.read("report.html"))

        # a page that cannot be written leaves no part of itself behind
        r = self.meters("data/morvane.rec", "--html", "no/such/folder/report.html")
        self.assertEqual(r.returncode, 73)
        self.assertIn("cannot write no/such/folder/report.html", r.stderr)
        os.makedirs(self.path("taken.html"))
        self.assertEqual(self.meters("data/morvane.rec", "--html", "taken.html").returncode, 73)
        self.assertFalse(os.path.exists(self.path("taken.html.part")))

        for args in (["--html"], ["--html="], ["--html", "a.html", "--json"], ["--journal", "data/journal.db"]):
            r = self.meters("data/morvane.rec", *args)
            self.assertEqual(r.returncode, 64, args)

        # a damaged record with --force: the page says so, and the exit status stays 65
        with open(self.path("data", "morvane.rec"), "wb") as f:
            f.write(record(2.0, {0: 1})[:11])
        r = self.meters("data/morvane.rec", "--html", "report.html", "--force")
        self.assertEqual(r.returncode, 65)
        self.assertIn("Not a whole record file", self.read("report.html"))


if __name__ == "__main__":
    unittest.main()

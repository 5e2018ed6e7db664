#!/usr/bin/env python3
"""Writes the computed statements of the question bank: tools/assets/bank/computed.txt.

Mental arithmetic, money, time and spelling counts, in the forms the bank checker works out for
itself (check_bank.evaluate), so every label here is checked by the checker's own arithmetic.
Each family gives as many true as false statements, so its wording tells nothing; a false one
is a near miss (a neighbouring product, a letter too many), never nonsense. A statement is kept
only if it neither repeats nor mirrors (a one-word edit across labels) one already made or one
of the hand-written statements. Deterministic: the same file on every run.

    python3 tools/assets/make_bank.py        # rewrites tools/assets/bank/computed.txt
"""
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_bank  # noqa: E402

BANK = os.path.join(HERE, "bank")
OUT = os.path.join(BANK, "computed.txt")
WORDS = ["one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "eleven",
         "twelve"]


def pence(p):
    """Money as said in Britain: 60p, 1 pound, 3 pounds 50p."""
    if p < 100:
        return "%dp" % p
    pounds = "%d pound%s" % (p // 100, "" if p // 100 == 1 else "s")
    return pounds if p % 100 == 0 else "%s %dp" % (pounds, p % 100)


class Maker:
    def __init__(self, handwritten):
        self.all = list(handwritten)  # Statements, for the repeat and mirror tests
        self.keys = {check_bank.normalised(s) for s in handwritten}
        self.out = {}
        self.questions = set()

    def clashes(self, s):
        if check_bank.normalised(s) in self.keys:
            return True
        for o in self.all:
            if o.answer == s.answer:
                union = len(o.content | s.content)
                if union and len(o.content & s.content) >= 0.8 * union:
                    return True
            elif check_bank.is_mirror(o, s):
                return True
        return False

    def family(self, category, count, make, rng):
        """count true and count false statements from make(rng, truth) -> (text, reason)."""
        made = {True: 0, False: 0}
        tries = 0
        while min(made.values()) < count:
            tries += 1
            if tries > 5000:
                raise SystemExit("category %d: %s ran out of fresh statements" % (category, make.__qualname__))
            truth = made[True] < made[False] or (made[True] == made[False] and rng.random() < 0.5)
            text, reason = make(rng, truth)
            # The reason starts with the question ("7 x 8", "rocket"): each is asked once.
            question = reason.split(" = ")[0] if " = " in reason else reason.split(":")[0]
            # 4 x 8 and 8 x 4 are one question.
            for op in (" + ", " x "):
                if op in question:
                    question = op.join(sorted(question.split(op)))
            if question in self.questions:
                continue
            if check_bank.evaluate(text) != truth:
                raise SystemExit("make_bank: %r is not %s by the checker" % (text, truth))
            s = check_bank.Statement(category, truth, text, reason, "computed", True)
            if self.clashes(s):
                continue
            self.all.append(s)
            self.questions.add(question)
            self.keys.add(check_bank.normalised(s))
            self.out.setdefault(category, []).append(s)
            made[truth] += 1


def near(rng, value, steps, low=1):
    while True:
        v = value + rng.choice(steps)
        if v >= low and v != value:
            return v


def plus(top, low=1):
    def make(rng, truth):
        a, b = rng.randint(low, top), rng.randint(low, top)
        c = a + b if truth else near(rng, a + b, [-2, -1, 1, 2, 10, -10])
        return "%d plus %d is %d." % (a, b, c), "%d + %d = %d" % (a, b, a + b)
    return make


def minus(top, low=1):
    def make(rng, truth):
        a = rng.randint(max(low, 3), top)
        b = rng.randint(1, a - 1)
        c = a - b if truth else near(rng, a - b, [-2, -1, 1, 2, 10], 0)
        return "%d take away %d leaves %d." % (a, b, c), "%d - %d = %d" % (a, b, a - b)
    return make


def times(lo, hi, lo2=None, hi2=None):
    def make(rng, truth):
        a, b = rng.randint(lo, hi), rng.randint(lo2 or lo, hi2 or hi)
        # A wrong product is a neighbouring one (a times b plus or minus one of them) or just off.
        c = a * b if truth else rng.choice([a * (b + 1), a * (b - 1), (a + 1) * b, a * b + 2, a * b - 2,
                                           a * b + 10])
        if not truth and (c == a * b or c <= 0):
            c = a * b + 1
        return "%d times %d is %d." % (a, b, c), "%d x %d = %d" % (a, b, a * b)
    return make


def divide(lo, hi):
    def make(rng, truth):
        b, q = rng.randint(lo, hi), rng.randint(2, 12)
        c = q if truth else near(rng, q, [-1, 1], 1)
        return "%d divided by %d is %d." % (b * q, b, c), "%d x %d = %d" % (b, q, b * q)
    return make


def half(top):
    def make(rng, truth):
        a = 2 * rng.randint(3, top // 2)
        c = a // 2 if truth else near(rng, a // 2, [-2, -1, 1, 2, 5, -5])
        return "Half of %d is %d." % (a, c), "%d / 2 = %d" % (a, a // 2)
    return make


def double(top):
    def make(rng, truth):
        a = rng.randint(3, top)
        c = 2 * a if truth else near(rng, 2 * a, [-2, 2, 10, -10, 1])
        return "Double %d is %d." % (a, c), "2 x %d = %d" % (a, 2 * a)
    return make


def squared(lo, hi):
    def make(rng, truth):
        a = rng.randint(lo, hi)
        c = a * a if truth else rng.choice([a * (a + 1), a * (a - 1), a * a + 10, a * a - 10, a * a + 1])
        if c <= 0:
            c = a * (a + 1)
        return "%d squared is %d." % (a, c), "%d squared = %d x %d = %d" % (a, a, a, a * a)
    return make


def root(lo, hi):
    def make(rng, truth):
        a = rng.randint(lo, hi)
        c = a if truth else near(rng, a, [-1, 1])
        return "The square root of %d is %d." % (a * a, c), "root of %d = %d, as %d x %d = %d" % (
            a * a, a, a, a, a * a)
    return make


def percent(percents, top):
    def make(rng, truth):
        p = rng.choice(percents)
        step = 100 // __import__("math").gcd(p, 100)
        n = step * rng.randint(1, top // step)
        value = p * n // 100
        c = value if truth else near(rng, value, [-5, 5, -2, 2, -10, 10], 1)
        return "%d per cent of %d is %d." % (p, n, c), "%d x %d / 100 = %d" % (p, n, value)
    return make


def roman(lo, hi):
    def make(rng, truth):
        n = rng.randint(lo, hi)
        shown = n if truth else near(rng, n, [-1, 1, -10, 10, 2, -2], 1)
        return "%s is the Roman numeral for %d." % (check_bank.to_roman(shown), n), \
            "%d = %s" % (n, check_bank.to_roman(n))
    return make


def coins(kinds, most):
    def make(rng, truth):
        v, k = rng.choice(kinds), rng.randint(2, most)
        total = v * k if truth else near(rng, v * k, [-v, v, -10, 10], 1)
        return "%s %dp coins make %s." % (WORDS[k - 1].capitalize(), v, pence(total)), \
            "%d x %dp = %s" % (k, v, pence(v * k))
    return make


def time_units(pairs):
    def make(rng, truth):
        small, big, per, most = rng.choice(pairs)
        k = rng.randint(2, most)
        n = per * k if truth else rng.choice([per * (k + 1), per * (k - 1), per * k + 10, per * k - 10])
        unit = big if k == 1 else big + "s"
        return "There are %d %ss in %s %s." % (n, small, WORDS[k - 1], unit), \
            "%s %s = %d x %d = %d %ss" % (WORDS[k - 1], unit, k, per, per * k, small)
    return make


def clock(step):
    def make(rng, truth):
        h, m = rng.randint(1, 11), 5 * rng.randint(0, 11)
        add = step * rng.randint(2, 110 // step)
        t = h * 60 + m + add
        if not truth:
            t += rng.choice([-10, 10, 60, -60, -5, 5])
        return "%d minutes after %d:%02d it is %d:%02d." % (add, h, m, (t // 60) % 24, t % 60), \
            "%d:%02d + %d min = %d:%02d" % (h, m, add, ((h * 60 + m + add) // 60) % 24, (h * 60 + m + add) % 60)
    return make


def letters(words):
    def make(rng, truth):
        w = rng.choice(words)
        n = len(w) if truth else near(rng, len(w), [-1, 1, 2], 2)
        return "The word '%s' has %s letters." % (w, WORDS[n - 1] if n <= 12 else n), \
            "%s: %d letters" % (w, len(w))
    return make


def vowels(words):
    def make(rng, truth):
        w = rng.choice(words)
        v = sum(c in "aeiou" for c in w)
        n = v if truth else near(rng, v, [-1, 1], 1)
        return "The word '%s' has %s vowel%s." % (w, WORDS[n - 1], "" if n == 1 else "s"), \
            "%s: %d of a, e, i, o, u" % (w, v)
    return make


def repeats(words):
    def make(rng, truth):
        w = rng.choice(words)
        c = rng.choice(sorted({x for x in w if w.count(x) >= 2}))
        n = w.count(c) if truth else near(rng, w.count(c), [-1, 1], 1)
        return "The word '%s' contains the letter '%s' %s times." % (w, c, WORDS[n - 1]), \
            "%s: %d of %s" % (w, w.count(c), c)
    return make


SHORT = ["cat", "dog", "sun", "tree", "fish", "bird", "milk", "cake", "frog", "ship", "rain",
         "book", "duck", "lamp", "apple", "horse", "train", "chair", "bread", "cloud", "tiger",
         "mouse", "grass", "snake", "garden", "rabbit", "pencil", "carrot", "kitten", "rocket"]
MIDDLE = ["elephant", "umbrella", "dinosaur", "sandwich", "hospital", "football", "mountain",
          "triangle", "calendar", "envelope", "pineapple", "dolphin", "penguin", "giraffe",
          "kangaroo", "tomato", "potato", "volcano", "library", "chocolate", "teacher", "holiday",
          "birthday", "castle", "blanket", "orange", "lemonade", "biscuit", "ladder", "picnic"]
LONG = ["adventure", "alphabet", "avalanche", "beautiful", "crocodile", "decoration", "education",
        "furniture", "generation", "helicopter", "importance", "invitation", "marmalade",
        "microscope", "motorcycle", "newspaper", "parliament", "population", "quarantine",
        "restaurant", "submarine", "telephone", "television", "temperature", "understanding",
        "vegetable", "waterfall", "wonderful", "cathedral", "encyclopaedia"]
REPEATS = ["banana", "mississippi", "committee", "bookkeeper", "balloon", "coffee", "assess",
           "possession", "necessary", "referee", "engineer", "addressee", "toffee", "tattoo",
           "bubble", "pepper", "cinnamon", "parallel", "sleepless", "successful", "mammal",
           "giggle", "papaya", "cocoa", "grammar", "millennium", "accommodation", "embarrass",
           "tomorrow", "occurrence"]

# category: [(statements of each answer, family), ...]; about a quarter of each category.
PLAN = {
    1: [(7, plus(9)), (6, double(20)), (6, letters(SHORT)), (4, coins([2, 5, 10, 20], 5))],
    2: [(6, plus(20, 5)), (6, minus(20)), (5, times(2, 5, 2, 10)), (5, letters(SHORT + MIDDLE))],
    3: [(5, times(2, 10)), (5, half(100)), (4, minus(50, 20)), (4, roman(1, 20)),
        (4, time_units([("minute", "hour", 60, 5), ("day", "week", 7, 6)]))],
    4: [(5, times(3, 12)), (4, minus(100, 40)), (4, coins([5, 10, 20, 50], 9)), (4, vowels(MIDDLE)),
        (5, roman(10, 50))],
    5: [(4, divide(3, 12)), (4, percent([10, 25, 50], 200)), (4, clock(5)), (5, roman(20, 100)),
        (4, squared(2, 12))],
    6: [(5, percent([10, 20, 25, 50, 75], 400)), (4, squared(13, 20)), (4, divide(6, 15)),
        (4, time_units([("second", "minute", 60, 9), ("hour", "day", 24, 4), ("day", "fortnight", 14, 3),
                        ("metre", "kilometre", 1000, 9), ("gram", "kilogram", 1000, 9)])),
        (5, repeats(REPEATS))],
    7: [(5, times(11, 19, 3, 9)), (4, root(4, 15)), (4, percent([5, 15, 20, 30, 40, 75], 300)),
        (4, clock(15)), (5, vowels(LONG))],
    8: [(5, times(12, 25, 4, 9)), (4, divide(11, 25)), (4, percent([5, 12, 15, 35, 60, 80], 300)),
        (4, roman(40, 150)), (5, repeats(REPEATS))],
}


def main():
    handwritten = [s for s in check_bank.read_bank(BANK)[0] if not s.computed]
    maker = Maker(handwritten)
    for category, families in sorted(PLAN.items()):
        rng = random.Random(2026 * 100 + category)
        for count, make in families:
            maker.family(category, count, make, rng)
    with open(OUT, "w") as f:
        f.write("# Computed statements: written by make_bank.py, do not edit by hand.\n"
                "# Every label here is worked out again by check_bank.py.\n")
        for category in sorted(maker.out):
            f.write("\n== %d\n" % category)
            for s in maker.out[category]:
                f.write("%s %s # %s\n" % ("T" if s.answer else "F", s.text, s.reason))
    print("make_bank: %d computed statements in %s" % (sum(map(len, maker.out.values())), OUT))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Regenerates the computed part of the question bank (questions.txt, after the marker line).

Statements about numbers, dates, Roman numerals and chemical elements are computed here, so
their truth is checked by arithmetic rather than by eye. The hand-written statements above the
marker are kept as they are. Deterministic: the same file on every run.

    python3 tools/assets/make_bank.py        # rewrites tools/assets/questions.txt
"""
import datetime
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
BANK = os.path.join(HERE, "questions.txt")
MARKER = "# ---- computed statements below: made by make_bank.py, do not edit by hand ----"

NUMBER_WORDS = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten",
                "eleven", "twelve"]
ORDINAL = {1: "1st", 2: "2nd", 3: "3rd", 21: "21st", 22: "22nd", 23: "23rd"}
MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August", "September",
          "October", "November", "December"]
DAYS = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]

# Element, symbol, atomic number. Plausible wrong symbols are other elements' symbols or the
# obvious guesses from the English name.
ELEMENTS = [
    ("hydrogen", "H", 1), ("helium", "He", 2), ("lithium", "Li", 3), ("carbon", "C", 6),
    ("nitrogen", "N", 7), ("oxygen", "O", 8), ("fluorine", "F", 9), ("neon", "Ne", 10),
    ("sodium", "Na", 11), ("magnesium", "Mg", 12), ("aluminium", "Al", 13), ("silicon", "Si", 14),
    ("phosphorus", "P", 15), ("sulfur", "S", 16), ("chlorine", "Cl", 17), ("argon", "Ar", 18),
    ("potassium", "K", 19), ("calcium", "Ca", 20), ("iron", "Fe", 26), ("copper", "Cu", 29),
    ("zinc", "Zn", 30), ("silver", "Ag", 47), ("tin", "Sn", 50), ("iodine", "I", 53),
    ("gold", "Au", 79), ("mercury", "Hg", 80), ("lead", "Pb", 82), ("uranium", "U", 92),
    ("tungsten", "W", 74), ("platinum", "Pt", 78), ("nickel", "Ni", 28), ("cobalt", "Co", 27),
    ("manganese", "Mn", 25), ("chromium", "Cr", 24), ("titanium", "Ti", 22), ("antimony", "Sb", 51),
    ("bromine", "Br", 35), ("krypton", "Kr", 36), ("xenon", "Xe", 54), ("radon", "Rn", 86),
    ("boron", "B", 5), ("beryllium", "Be", 4),
]
WRONG_SYMBOL = {
    "hydrogen": "Hy", "helium": "H", "lithium": "L", "carbon": "Ca", "nitrogen": "Ni", "oxygen": "Ox",
    "fluorine": "Fl", "neon": "N", "sodium": "So", "magnesium": "Mn", "aluminium": "Am",
    "silicon": "Sn", "phosphorus": "Ph", "sulfur": "Su", "chlorine": "C", "argon": "Ag",
    "potassium": "P", "calcium": "C", "iron": "Ir", "copper": "Co", "zinc": "Z", "silver": "Si",
    "tin": "Ti", "iodine": "Io", "gold": "Go", "mercury": "Me", "lead": "Le", "uranium": "Ur",
    "tungsten": "Tu", "platinum": "Pl", "nickel": "Nk", "cobalt": "Cb", "manganese": "Mg",
    "chromium": "Ch", "titanium": "Tn", "antimony": "An", "bromine": "B", "krypton": "K",
    "xenon": "X", "radon": "Ra", "boron": "Bo", "beryllium": "Br",
}
SHAPES = [("triangle", 3), ("square", 4), ("pentagon", 5), ("hexagon", 6), ("heptagon", 7),
          ("octagon", 8), ("nonagon", 9), ("decagon", 10), ("dodecagon", 12)]
WORDS = ["apple", "banana", "castle", "dragon", "elephant", "football", "garden", "holiday",
         "island", "jigsaw", "kitchen", "lemonade", "mountain", "notebook", "orange", "penguin",
         "rainbow", "sandwich", "teapot", "umbrella", "village", "window", "yoghurt", "zebra",
         "biscuit", "chocolate", "dolphin", "giraffe", "hedgehog", "pancake"]


def month_days(m):
    return [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][m]


def roman(n):
    out = ""
    for value, letters in [(1000, "M"), (900, "CM"), (500, "D"), (400, "CD"), (100, "C"), (90, "XC"),
                           (50, "L"), (40, "XL"), (10, "X"), (9, "IX"), (5, "V"), (4, "IV"), (1, "I")]:
        while n >= value:
            out += letters
            n -= value
    return out


def is_prime(n):
    return n > 1 and all(n % d for d in range(2, int(n ** 0.5) + 1))


def ordinal(n):
    return ORDINAL.get(n, "%dth" % n)


def pence(p):
    """Money as said in Britain: 60p, 1 pound, 3 pounds 50p."""
    if p < 100:
        return "%dp" % p
    pounds = "%d pound%s" % (p // 100, "" if p // 100 == 1 else "s")
    return pounds if p % 100 == 0 else "%s %dp" % (pounds, p % 100)


def leap(y):
    return y % 4 == 0 and (y % 100 != 0 or y % 400 == 0)


class Category:
    def __init__(self, number, rng):
        self.number = number
        self.rng = rng
        self.true = []
        self.false = []

    seen = set()  # every statement of the bank, so that none is made twice

    def add(self, truth, text):
        if text not in Category.seen:
            Category.seen.add(text)
            (self.true if truth else self.false).append(text)

    def pair(self, true_text, false_text):
        self.add(True, true_text)
        self.add(False, false_text)


# ---- families of statements, each a function (category, level, count) ---------------------

def additions(c, top, count):
    seen = set()
    while len(seen) < count:
        a, b = c.rng.randint(2, top), c.rng.randint(2, top)
        if (a, b) in seen:
            continue
        seen.add((a, b))
        c.pair("%d plus %d makes %d." % (a, b, a + b),
               "%d plus %d makes %d." % (b, a, a + b + c.rng.choice([-2, -1, 1, 2])))


def subtractions(c, top, count):
    seen = set()
    while len(seen) < count:
        a = c.rng.randint(top // 2, top)
        b = c.rng.randint(2, a - 1)
        if (a, b) in seen:
            continue
        seen.add((a, b))
        c.pair("%d take away %d leaves %d." % (a, b, a - b),
               "%d minus %d is %d." % (a, b, a - b + c.rng.choice([-1, 1, 2])))


def times(c, lo, hi, count):
    seen = set()
    while len(seen) < count:
        a, b = c.rng.randint(lo, hi), c.rng.randint(lo, hi)
        if (min(a, b), max(a, b)) in seen:
            continue
        seen.add((min(a, b), max(a, b)))
        wrong = a * b + c.rng.choice([-a, a, -b, b, 1, -1, 10])
        c.pair("%d times %d is %d." % (a, b, a * b), "%d multiplied by %d is %d." % (a, b, wrong))


def divisions(c, lo, hi, count):
    seen = set()
    while len(seen) < count:
        a, b = c.rng.randint(lo, hi), c.rng.randint(lo, hi)
        if (a, b) in seen:
            continue
        seen.add((a, b))
        c.pair("%d divided by %d is %d." % (a * b, b, a), "%d divided by %d is %d." % (a * b, a, b + 1))


def month_lengths(c):
    for m in range(12):
        if m == 1:
            continue
        d = month_days(m)
        c.add(True, "There are %d days in %s." % (d, MONTHS[m]))
        c.add(False, "There are %d days in %s." % (61 - d, MONTHS[m]))


def shapes(c, names):
    for name, sides in SHAPES:
        if name not in names:
            continue
        c.pair("A %s has %s sides." % (name, NUMBER_WORDS[sides] if sides <= 12 else sides),
               "A %s has %s sides." % (name, NUMBER_WORDS[sides + 1] if sides + 1 <= 12 else sides + 1))


def word_lengths(c, words):
    for w in words:
        n = len(w)
        c.pair("The word '%s' has %s letters." % (w, NUMBER_WORDS[n]),
               "The word '%s' has %s letters." % (w, NUMBER_WORDS[n + 1] if n + 1 <= 12 else n + 1))


def alphabet(c, letters):
    for ch in letters:
        n = ord(ch) - 64
        c.pair("%s is the %s letter of the alphabet." % (ch, ordinal(n)),
               "%s is the %s letter of the alphabet." % (ch, ordinal(n + 1 if n == 1 else n + c.rng.choice([-1, 1]))))


def coins(c, count):
    kinds = [1, 2, 5, 10, 20, 50]
    seen = set()
    while len(seen) < count:
        k, n = c.rng.choice(kinds), c.rng.randint(2, 9)
        if (k, n) in seen:
            continue
        seen.add((k, n))
        total = k * n
        wrong = total + c.rng.choice([-k, k])
        c.pair("%s %dp coins make %s." % (NUMBER_WORDS[n].capitalize(), k, pence(total)),
               "%s %dp coins make %s." % (NUMBER_WORDS[n].capitalize(), k, pence(wrong)))


def change(c, count):
    seen = set()
    while len(seen) < count:
        spent = c.rng.randrange(5, 95, 5)
        if spent in seen:
            continue
        seen.add(spent)
        article = "an" if str(spent).startswith("8") or spent in (11, 18) else "a"
        c.pair("Paying for %s %dp item with a 1 pound coin gives %dp change." % (article, spent, 100 - spent),
               "Paying for %s %dp item with a 1 pound coin gives %dp change." % (article, spent, 100 - spent + (10 if spent > 10 else -10)))


def romans(c, lo, hi, count):
    seen = set()
    while len(seen) < count:
        n = c.rng.randint(lo, hi)
        if n in seen:
            continue
        seen.add(n)
        wrong = n + c.rng.choice([-10, -1, 1, 10, 5, -5])
        c.pair("%s is the Roman numeral for %d." % (roman(n), n),
               "%s is the Roman numeral for %d." % (roman(n), wrong))


def primes(c, lo, hi, count):
    ps = [n for n in range(lo, hi) if is_prime(n)]
    # Composites that look prime: odd, not ending in 5 (and above 100 not divisible by 3).
    tricky = [n for n in range(lo, hi) if n % 2 and n % 5 and (n % 3 or hi <= 100) and not is_prime(n)]
    c.rng.shuffle(ps)
    c.rng.shuffle(tricky)
    for n in ps[:count]:
        c.add(True, "%d is a prime number." % n)
    for n in tricky[:count]:
        c.add(False, "%d is a prime number." % n)


def squares(c, lo, hi, count):
    ns = list(range(lo, hi + 1))
    c.rng.shuffle(ns)
    for n in ns[:count]:
        c.pair("%d squared is %d." % (n, n * n),
               "%d squared is %d." % (n, n * n + c.rng.choice([-n, n, 10, -10])))


def roots(c, lo, hi, count):
    ns = list(range(lo, hi + 1))
    c.rng.shuffle(ns)
    for n in ns[:count]:
        c.pair("The square root of %d is %d." % (n * n, n), "The square root of %d is %d." % (n * n + n, n))


def cubes(c, lo, hi, count):
    for n in range(lo, hi + 1)[:count]:
        c.pair("%d cubed is %d." % (n, n ** 3), "%d cubed is %d." % (n, n ** 3 + n * n))


def percents(c, count):
    seen = set()
    while len(seen) < count:
        p = c.rng.choice([10, 20, 25, 50, 75, 5, 15, 30, 40, 60])
        base = c.rng.choice([20, 40, 60, 80, 120, 200, 240, 300, 400, 500])
        if (p, base) in seen or p * base % 100:
            continue
        seen.add((p, base))
        value = p * base // 100
        c.pair("%d per cent of %d is %d." % (p, base, value),
               "%d per cent of %d is %d." % (p, base, value + c.rng.choice([-5, 5, 10, -10, 2])))


def leap_years(c, years):
    for y in years:
        c.add(leap(y), "The year %d was a leap year." % y if y < 2024 else "The year %d will be a leap year." % y)


def weekdays(c, dates):
    for (y, m, d) in dates:
        wd = datetime.date(y, m, d).weekday()
        text = "%d %s %d was a %s." % (d, MONTHS[m - 1], y, DAYS[wd])
        c.add(True, text)
        wrong = DAYS[(wd + c.rng.choice([1, 6])) % 7]
        c.add(False, "%d %s %d was a %s." % (d, MONTHS[m - 1], y, wrong))


def symbols(c, names):
    for name, sym, _ in ELEMENTS:
        if name in names:
            c.pair("The chemical symbol for %s is %s." % (name, sym),
                   "The chemical symbol for %s is %s." % (name, WRONG_SYMBOL[name]))


def atomic_numbers(c, names):
    for name, _, z in ELEMENTS:
        if name in names:
            c.pair("The atomic number of %s is %d." % (name, z),
                   "The atomic number of %s is %d." % (name, z + c.rng.choice([-2, -1, 1, 2])))


def powers_of_two(c, lo, hi):
    for k in range(lo, hi + 1):
        c.pair("2 to the power of %d is %d." % (k, 2 ** k), "2 to the power of %d is %d." % (k, 2 ** k + 2 ** (k - 1)))


def time_units(c):
    facts = [("seconds in an hour", 3600, 360), ("minutes in a day", 1440, 1200),
             ("hours in a week", 168, 148), ("days in a leap year", 366, 365),
             ("weeks in a fortnight", 2, 3), ("years in a century", 100, 1000),
             ("years in a decade", 10, 12), ("minutes in three hours", 180, 160),
             ("days in a week", 7, 8), ("months in a year", 12, 13)]
    for what, right, wrong in facts:
        c.pair("There are %s %s." % (format(right, ","), what), "There are %s %s." % (format(wrong, ","), what))


# ---- categories: 1 to 14 rising in difficulty, 15 to 24 the hardest ------------------------

def build():
    cats = {n: Category(n, random.Random(1000 + n)) for n in range(1, 25)}
    c = cats
    additions(c[1], 9, 6); word_lengths(c[1], WORDS[:6]); shapes(c[1], ["triangle", "square"])
    month_lengths(c[1])
    additions(c[2], 15, 8); word_lengths(c[2], WORDS[6:14]); coins(c[2], 6); time_units(c[2])
    subtractions(c[3], 30, 8); times(c[3], 2, 5, 8); coins(c[3], 6); word_lengths(c[3], WORDS[14:20])
    times(c[4], 2, 10, 10); alphabet(c[4], "ABCDEFGHJ"); change(c[4], 5)
    times(c[5], 3, 12, 10); alphabet(c[5], "KLMNOPRSTW"); change(c[5], 5)
    divisions(c[6], 2, 12, 10); romans(c[6], 1, 20, 8); shapes(c[6], ["pentagon", "hexagon", "octagon"])
    squares(c[7], 2, 12, 10); romans(c[7], 21, 60, 8); subtractions(c[7], 150, 5)
    primes(c[8], 10, 60, 8); symbols(c[8], ["hydrogen", "oxygen", "carbon", "nitrogen", "iron", "gold",
                                            "silver", "helium", "sodium", "calcium"]); times(c[8], 11, 15, 4)
    percents(c[9], 10); primes(c[9], 40, 100, 6); romans(c[9], 60, 100, 6)
    leap_years(c[10], [1996, 2000, 2004, 2008, 2012, 2016, 2020, 1990, 1998, 2002, 2006, 2010, 2014, 2018])
    symbols(c[10], ["copper", "zinc", "tin", "lead", "mercury", "potassium", "magnesium", "chlorine"])
    squares(c[10], 13, 20, 6)
    primes(c[11], 100, 200, 8); romans(c[11], 1950, 2020, 6); percents(c[11], 8)
    atomic_numbers(c[12], ["hydrogen", "helium", "carbon", "nitrogen", "oxygen", "sodium", "neon", "lithium"])
    roots(c[12], 11, 25, 8); divisions(c[12], 11, 19, 6)
    cubes(c[13], 2, 7, 6); weekdays(c[13], [(2000, 1, 1), (1999, 12, 31), (2000, 12, 25), (2001, 1, 1),
                                             (2010, 7, 4), (2012, 7, 27), (2020, 3, 23), (1966, 7, 30)])
    times(c[13], 11, 19, 8)
    primes(c[14], 200, 300, 8); romans(c[14], 1066, 1900, 6); symbols(c[14], ["sulfur", "phosphorus",
                                                                            "silicon", "aluminium", "iodine",
                                                                            "argon", "neon", "fluorine"])
    hard_symbols = [["tungsten", "antimony", "platinum"], ["nickel", "cobalt", "manganese"],
                    ["chromium", "titanium", "bromine"], ["krypton", "xenon", "radon"],
                    ["boron", "beryllium", "uranium"]]
    hard_atoms = [["iron", "copper"], ["zinc", "silver"], ["gold", "lead"], ["tin", "mercury"],
                  ["calcium", "potassium"], ["silicon", "chlorine"], ["argon", "magnesium"],
                  ["phosphorus", "sulfur"], ["aluminium", "fluorine"], ["uranium", "iodine"]]
    dates = [(1969, 7, 20), (1945, 5, 8), (1953, 6, 2), (1981, 7, 29), (1963, 11, 22), (1989, 11, 9),
             (1918, 11, 11), (1966, 1, 1), (1973, 1, 1), (1990, 10, 3), (1997, 5, 1), (2005, 7, 7),
             (1994, 5, 6), (1999, 1, 1), (1985, 7, 13), (1977, 6, 7), (1948, 7, 5), (1912, 4, 15),
             (1901, 1, 22), (1950, 6, 25)]
    for i, n in enumerate(range(15, 25)):
        k = c[n]
        times(k, 13 + i, 29 + i, 5)
        primes(k, 300 + 70 * i, 370 + 70 * i, 5)
        atomic_numbers(k, hard_atoms[i])
        weekdays(k, dates[2 * i:2 * i + 2])
        if i < 5:
            symbols(k, hard_symbols[i])
        powers_of_two(k, 10 + i, 10 + i)
        cubes(k, 8 + i, 8 + i, 1)
        romans(k, 1100 + 90 * i, 1189 + 90 * i, 3)
        # Only years of the Gregorian calendar as Britain has used it since 1752.
        leap_years(k, [[1900, 2000], [1800, 2400], [2100, 1904], [2200, 2800], [2300, 1896],
                       [2500, 2096], [1902, 1908], [1910, 1912], [1914, 1916], [1918, 1920]][i])
    return cats


def main():
    cats = build()
    with open(BANK, encoding="ascii") as f:
        text = f.read()
    head = text.split(MARKER)[0].rstrip("\n") + "\n\n"
    out = [MARKER]
    for n in range(1, 25):
        out.append("== %d" % n)
        out += ["T " + s for s in cats[n].true]
        out += ["F " + s for s in cats[n].false]
    with open(BANK, "w", encoding="ascii") as f:
        f.write(head + "\n".join(out) + "\n")


if __name__ == "__main__":
    main()

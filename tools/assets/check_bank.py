#!/usr/bin/env python3
"""Checks the question bank source before it is built into the question files.

    python3 tools/assets/check_bank.py --bank tools/assets/bank [--categories 9-16]

The bank is one file per category, NN.txt (01 to 24), plus computed.txt, whose "== N" lines
start the statements of category N. A statement line is "T text # reason" or "F text # reason";
the reason is for fact checkers and never reaches the question files. Lines starting with "#"
are comments. --categories limits the per-category minimum counts to a range, so that part of
the bank can be checked alone; every other rule applies to every file found.

Exit status 0 when the bank passes, 1 with one message per fault otherwise, 2 on bad usage.
"""
import argparse
import os
import re
import sys
from collections import defaultdict

MAX_LENGTH = 199  # the game's question buffer holds 199 characters and a terminating zero
MIN_TOTAL, MIN_EACH = 150, 70
SHARE_LOW, SHARE_HIGH, FRAME_MIN = 0.35, 0.65, 6
MIRROR_LIMIT = 0.05
COMPUTED_CATEGORIES = range(1, 11)

NUMBER_WORDS = {w: i for i, w in enumerate(
    "zero one two three four five six seven eight nine ten eleven twelve thirteen fourteen "
    "fifteen sixteen seventeen eighteen nineteen twenty".split())}
NUMBER_WORDS.update({"thirty": 30, "forty": 40, "fifty": 50, "sixty": 60, "seventy": 70,
                     "eighty": 80, "ninety": 90, "hundred": 100, "thousand": 1000,
                     "million": 10 ** 6, "dozen": 12, "a": 1, "an": 1})
# Words that make a statement sound like a trap or a certainty; each is a frame of its own.
TELLTALE = {"only", "never", "always", "all", "every", "none", "not", "no", "nothing", "cannot",
            "entirely", "exactly"}
STOP = {"a", "an", "the", "of", "in", "on", "at", "to", "is", "are", "was", "were", "and", "or",
        "by", "for", "from", "with", "as", "it", "its", "be", "been", "has", "have", "had", "that",
        "this", "which", "who"}
AMERICAN = {"color", "colors", "colored", "favorite", "favorites", "center", "centers", "theater",
            "aluminum", "liter", "liters", "honor", "humor", "neighbor", "neighbors", "labor",
            "flavor", "flavors", "gray", "mom", "fiber", "jewelry", "catalog", "defense"}


class Statement:
    def __init__(self, category, answer, text, reason, where, computed):
        self.category, self.answer, self.text = category, answer, text
        self.reason, self.where, self.computed = reason, where, computed
        self.tokens = tokens(text)
        self.content = frozenset(stem(normal_number(t)) for t in self.tokens if t not in STOP)


def tokens(text):
    return re.findall(r"[a-z0-9]+(?:'[a-z]+)?", text.lower().replace(",", ""))


def stem(t):
    """Plurals as singulars, roughly: enough to match spiders with spider."""
    return t[:-1] if len(t) > 3 and t.endswith("s") and not t.endswith("ss") else t


def normal_number(t):
    return str(NUMBER_WORDS[t]) if t in NUMBER_WORDS and t not in ("a", "an") else t


def is_number(t):
    return t.isdigit() or re.fullmatch(r"\d+(st|nd|rd|th|p|m|s)", t) is not None or \
        (t in NUMBER_WORDS and t not in ("a", "an"))


# ---- reading ----------------------------------------------------------------------------------

def read_bank(directory):
    """Returns (statements, errors)."""
    statements, errors = [], []
    if not os.path.isdir(directory):
        return [], ["%s: not a directory" % directory]
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        m = re.fullmatch(r"(\d\d)\.txt", name)
        if m:
            category = int(m.group(1))
            if not 1 <= category <= 24:
                errors.append("%s: categories are numbered 01 to 24" % name)
                continue
            computed = False
        elif name == "computed.txt":
            category, computed = 0, True
        else:
            if name.endswith(".txt"):
                errors.append("%s: not a bank file (expected NN.txt or computed.txt)" % name)
            continue
        with open(path, "rb") as f:
            raw = f.read()
        for number, line in enumerate(raw.split(b"\n"), 1):
            where = "%s:%d" % (name, number)
            line = line.rstrip(b"\r")
            try:
                line = line.decode("ascii")
            except UnicodeDecodeError:
                errors.append("%s: a byte outside ASCII (write a pound sign as \"pounds\")" % where)
                continue
            if not line.strip() or line.startswith("#"):
                continue
            if computed and line.startswith("=="):
                m = re.fullmatch(r"==\s*(\d+)\s*", line)
                if not m or not 1 <= int(m.group(1)) <= 24:
                    errors.append("%s: expected \"== N\" with N from 1 to 24" % where)
                    category = -1
                else:
                    category = int(m.group(1))
                continue
            if line[:2] not in ("T ", "F "):
                errors.append("%s: expected \"T statement # reason\" or \"F statement # reason\"" % where)
                continue
            if category == 0:
                errors.append("%s: a computed statement before the first \"== N\" line" % where)
                continue
            if category < 0:
                continue
            text, sep, reason = line[2:].partition(" # ")
            if not sep or not reason.strip():
                errors.append("%s: no reason after \" # \"" % where)
            statements.append(Statement(category, line[0] == "T", text, reason.strip(), where, computed))
    return statements, errors


# ---- single statements ------------------------------------------------------------------------

def check_text(s):
    out = []
    t = s.text
    for c in t:
        if not 32 <= ord(c) <= 126 or c in "#*":
            out.append("%s: character %r not allowed (printable ASCII without \"#\" or \"*\")" % (s.where, c))
            break
    if len(t) > MAX_LENGTH:
        out.append("%s: %d characters, more than %d" % (s.where, len(t), MAX_LENGTH))
    if t != t.strip() or "  " in t:
        out.append("%s: leading, trailing or double space" % s.where)
    if len(s.tokens) < 3:
        out.append("%s: too short to be a statement" % s.where)
    if t and not t[-1] in ".!?":
        out.append("%s: a statement ends with a full stop" % s.where)
    american = AMERICAN.intersection(s.tokens)
    if american:
        out.append("%s: American spelling %s" % (s.where, ", ".join(sorted(american))))
    return out


# ---- computed statements: the checker's own arithmetic -----------------------------------------

def word_number(w):
    w = w.lower()
    if w.isdigit():
        return int(w)
    return NUMBER_WORDS.get(w)


def roman_value(r):
    values = {"I": 1, "V": 5, "X": 10, "L": 50, "C": 100, "D": 500, "M": 1000}
    total = 0
    for i, c in enumerate(r):
        v = values[c]
        total += -v if i + 1 < len(r) and values[r[i + 1]] > v else v
    return total


def to_roman(n):
    out = ""
    for v, letters in [(1000, "M"), (900, "CM"), (500, "D"), (400, "CD"), (100, "C"), (90, "XC"),
                       (50, "L"), (40, "XL"), (10, "X"), (9, "IX"), (5, "V"), (4, "IV"), (1, "I")]:
        while n >= v:
            out, n = out + letters, n - v
    return out


def money(text):
    """'60p', '1 pound', '3 pounds 50p', '2 pounds' in pence; None if not money."""
    m = re.fullmatch(r"(?:(\d+) pounds?)?(?: ?(\d+)p)?", text)
    if not m or not (m.group(1) or m.group(2)):
        return None
    return int(m.group(1) or 0) * 100 + int(m.group(2) or 0)


UNIT = {"second": 1, "minute": 60, "hour": 3600, "day": 86400, "week": 7 * 86400,
        "fortnight": 14 * 86400, "centimetre": 10, "metre": 1000, "millimetre": 1, "kilometre": 10 ** 6,
        "gram": 1, "kilogram": 1000, "millilitre": 1, "litre": 1000, "centilitre": 10}
VOWELS = set("aeiou")

# Each form: regular expression and a function of its groups giving the true label.
FORMS = [
    (r"(\d+) plus (\d+) (?:is|makes) (\d+)\.", lambda a, b, c: int(a) + int(b) == int(c)),
    (r"(\d+) (?:minus|take away) (\d+) (?:is|leaves) (\d+)\.", lambda a, b, c: int(a) - int(b) == int(c)),
    (r"(\d+) (?:times|multiplied by) (\d+) (?:is|makes) (\d+)\.", lambda a, b, c: int(a) * int(b) == int(c)),
    (r"(\d+) divided by (\d+) is (\d+)\.", lambda a, b, c: int(b) != 0 and int(a) == int(b) * int(c)),
    (r"Half of (\d+) is (\d+)\.", lambda a, b: int(a) == 2 * int(b)),
    (r"Double (\d+) is (\d+)\.", lambda a, b: 2 * int(a) == int(b)),
    (r"(\d+) squared is (\d+)\.", lambda a, b: int(a) ** 2 == int(b)),
    (r"The square root of (\d+) is (\d+)\.", lambda a, b: int(b) ** 2 == int(a)),
    (r"(\d+) per cent of (\d+) is (\d+)\.", lambda a, b, c: int(a) * int(b) == 100 * int(c)),
    (r"A (?:quarter|fourth) of (\d+) is (\d+)\.", lambda a, b: int(a) == 4 * int(b)),
    (r"A third of (\d+) is (\d+)\.", lambda a, b: int(a) == 3 * int(b)),
    (r"([IVXLCDM]+) is the Roman numeral for (\d+)\.",
     lambda r, n: to_roman(int(n)) == r),
    (r"The word '([a-z]+)' has (\w+) letters\.", lambda w, n: len(w) == word_number(n)),
    (r"The word '([a-z]+)' has (\w+) vowels?\.",
     lambda w, n: sum(c in VOWELS for c in w) == word_number(n)),
    (r"The word '([a-z]+)' contains the letter '([a-z])' (\w+) times\.",
     lambda w, c, n: w.count(c) == word_number(n)),
    (r"'([a-z]+)' spelt backwards is '([a-z]+)'\.", lambda a, b: a[::-1] == b),
    (r"There are (\d+) (second|minute|hour|day|centimetre|millimetre|metre|gram|millilitre|centilitre)s"
     r" in (\w+) (second|minute|hour|day|week|fortnight|centimetre|metre|kilometre|gram|kilogram|litre)s?\.",
     lambda n, small, k, big: word_number(k) is not None and
     int(n) * UNIT[small] == word_number(k) * UNIT[big]),
    (r"(\w+) (\d+)p coins make (.+)\.",
     lambda k, v, total: word_number(k) is not None and money(total) is not None and
     word_number(k) * int(v) == money(total)),
    (r"(\d+) minutes after (\d+):(\d\d) it is (\d+):(\d\d)\.",
     lambda m, h, mm, h2, mm2: ((int(h) * 60 + int(mm) + int(m)) % (24 * 60)) == int(h2) * 60 + int(mm2)),
]
FORMS = [(re.compile(p), f) for p, f in FORMS]


def evaluate(text):
    """The label the checker's arithmetic gives a computed statement, or None if no form fits."""
    for pattern, truth in FORMS:
        m = pattern.fullmatch(text)
        if m:
            try:
                return bool(truth(*m.groups()))
            except (KeyError, ValueError, TypeError):
                return None
    return None


def check_computed(statements):
    out = []
    for s in statements:
        label = evaluate(s.text)
        if s.computed and label is None:
            out.append("%s: a computed statement in no form the checker can work out: %s" % (s.where, s.text))
        elif label is not None and label != s.answer:
            out.append("%s: marked %s but the arithmetic says %s: %s" % (
                s.where, "T" if s.answer else "F", "T" if label else "F", s.text))
        if s.computed and s.category not in COMPUTED_CATEGORIES:
            out.append("%s: computed statements belong to categories 1 to 10 only" % s.where)
    per = defaultdict(lambda: [0, 0])
    for s in statements:
        per[s.category][0] += 1
        per[s.category][1] += s.computed
    for c, (total, computed) in sorted(per.items()):
        if 3 * computed > total:
            out.append("category %d: %d of %d statements computed, more than a third" % (c, computed, total))
    return out


# ---- duplicates, mirrors and frames -----------------------------------------------------------

def normalised(s, drop_numbers=False):
    words = [normal_number(t) for t in s.tokens]
    if drop_numbers:
        words = [w for w in words if not is_number(w)]
    return " ".join(w for w in words if w not in ("a", "an", "the"))


def word_distance(a, b, limit):
    """Word-level edit distance, or limit + 1 when it is larger than limit."""
    if abs(len(a) - len(b)) > limit:
        return limit + 1
    previous = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        current = [i]
        for j, y in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (x != y)))
        if min(current) > limit:
            return limit + 1
        previous = current
    return previous[-1]


def candidates(statements, key, spare):
    """Pairs (i, j), i < j, that share at least one of the spare(i) + 1 rarest keys of i: every
    pair within the distance the caller tests shares one of them."""
    index = defaultdict(set)
    for i, s in enumerate(statements):
        for k in key(s):
            index[k].add(i)
    pairs = set()
    for i, s in enumerate(statements):
        keys = sorted(set(key(s)), key=lambda k: (len(index[k]), k))
        for k in keys[:spare(s) + 1]:
            for j in index[k]:
                if j != i:
                    pairs.add((min(i, j), max(i, j)))
    return pairs


def check_duplicates(statements):
    out = []
    seen = {}
    for s in statements:
        for key in [normalised(s)] + ([] if s.computed else ["~" + normalised(s, True)]):
            if key in seen:
                other = seen[key]
                what = "the same statement as" if key[0] != "~" else "the same but for numbers as"
                if other.answer != s.answer and key[0] != "~":
                    what = "the same statement, with the other label, as"
                if key[0] != "~" or other.answer == s.answer:
                    out.append("%s: %s %s: %s" % (s.where, what, other.where, s.text))
                break
            seen[key] = s
    # Same label and almost the same content words, in any order.
    for i, j in candidates(statements, lambda s: s.content, lambda s: len(s.content) // 5):
        a, b = statements[i], statements[j]
        if a.answer != b.answer or normalised(a) == normalised(b):
            continue
        union = len(a.content | b.content)
        if union >= 2 and len(a.content & b.content) >= 0.8 * union:
            out.append("%s: nearly the same as %s: %s / %s" % (b.where, a.where, b.text, a.text))
    return out


def is_mirror(a, b):
    """Two edits make a mirror only in a hand-written statement long enough to keep its shape;
    computed statements are all of a few shapes, so there one edit does."""
    limit = 2 if not (a.computed or b.computed) and min(len(a.tokens), len(b.tokens)) >= 8 else 1
    return word_distance(a.tokens, b.tokens, limit) <= limit


def same_fact(a, b, share=0.6):
    """Hand-written statements sharing most of their content words, in any order or wording."""
    union = len(a.content | b.content)
    return not (a.computed or b.computed) and union > 0 and len(a.content & b.content) >= share * union


def mirrors(statements):
    """False statements that are a one- or two-word edit of a true one, or the same fact
    reworded with the other label: {false: true}."""
    found = {}
    pairs = candidates(statements, lambda s: s.tokens, lambda s: 2) | \
        candidates(statements, lambda s: s.content, lambda s: 2 * len(s.content) // 5)
    for i, j in sorted(pairs):
        a, b = statements[i], statements[j]
        if a.answer == b.answer:
            continue
        f, t = (a, b) if b.answer else (b, a)
        if f.where in found:
            continue
        if is_mirror(f, t) or same_fact(f, t):
            found[f.where] = t
    return found


def similar(statements):
    """Pairs with the same label that probably ask the same fact (a list for reviewers; the
    checker fails only on the closer matches of check_duplicates)."""
    out = []
    for i, j in sorted(candidates(statements, lambda s: s.content, lambda s: len(s.content) // 2)):
        a, b = statements[i], statements[j]
        if a.answer == b.answer and not (a.computed or b.computed):
            smaller = min(len(a.content), len(b.content))
            if smaller and len(a.content & b.content) >= max(2, 0.75 * smaller):
                out.append((a, b))
    return out


def check_mirrors(statements):
    found = mirrors(statements)
    falses = sum(not s.answer for s in statements)
    out = []
    if falses and len(found) > MIRROR_LIMIT * falses:
        by_where = {s.where: s for s in statements}
        out.append("%d of %d false statements (%.1f %%) are a one- or two-word edit of a true one "
                   "or the same fact reworded, more than %d %%:" % (len(found), falses, 100.0 * len(found) / falses, 100 * MIRROR_LIMIT))
        for where, t in sorted(found.items()):
            out.append("  %s: %s  <->  %s: %s" % (where, by_where[where].text, t.where, t.text))
    return out, found


def abstracted(s):
    words = []
    for w in re.findall(r"'[a-z]+'|[a-z0-9]+(?:'[a-z]+)?", s.text.lower().replace(",", "")):
        words.append("Q" if w.startswith("'") else "N" if is_number(w) else w)
    return words


def frames(s):
    """The wording frames a player could learn to read the label from."""
    words = abstracted(s)
    out = ["sentence: " + " ".join(words)]
    if len(words) >= 3:
        out.append("starts: " + " ".join(words[:2]))
        out.append("starts: " + " ".join(words[:3]))
    for w in TELLTALE.intersection(s.tokens):
        out.append("word: " + w)
    if not s.computed and any(is_number(t) and t not in NUMBER_WORDS for t in s.tokens):
        out.append("figure: hand-written with a figure")
    return out


def check_frames(statements):
    counts = defaultdict(lambda: [0, 0])
    for s in statements:
        for f in set(frames(s)):
            counts[f][s.answer] += 1
    out = []
    for f, (false, true) in sorted(counts.items()):
        n = false + true
        if n >= FRAME_MIN and not SHARE_LOW <= true / n <= SHARE_HIGH:
            out.append("frame \"%s\": %d of %d true (%.0f %%), outside %d-%d %%" % (
                f, true, n, 100.0 * true / n, 100 * SHARE_LOW, 100 * SHARE_HIGH))
    return out


def check_counts(statements, categories, minimum=MIN_TOTAL, each=MIN_EACH):
    per = defaultdict(lambda: [0, 0])
    for s in statements:
        per[s.category][s.answer] += 1
    out = []
    for c in categories:
        false, true = per[c]
        if false + true < minimum or true < each or false < each:
            out.append("category %d: %d statements (%d true, %d false); at least %d with %d of each" % (
                c, false + true, true, false, minimum, each))
    return out


def check_bank(directory, categories=range(1, 25), minimum=MIN_TOTAL, each=MIN_EACH):
    statements, errors = read_bank(directory)
    for s in statements:
        errors += check_text(s)
    errors += check_computed(statements)
    errors += check_duplicates(statements)
    errors += check_mirrors(statements)[0]
    errors += check_frames(statements)
    errors += check_counts(statements, categories, minimum, each)
    return statements, errors


def parse_range(text):
    m = re.fullmatch(r"(\d+)(?:-(\d+))?", text)
    if not m:
        raise argparse.ArgumentTypeError("expected N or N-M")
    lo, hi = int(m.group(1)), int(m.group(2) or m.group(1))
    if not 1 <= lo <= hi <= 24:
        raise argparse.ArgumentTypeError("categories run from 1 to 24")
    return range(lo, hi + 1)


def main(argv):
    p = argparse.ArgumentParser(description="Checks the question bank source.")
    p.add_argument("--bank", required=True, help="directory of NN.txt and computed.txt")
    p.add_argument("--categories", type=parse_range, default=range(1, 25),
                   help="range whose minimum counts are checked, e.g. 9-16 (default 1-24)")
    p.add_argument("--mirrors", action="store_true", help="list every mirrored pair, even under the limit")
    p.add_argument("--similar", action="store_true",
                   help="list pairs with the same label that probably ask the same fact")
    args = p.parse_args(argv)
    statements, errors = check_bank(args.bank, args.categories)
    if args.mirrors:
        by_where = {s.where: s for s in statements}
        for where, t in sorted(mirrors(statements).items()):
            print("mirror: %s: %s  <->  %s: %s" % (where, by_where[where].text, t.where, t.text))
    if args.similar:
        for a, b in similar(statements):
            print("similar: %s: %s  <->  %s: %s" % (a.where, a.text, b.where, b.text))
    for e in errors:
        print(e, file=sys.stderr)
    per = defaultdict(lambda: [0, 0, 0])
    for s in statements:
        per[s.category][s.answer] += 1
        per[s.category][2] += s.computed
    for c in sorted(per):
        print("category %2d: %4d statements, %3d true, %3d false, %3d computed" % (
            c, per[c][0] + per[c][1], per[c][1], per[c][0], per[c][2]))
    print("%d statements, %d mirrored false, %s" % (
        len(statements), len(mirrors(statements)), "%d faults" % len(errors) if errors else "bank passes"))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

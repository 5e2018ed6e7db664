"""Each program's help and manual page: every option the program takes is explained in both,
the page renders cleanly, and `cmake --install` puts the pages where man finds them."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from harness import built, program

SOURCE = os.environ.get("QUIBBLO_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
MAN = os.path.join(SOURCE, "docs", "man")
PROGRAMS = {"quibblo": ([], "quibblo.6"), "quibblo-credit": (["serve", "insert", "collect", "status", "ledger"],
                                                             "quibblo-credit.1"),
            "quibblo-assets": ([], "quibblo-assets.1"), "quibblo-meters": ([], "quibblo-meters.1"),
            "quibblo-sim": (["offer", "targets"], "quibblo-sim.1"),
            "quibblo-recall": (["list", "show", "replay", "match"], "quibblo-recall.1")}


def helps(name, commands):
    texts = []
    for args in [["--help"]] + [[c, "--help"] for c in commands]:
        r = subprocess.run([program(name), *args], capture_output=True, text=True, timeout=30)
        assert r.returncode == 0, (name, args, r.stderr)
        texts.append(r.stdout)
    return texts


def rendered(page):
    r = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-rHY=0", "-rLL=200n", os.path.join(MAN, page)],
                       capture_output=True, timeout=30, env=dict(os.environ, LC_ALL="C.UTF-8"))
    # Hyphens come out as U+2010 in some fonts: read them as the ASCII the user types.
    return r.returncode, r.stderr.decode(), re.sub(r".\x08", "", r.stdout.decode()).replace("\u2010", "-")


@unittest.skipUnless(shutil.which("groff"), "needs groff")
class ManualsTest(unittest.TestCase):
    def test_every_option_and_exit_code_of_the_help_is_in_the_page(self):
        for name, (commands, page) in PROGRAMS.items():
            if not built(name):
                continue
            with self.subTest(program=name):
                code, warnings, text = rendered(page)
                self.assertEqual((code, warnings), (0, ""))
                for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "SEE ALSO"):
                    self.assertIn("\n" + section + "\n", text)
                for command in commands:
                    self.assertIn(command, text)
                for help_text in helps(name, commands):
                    self.assertIn("Exit codes:", help_text)
                    for option in set(re.findall(r"(--[a-z][a-z-]+)", help_text)):
                        self.assertIn(option, text, "%s: %s" % (page, option))
                    exits = help_text.split("Exit codes:")[1]
                    for number in re.findall(r"(?m)^\s+(-?\d+)\s", exits):
                        self.assertRegex(text.split("EXIT STATUS")[1], r"(?m)^\s+(.*\s)?%s\b" % re.escape(number),
                                         "%s: exit %s" % (page, number))

    def test_cmake_install_puts_programs_and_pages_in_place(self):
        build = os.path.dirname(os.environ.get("QUIBBLO_BIN", ""))
        if not os.path.exists(os.path.join(build, "cmake_install.cmake")):
            self.skipTest("no build folder")
        with tempfile.TemporaryDirectory() as prefix:
            r = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True,
                               timeout=120)
            self.assertEqual(r.returncode, 0, r.stderr)
            for name, (_, page) in PROGRAMS.items():
                section = page.rsplit(".", 1)[1]
                self.assertTrue(os.path.isfile(os.path.join(prefix, "share", "man", "man" + section, page)), page)
                if built(name):
                    self.assertTrue(os.access(os.path.join(prefix, "bin", name), os.X_OK), name)
            if shutil.which("man"):
                r = subprocess.run(["man", "-M", os.path.join(prefix, "share", "man"), "-w", "quibblo-meters"],
                                   capture_output=True, text=True, timeout=30)
                self.assertEqual(r.returncode, 0, r.stderr)


if __name__ == "__main__":
    unittest.main()

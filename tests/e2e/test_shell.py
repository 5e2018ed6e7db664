"""The machine shell through the real binary: exit codes, the log, TERM, scripts, determinism."""
import os
import signal
import subprocess
import time
import unittest

from harness import LOG, Cabinet, data_tree, needs, program, read_file, signed, wait_port_free


def private_picture_folder(cab, damaged, data):
    """Gives the cabinet its own Graphic_resource, linked to the shared tree but for one file."""
    tree = data_tree()
    os.unlink(cab.path("Graphic_resource"))
    folder, name = os.path.split(damaged)
    for root, dirs, files in os.walk(os.path.join(tree, "Graphic_resource")):
        rel = os.path.relpath(root, tree)
        os.makedirs(cab.path(rel), exist_ok=True)
        for f in files:
            target = cab.path(rel, f)
            if os.path.join(rel, f) == damaged:
                with open(target, "wb") as out:
                    out.write(data(read_file(os.path.join(root, f), "rb")))
            else:
                os.symlink(os.path.join(root, f), target)


@needs("quibblo")
class StartAndEnd(unittest.TestCase):
    def test_no_server_exits_2_before_drawing_or_logging(self):
        with Cabinet(server=None) as cab:
            r = cab.run("0 shot first.png\n")
            self.assertEqual(r.code, 2)
            self.assertEqual(r.stderr, "quibblo: no credit server on 127.0.0.1:6667: start `quibblo-credit serve`\n")
            self.assertIsNone(r.log)
            self.assertEqual(r.shots, {})
            self.assertFalse(os.path.exists(cab.path("~system")))

    def test_system_folder_that_cannot_be_made_exits_0_without_log_or_term(self):
        with Cabinet() as cab:
            with open(cab.path("~system"), "w") as f:
                f.write("a file where the folder should be")
            r = cab.run()
            self.assertEqual(r.code, 0)
            self.assertIsNone(r.log)
            self.assertIn("cannot make the folders", r.stderr)
            self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
            cab.stop_server()
            self.assertNotIn(b"TERM", cab.listener.received)

    def test_normal_run_logs_start_and_close_and_says_term(self):
        with Cabinet() as cab:
            r = cab.run()
            self.assertEqual(r.code, 0, r.stderr)
            lines = r.log.splitlines()
            self.assertRegex(lines[0], r"^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - Quibblo Version 1\.0\.0\.1 - Start of Log$")
            self.assertRegex(lines[-1], r"^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - Closing log$")
            cab.stop_server()
            self.assertTrue(cab.listener.received.endswith(b"TERM\r\n"), cab.listener.received)
            for d in ("~system", "~system/logs", "~system/upload"):
                self.assertTrue(os.path.isdir(cab.path(d)), d)

    def test_second_start_leaves_only_the_second_log(self):
        with Cabinet() as cab:
            self.assertEqual(cab.run().code, 0)
            with open(cab.path(LOG), "a") as f:
                f.write("left over from the first run\n")
            self.assertEqual(cab.run().code, 0)
            log = read_file(cab.path(LOG))
            self.assertNotIn("left over", log)
            self.assertEqual(log.count("Start of Log"), 1)

    def test_closing_the_window_ends_the_program_as_main_menu_does(self):
        with Cabinet() as cab:
            # Left alone, the main menu would stay for thirty seconds.
            r = cab.run("1000 shot before.png\n1500 close\n20000 shot after-close.png\n")
            self.assertEqual(r.code, 0, r.stderr)
            self.assertEqual(sorted(r.shots), ["before.png"])
            self.assertRegex(r.log.splitlines()[-1], "Closing log$")
            cab.stop_server()
            self.assertTrue(cab.listener.received.endswith(b"TERM\r\n"), cab.listener.received)

    def test_sigterm_and_sigint_end_the_program_as_main_menu_does(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name), Cabinet() as cab:
                game = subprocess.Popen([program("quibblo"), "--headless"], cwd=cab.dir,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                log = cab.path(LOG)
                end = time.time() + 20
                while time.time() < end and not (os.path.exists(log) and b"CGET" in cab.listener.received):
                    time.sleep(0.05)
                game.send_signal(sig)
                try:
                    code = game.wait(10)  # the main menu alone would stay thirty seconds
                except subprocess.TimeoutExpired:
                    game.kill()
                    raise
                finally:
                    game.stderr.close()
                self.assertEqual(code, 0)
                self.assertRegex(read_file(log).splitlines()[-1], "Closing log$")
                cab.stop_server()
                self.assertTrue(cab.listener.received.endswith(b"TERM\r\n"), cab.listener.received[-40:])

    def test_without_a_data_tree_it_says_how_to_make_one(self):
        with Cabinet(assets=False) as cab:
            r = cab.run()
            self.assertEqual(r.code, -7)
            self.assertEqual(r.stderr, "quibblo: no data tree here: run `quibblo-assets --out .`\n")
            cab.stop_server()
            self.assertTrue(cab.listener.received.endswith(b"TERM\r\n"))

    def test_a_picture_that_cannot_load_ends_start_up_with_minus_6_before_money_moves(self):
        name = os.path.join("Graphic_resource", "Main", "WinPlanOverLayQMark.BMP")
        for how, data in (("cut short", lambda b: b[:len(b) // 2]), ("not a BMP", lambda b: b"XX" + b[2:])):
            with self.subTest(how), Cabinet(server="real", credit=500) as cab:
                private_picture_folder(cab, name, data)
                r = cab.run("3000 touch 650 530\n")  # Start, were the menu ever shown
                self.assertEqual(r.code, -6, r.stderr)
                line = [l for l in r.stderr.splitlines() if "WinPlanOverLayQMark.BMP" in l]
                self.assertEqual(len(line), 1, r.stderr)
                self.assertIn("quibblo-assets --out .", line[0])
                self.assertIn("WinPlanOverLayQMark.BMP cannot be loaded", r.log)
                self.assertEqual(cab.status()["credit"], 500)
                self.assertEqual([m for m in cab.ledger() if m["source"] == "game"], [])


@needs("quibblo", "quibblo-credit")
class DebugTraces(unittest.TestCase):
    def test_quibblo_debug_shows_the_traces_and_nothing_without_it(self):
        # Start pays for a game; its set-up traces the pick of the first offer. The game then
        # runs out by itself.
        script = "2000 touch 650 530\n"
        with Cabinet(server="real", credit=50) as cab:
            r = cab.run(script, env={"QUIBBLO_DEBUG": "1"})
            self.assertEqual(r.code, 0, r.stderr)
            self.assertRegex(r.stderr, r"(?m)^lOfferIt = <\d+>$")
            self.assertRegex(r.stderr, r"(?m)^axBoxes\[\d+\]\.cash = <\d+>$")
            self.assertRegex(r.stderr, r"(?m)^sQuestion = .+$")
        with Cabinet(server="real", credit=50) as cab:
            r = cab.run(script, env={"QUIBBLO_DEBUG": ""})
            self.assertEqual(r.code, 0, r.stderr)
            self.assertEqual(r.stderr, "")


@needs("quibblo")
class BadCommandLines(unittest.TestCase):
    def test_malformed_script_exits_64_naming_the_line_before_connecting(self):
        with Cabinet() as cab:
            r = cab.run("# fine\n100 touch 10 10\n200 poke 1 2\n")
            self.assertEqual(r.code, 64)
            self.assertIn("line 3", r.stderr)
            self.assertEqual(cab.listener.connections, 0)
            self.assertFalse(os.path.exists(cab.path("~system")))

    def test_unknown_option_exits_64(self):
        wait_port_free()
        r = subprocess.run([program("quibblo"), "--fullscreen-please"], capture_output=True, text=True)
        self.assertEqual(signed(r.returncode), 64)
        self.assertIn("usage", r.stderr)

    def test_without_a_display_it_says_so_unless_headless(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        r = subprocess.run([program("quibblo"), "--windowed"], capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual(signed(r.returncode), -1)
        self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
        self.assertIn("no display", r.stderr)
        self.assertIn("--headless", r.stderr)

    def test_help_prints_usage(self):
        r = subprocess.run([program("quibblo"), "--help"], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0)
        self.assertIn("--touches FILE", r.stdout)


@needs("quibblo")
class Determinism(unittest.TestCase):
    SCRIPT = "".join("%d shot s%d.png\n" % (t, i) for i, t in enumerate(range(500, 20000, 2500)))

    def run_once(self):
        with Cabinet() as cab:
            r = cab.run(self.SCRIPT)
            self.assertEqual(r.code, 0, r.stderr)
            return r.shots

    def test_same_script_gives_the_same_screenshots(self):
        first, second = self.run_once(), self.run_once()
        self.assertEqual(len(first), 8)
        self.assertEqual(first, second)


if __name__ == "__main__":
    unittest.main()

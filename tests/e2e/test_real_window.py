"""The game in a real X11 window (Xvfb, SDL's x11 driver), touched with xdotool, heard through
SDL's disk audio driver: what it shows must be what the headless run shows, pixel for pixel."""
import os
import shutil
import subprocess
import time
import unittest

from harness import Cabinet, needs, program, read_file
from pictures import differing_pixels, png_565, xwd_565

DISPLAY = ":77"
RATE = 44100  # the audio device's rate: 16-bit stereo


def have_tools():
    return all(shutil.which(t) for t in ("Xvfb", "xdotool", "xwd", "sox"))


@unittest.skipUnless(have_tools(), "needs xvfb, xdotool, x11-apps and sox")
@needs("quibblo", "quibblo-credit", "quibblo-assets")
class RealWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X" + DISPLAY[1:]) or cls.xvfb.poll() is not None:
                break
            time.sleep(0.1)
        if cls.xvfb.poll() is not None or not os.path.exists("/tmp/.X11-unix/X" + DISPLAY[1:]):
            cls.tearDownClass()
            raise unittest.SkipTest("this machine cannot run an X server (Xvfb did not start)")

    @classmethod
    def tearDownClass(cls):
        if cls.xvfb.poll() is None:
            cls.xvfb.terminate()
        cls.xvfb.wait()

    def x(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=DISPLAY))

    def x_dump(self):
        return subprocess.run(["xwd", "-root", "-silent"], check=True, capture_output=True,
                              env=dict(os.environ, DISPLAY=DISPLAY)).stdout

    def x_screen(self):
        return xwd_565(self.x_dump())

    def wait_for_screen(self, expected, timeout=30):
        """Waits until the X screen shows `expected`; returns the pixels still differing."""
        end = time.time() + timeout
        diff = None
        while time.time() < end:
            diff = differing_pixels(self.x_screen(), expected)
            if diff == 0:
                return 0
            time.sleep(0.3)
        return diff

    def headless_pictures(self):
        """What the headless game draws for the same touches: the menu, the rules screen, and the
        board while it chooses the player's box, the last screen before the game's random draws."""
        with Cabinet(server="real", credit=500) as cab:
            r = cab.run("4000 shot menu.png\n5000 touch 400 543\n9000 shot rules.png\n")
            self.assertEqual(r.code, 0, r.stderr)
            menu, rules = png_565(r.shots["menu.png"]), png_565(r.shots["rules.png"])
        with Cabinet(server="real", credit=500) as cab:
            r = cab.run("5000 touch 675 543\n7100 shot board.png\n")
            self.assertEqual(r.code, 0, r.stderr)
            return menu, rules, png_565(r.shots["board.png"])

    def test_window_touches_and_sound(self):
        menu, rules, board = self.headless_pictures()
        with Cabinet(server="real", credit=500) as cab:
            audio = cab.path("audio.raw")
            env = dict(os.environ, DISPLAY=DISPLAY, SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="disk",
                       SDL_DISKAUDIOFILE=audio)
            game = subprocess.Popen([program("quibblo"), "--record", "session.txt"], cwd=cab.dir, env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                self.assertEqual(self.wait_for_screen(menu), 0, "the X screen never showed the menu")
                before_press = os.path.getsize(audio)

                self.x("mousemove", "400", "543", "click", "1")  # Rules
                self.assertEqual(self.wait_for_screen(rules), 0, "the X screen never showed the rules")
                self.x("mousemove", "400", "300", "click", "1")  # back to the menu
                self.assertEqual(self.wait_for_screen(menu), 0, "the menu did not come back")

                start_press = os.path.getsize(audio)
                self.x("mousemove", "675", "543", "click", "1")  # Start
                # The board shows "choosing your box" for under a second: dumps are kept as they
                # come and compared afterwards.
                dumps, end = [], time.time() + 6
                while time.time() < end:
                    dumps.append(self.x_dump())
                closest = min(differing_pixels(xwd_565(d), board) for d in dumps)
                self.assertEqual(closest, 0, "no X screen of %d after Start showed the board choosing the box "
                                 "(closest differs in %d pixels)" % (len(dumps), closest))
                self.x("mousemove", "191", "54", "click", "1")  # a box
                time.sleep(4)
                self.x("mousemove", "134", "389", "click", "1")  # True, if a question is up
                time.sleep(2)
                games = [row for row in cab.ledger() if row["source"] == "game" and row["command"] == "CUSE"]
                self.assertEqual(len(games), 1, "the Start click did not pay for a game")
            finally:
                game.kill()
                game.wait()
                game.stdout.close()
                game.stderr.close()
            self.assertMenuPressHeard(cab, audio, before_press, start_press)
            # the clicks as touches of the game's screen, there after a kill -9: all those the
            # game is seen to have taken (the screens and the paid game), the last one too if
            # the game had polled the window before the kill
            lines = read_file(cab.path("session.txt")).splitlines()
            self.assertTrue(lines[0].startswith("# touches of the session started as: "), lines[0])
            touches = [line.split()[1:] for line in lines[1:]]
            clicks = [["touch", "400", "543"], ["touch", "400", "300"], ["touch", "675", "543"],
                      ["touch", "191", "54"], ["touch", "134", "389"]]
            self.assertGreaterEqual(len(touches), 3, touches)
            self.assertEqual(touches, clicks[:len(touches)])

    def assertMenuPressHeard(self, cab, audio, before_press, start_press):
        import numpy as np
        press = cab.path("press.raw")
        subprocess.run(["sox", cab.path("sounds", "MenuPress.wav"), "-r", str(RATE), "-c", "1", "-b", "16",
                        "-e", "signed-integer", "-t", "raw", press], check=True)
        sound = np.frombuffer(read_file(press, "rb"), dtype="<i2").astype(float)
        recorded = np.frombuffer(read_file(audio, "rb"), dtype="<i2").astype(float)
        mono = recorded[0::2] + recorded[1::2]

        def best_match(segment):
            # normalised cross-correlation of the sound against every position of the segment
            n = len(segment) + len(sound)
            size = 1 << (n - 1).bit_length()
            corr = np.fft.irfft(np.fft.rfft(segment, size) * np.conj(np.fft.rfft(sound, size)), size)
            energy = np.convolve(segment ** 2, np.ones(len(sound)), "valid")
            corr = corr[:len(energy)]
            # near-silent stretches match nothing, however their few bits correlate
            audible = energy > 0.01 * float(np.dot(sound, sound))
            score = np.where(audible, corr / (np.sqrt(np.maximum(energy, 1.0)) * np.linalg.norm(sound)), 0.0)
            return float(score.max()) if len(score) else 0.0

        quiet = best_match(mono[: before_press // 4])
        after = best_match(mono[start_press // 4:])
        self.assertGreater(after, 0.5, "MenuPress not found after the Start press (match %.2f)" % after)
        self.assertGreater(after, quiet + 0.2, "menu audio before any press matches as well (%.2f)" % quiet)


if __name__ == "__main__":
    unittest.main()

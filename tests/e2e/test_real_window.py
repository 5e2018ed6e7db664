"""The game in a real X11 window (Xvfb, SDL's x11 driver), touched with xdotool, heard through
SDL's disk audio driver: what it shows must be what the headless run shows, pixel for pixel."""
import os
import shutil
import subprocess
import time
import unittest

import numpy as np

from harness import Cabinet, needs, program, read_file
from pictures import differing_pixels, png_565, xwd_565

DISPLAY = ":77"
RATE = 44100  # the audio device's rate: 16-bit stereo


def have_tools():
    return all(shutil.which(t) for t in ("Xvfb", "xdotool", "xwd", "sox"))


class XServer(unittest.TestCase):
    """An Xvfb screen of SCREEN for the tests of the class."""
    DISPLAY, SCREEN = DISPLAY, "800x600x24"

    @classmethod
    def setUpClass(cls):
        cls.xvfb = subprocess.Popen(["Xvfb", cls.DISPLAY, "-screen", "0", cls.SCREEN, "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = "/tmp/.X11-unix/X" + cls.DISPLAY[1:]
        for _ in range(100):
            if os.path.exists(socket) or cls.xvfb.poll() is not None:
                break
            time.sleep(0.1)
        if cls.xvfb.poll() is not None or not os.path.exists(socket):
            cls.tearDownClass()
            raise unittest.SkipTest("this machine cannot run an X server (Xvfb did not start)")

    @classmethod
    def tearDownClass(cls):
        if cls.xvfb.poll() is None:
            cls.xvfb.terminate()
        cls.xvfb.wait()

    def x_dump(self):
        return subprocess.run(["xwd", "-root", "-silent"], check=True, capture_output=True,
                              env=dict(os.environ, DISPLAY=self.DISPLAY)).stdout

    def x_screen(self):
        return xwd_565(self.x_dump())

    def start_game(self, cab, *args, **env):
        env = dict(os.environ, DISPLAY=self.DISPLAY, SDL_VIDEODRIVER="x11", **env)
        return subprocess.Popen([program("quibblo"), *args], cwd=cab.dir, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def stop_game(self, game):
        game.kill()
        game.wait()
        game.stdout.close()
        game.stderr.close()


@unittest.skipUnless(have_tools(), "needs xvfb, xdotool, x11-apps and sox")
@needs("quibblo", "quibblo-credit", "quibblo-assets")
class ScaledWindow(XServer):
    """A screen larger than the game's: the whole frame is scaled to fill it, and the parts of
    it that change later are scaled in as well."""
    DISPLAY, SCREEN = ":78", "1024x768x24"

    def scaled_down(self, screen):
        # nearest neighbour: pixel centres of the game's screen mapped onto the larger one
        ys = ((np.arange(600) + 0.5) * screen.shape[0] / 600).astype(int)
        xs = ((np.arange(800) + 0.5) * screen.shape[1] / 800).astype(int)
        return screen[ys][:, xs]

    def wait_for_likeness(self, expected, timeout=30):
        """Waits until the scaled X screen matches `expected` in all but a few pixels (edges the
        scaler may round the other way); returns the share of pixels differing."""
        end, share = time.time() + timeout, 1.0
        while time.time() < end:
            share = differing_pixels(self.scaled_down(self.x_screen()), expected) / expected.size
            if share < 0.02:
                break
            time.sleep(0.3)
        return share

    def fill_screen(self, game):
        # With no window manager here, the full-screen window keeps the size it was made with;
        # do what a window manager would, again until it holds (the window may still be mapping).
        x = dict(os.environ, DISPLAY=self.DISPLAY)
        end = time.time() + 20
        while time.time() < end:
            found = subprocess.run(["xdotool", "search", "--pid", str(game.pid)], capture_output=True, text=True, env=x)
            sizes = []
            for window in found.stdout.split():
                subprocess.run(["xdotool", "windowsize", window, "1024", "768"], env=x)
                time.sleep(0.3)
                shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                                       text=True, env=x).stdout
                sizes.append("WIDTH=1024" in shape and "HEIGHT=768" in shape)
            if sizes and all(sizes):
                return
            time.sleep(0.2)
        self.fail("the game's window never took the whole screen")

    def test_full_screen_larger_than_the_game(self):
        with Cabinet(server="real", credit=500) as cab:
            r = cab.run("4000 shot menu.png\n5000 touch 400 543\n9000 shot rules.png\n")
            self.assertEqual(r.code, 0, r.stderr)
            menu, rules = png_565(r.shots["menu.png"]), png_565(r.shots["rules.png"])
        self.assertGreater(differing_pixels(menu, rules), 10000, "the rules screen should differ from the menu")
        with Cabinet(server="real", credit=500) as cab:
            game = self.start_game(cab, SDL_AUDIODRIVER="dummy")
            try:
                self.assertEqual(self.x_screen().shape, (768, 1024))
                self.fill_screen(game)
                self.assertLess(self.wait_for_likeness(menu), 0.02, "the scaled screen never showed the menu")
                subprocess.run(["xdotool", "mousemove", "512", "695", "click", "1"], check=True,  # Rules
                               env=dict(os.environ, DISPLAY=self.DISPLAY))
                self.assertLess(self.wait_for_likeness(rules), 0.02, "the scaled screen never showed the rules")
            finally:
                self.stop_game(game)


@unittest.skipUnless(have_tools(), "needs xvfb, xdotool, x11-apps and sox")
@needs("quibblo", "quibblo-credit", "quibblo-assets")
class RealWindow(XServer):
    def x(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=DISPLAY))

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
            game = self.start_game(cab, "--record", "session.txt", SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=audio)
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
                self.stop_game(game)
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

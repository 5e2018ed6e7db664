"""Whole games through the real game, credit server and data tree, played from touch scripts
that learn the right answers from the screenshots of earlier runs."""
import unittest

from harness import data_tree, needs
from play_support import MAIN_MENU, Books, Player, runner, top_value


def leave_through_main_menu(player, eps, keep):
    """Replays the found game and then touches Main Menu on the menu."""
    end = max(e.last for e in eps if e.kind == "win")
    player.stop_at = end
    player.extra = [(end + 15000 + 500 * k,) + MAIN_MENU for k in range(20)]
    return runner(keep)(player.script(shots=False))[0]


@needs("quibblo", "quibblo-credit", "quibblo-assets", "quibblo-meters")
class WholeGame(Books):
    def test_every_question_answered_right_wins_the_top_value(self):
        keep = {}
        player = Player(data_tree(), runner(keep))
        _, _, eps = player.play(lambda kind, k: False)  # every offer left
        kinds = [e.kind for e in eps]
        self.assertEqual(kinds[-1], "win", eps)
        self.assertNotIn("continue", kinds)
        questions = [e for e in eps if e.kind == "question"]
        self.assertTrue(all(e.mark == "right" for e in questions), eps)

        r = leave_through_main_menu(player, eps, keep)
        # Main Menu long before the menu's thirty seconds were up
        self.assertLess(keep["meters"]["meters"][425], 300)
        meter = keep["meters"]["meters"]
        self.assertEqual(meter[300], len(questions))
        self.assertEqual(meter[301], 0)
        self.assertEqual(meter[412], 1)  # won at the twentieth pick
        self.assertEqual(meter[448], 0)
        offers = kinds.count("offer")
        self.assertEqual(meter[451], offers)
        self.assertEqual(sum(meter[192:298]), 0)  # nothing taken
        self.check_books(keep, games=1, continues=0, prize=top_value(meter))

    def test_a_taken_offer_is_the_prize(self):
        keep = {}
        player = Player(data_tree(), runner(keep))
        _, _, eps = player.play(lambda kind, k: kind == "offer")  # the first offer taken
        kinds = [e.kind for e in eps]
        self.assertEqual(kinds.count("offer"), 1, eps)
        self.assertEqual(kinds[-1], "win", eps)
        meter = keep["meters"]["meters"]
        self.assertEqual(meter[451], 1)
        offer = meter[452]
        self.assertGreater(offer, 0)
        self.assertEqual(meter[412], 0)
        taken = [n for n in range(192, 298) if meter[n]]
        self.assertEqual(len(taken), 1)
        self.assertEqual(meter[taken[0]], 1)
        leave_through_main_menu(player, eps, keep)
        self.check_books(keep, games=1, continues=0, prize=offer)


if __name__ == "__main__":
    unittest.main()

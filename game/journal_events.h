// What the game tells its journal, one thin call where it decides something (machine/journal.h
// keeps it). The rules stay pure: these read the game's state and never change it, except
// JournalBeforeGameStake in a replay, which puts back the state the recorded game started from.
#pragma once
#include <cstdint>

void JournalBeforeGameStake();
void JournalSetUp();
void JournalPlayerBox(int32_t box);
void JournalQuestion();
// pressed: 0 True, 1 False, anything else the time ran out.
void JournalAnswer(int32_t pressed, bool right);
void JournalPick(int32_t box, int32_t value);
void JournalOffer(int32_t amount, bool taken);
void JournalLives(int32_t before, int32_t after);
// "declined", "no_money", "refused" (the stake was not taken) or "bought".
void JournalContinue(const char* result);
// After the game is booked.
void JournalGameOver();

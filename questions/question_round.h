// The timed true/false question asked before a pick.
#pragma once
#include <cstdint>

constexpr uint8_t kAnswerRight = 1, kAnswerWrong = 5;

// Runs the whole question screen for one question; returns 1 (right) or 5 (wrong or time up)
// and leaves the same value as the game phase.
uint8_t AskQuestion();

// The question screen's idle step, run by the wait on TrueFalseButtons on every poll.
void QuestionWaitRedraw();

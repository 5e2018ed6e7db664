// Playing a journalled game again (--replay PLAN): the plan quibblo-recall writes holds the
// state at the game's stake, the touches with their times from the start of play, and the
// credit server's recorded exchanges, which answer the game in place of the network.
//
// Plan (JSON): {"state": {the journal's start event}, "touches": [{"ms", "x", "y"}],
//               "credit": [{"ms", "request", "reply", "result", "repeat", "last_ms"}],
//               "shots": "DIR"}; credit "ms" are from the start of play, negative before it.
#pragma once
#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

// Reads the plan; false with the reason when it is not one.
bool ReplayLoad(const std::string& path, std::string& why);
bool ReplayActive();
void ReplayEnd();  // back to the network
const nlohmann::json& ReplayState();
// Play begins now: the touches (each with a screenshot just before it) go into the script.
void ReplayPlayStarts();
// The answer to a request, as the server gave it then: a money command takes the next recorded
// one, which must be the same request; a balance reading takes the reading recorded nearest
// before this moment since the last money command. False when the plan holds no such answer
// (the replay has left the recorded game); `result` is "done", "refused" or "lost".
bool ReplayAnswer(const char* request, std::string& reply, std::string& result);
// The first way the replay left the recorded exchanges, empty while it has not.
const std::string& ReplayDeparture();
// Saves the screen as DIR/end.png.
void ReplayEndShot();

#include "machine/replay.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "platform/clock.h"
#include "platform/options.h"
#include "platform/window.h"

namespace {
using nlohmann::json;

struct Exchange {
  int64_t ms, lastMs;
  std::string request, reply, result;
};

bool active = false;
json state;
std::vector<Exchange> credit;
std::vector<ScriptEvent> touches;
std::string shots;
size_t segment = 0;  // first exchange after the last money command answered
bool playing = false;
uint32_t base = 0;
std::string departure;

bool Reading(const std::string& request) { return request == "CGET" || request == "BGET"; }

void Depart(const std::string& what) {
  if (departure.empty()) departure = what;
}

std::string ShotPath(const char* name) { return shots.empty() ? std::string() : shots + "/" + name; }
}  // namespace

bool ReplayLoad(const std::string& path, std::string& why) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    why = "cannot read " + path;
    return false;
  }
  json plan = json::parse(f, nullptr, false);
  if (plan.is_discarded() || !plan.is_object() || !plan.contains("state") || !plan["state"].is_object()) {
    why = path + " is not a replay plan";
    return false;
  }
  try {
    state = plan["state"];
    credit.clear();
    for (const json& c : plan.value("credit", json::array()))
      credit.push_back({c.at("ms").get<int64_t>(), c.value("last_ms", c.at("ms").get<int64_t>()),
                        c.at("request").get<std::string>(), c.at("reply").get<std::string>(),
                        c.at("result").get<std::string>()});
    touches.clear();
    int64_t last = 0;
    for (const json& t : plan.value("touches", json::array())) {
      int64_t ms = t.at("ms").get<int64_t>();
      if (ms < last) ms = last;  // touches made before play met the first screen of play
      last = ms;
      ScriptEvent e{};
      e.kind = ScriptEvent::Touch;
      e.ms = static_cast<uint32_t>(ms < 0 ? 0 : ms);
      e.x = t.at("x").get<int>();
      e.y = t.at("y").get<int>();
      touches.push_back(e);
    }
    shots = plan.value("shots", "");
  } catch (const json::exception& e) {
    why = path + " is not a replay plan (" + e.what() + ")";
    return false;
  }
  active = true;
  segment = 0;
  playing = false;
  departure.clear();
  return true;
}

bool ReplayActive() { return active; }
void ReplayEnd() { active = false; }
const json& ReplayState() { return state; }

void ReplayPlayStarts() {
  if (!active) return;
  playing = true;
  base = ClockSinceStart();
  int n = 0;
  for (const ScriptEvent& t : touches) {
    char name[32];
    std::snprintf(name, sizeof name, "touch-%03d.png", ++n);
    ScriptEvent at = t;
    at.ms += base;
    if (!shots.empty()) {
      ScriptEvent shot{};
      shot.kind = ScriptEvent::Shot;
      shot.ms = at.ms;
      shot.file = ShotPath(name);
      Options.script.push_back(shot);
    }
    Options.script.push_back(at);
  }
}

bool ReplayAnswer(const char* request, std::string& reply, std::string& result) {
  std::string req(request);
  while (!req.empty() && (req.back() == '\n' || req.back() == '\r')) req.pop_back();
  size_t money = segment;
  while (money < credit.size() && Reading(credit[money].request)) ++money;
  if (!Reading(req)) {
    if (money == credit.size() || credit[money].request != req) {
      Depart("the game sent " + req + " where the recorded game " +
             (money == credit.size() ? std::string("sent nothing more") : "sent " + credit[money].request));
      return false;
    }
    reply = credit[money].reply;
    result = credit[money].result;
    segment = money + 1;
    return true;
  }
  int64_t now = playing ? static_cast<int64_t>(ClockSinceStart() - base) : INT64_MIN;
  const Exchange* best = nullptr;
  for (size_t i = segment; i < money; ++i) {
    const Exchange& e = credit[i];
    if (e.request != req) continue;
    if (!best || e.ms <= now) best = &e;
  }
  // None since the last money command: the latest word on that balance, whichever command gave it.
  const char* tag = req == "CGET" ? "CTEL" : "BTEL";
  for (size_t i = segment; !best && i-- > 0;)
    if (credit[i].result == "done" && credit[i].reply.rfind(tag, 0) == 0) best = &credit[i];
  if (!best) {
    Depart("the game read " + req + " where the recorded game never had");
    return false;
  }
  reply = best->reply;
  result = best->result;
  return true;
}

const std::string& ReplayDeparture() { return departure; }

void ReplayEndShot() {
  if (!active || shots.empty()) return;
  std::string path = ShotPath("end.png");
  if (!SaveScreenshot(path.c_str())) std::fprintf(stderr, "quibblo: cannot save %s\n", path.c_str());
}

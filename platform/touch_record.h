// The session written down as a touch script while it is played (--record), so a fault seen on
// the cabinet or in a window can be played again headless. Each line is written as its event
// happens, with no buffer in between: a crash keeps every touch before it.
#pragma once
#include <string>

#include "platform/options.h"

// Empties or creates `path`; false with the reason. `commandLine` goes into the first line, a
// comment, so the replay can be started the same way. A record already open is closed first.
bool StartTouchRecord(const std::string& path, const std::string& commandLine, std::string& error);
void StopTouchRecord();
bool TouchRecordOpen();

// The script line of an event, "<ms> touch <x> <y>" and the like, with its newline.
std::string TouchScriptLine(const ScriptEvent& e);
// Writes the event's line now. A write that fails is said once on standard error; the game goes
// on without its record.
void RecordScriptEvent(const ScriptEvent& e);

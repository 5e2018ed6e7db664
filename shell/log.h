// The event log "~system/logs/Quibblo.txt", rewritten at every start.
#pragma once

int MakeSystemDirectories();
int OpenLog();
int LogWrite(const char* format, ...) __attribute__((format(printf, 1, 2)));
int CloseLog();

// The game's side of the credit server protocol.
#pragma once
#include <cstdint>
#include <string>

// The server's port on 127.0.0.1; tests point the link at a listener of their own.
extern uint16_t CreditServerPort;

// Connects ServerSocket and trusts the far end only when its socket belongs to the expected
// account (QUIBBLO_CREDIT_UID, else the game's own). 0 when connected; 1 when no socket can be
// made; 2 when no server answers or it is not trusted. `why` says what went wrong.
int ConnectCreditServer(std::string& why);
// One attempt at once, logged; commands also reconnect by themselves, at most once a second.
bool ReconnectCreditServer();
bool CreditLinkUp();

// How a command ended: done; refused by the server (nothing happened); or lost, with the link
// dropped, so the server may or may not have applied it.
enum class CommandResult { Done, Refused, Lost };
CommandResult SendCommand(const char* format, int32_t amount, const char* tag);
const char* LastReply();  // the last reply line, for the log

uint16_t QueryCredit();
uint16_t QueryBank();
uint16_t ReadCredit();
uint16_t ReadBank();
bool SpendCredit(int32_t amount);
bool AddBank(int32_t amount);
bool AddCredit(int32_t amount);
void SendTerm();
// Owed first (see money_due.h), then paid; a payment that fails stays owed.
void PayPrize(int16_t amount);
bool PayForGame();

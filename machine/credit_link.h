// The game's side of the credit server protocol.
#pragma once
#include <cstdint>

uint16_t QueryCredit();
uint16_t QueryBank();
uint16_t ReadCredit();
uint16_t ReadBank();
bool SpendCredit(int32_t amount);
bool AddBank(int32_t amount);
bool AddCredit(int32_t amount);
void SendTerm();
void PayPrize(int16_t amount);
bool PayForGame();

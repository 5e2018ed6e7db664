// The bank offer screen: the offer shown, Take or Leave within ten seconds.
#pragma once
#include <cstdint>

constexpr uint8_t kOfferLeft = 1, kOfferTaken = 2;

// Returns 1 when the offer was left (touched or timed out), 2 when taken; sets the game phase
// to the same value. On a Take GamePrize holds the offer.
uint8_t MakeBankOffer();

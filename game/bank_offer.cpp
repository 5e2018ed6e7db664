#include "game/bank_offer.h"

#include "game/flow.h"

uint8_t MakeBankOffer() {
  SetGamePhase(kOfferLeft);
  return kOfferLeft;
}

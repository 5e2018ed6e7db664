// Any bytes as a run-length PCX picture file.
#include "fuzz_picture.h"

constexpr int kTransparencyPicture = 3;  // "Graphic_resource\transparency.PCX"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartPictureFuzzing("fuzz_pcx");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::FuzzPicture(data, size, kTransparencyPicture, ReadPcxSize, DecodePcx);
}

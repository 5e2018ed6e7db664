// Any bytes as a 24-bit BMP picture file.
#include "fuzz_picture.h"

constexpr int kInsertPicture = 2;  // "Graphic_resource\Menu\Insert.BMP"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartPictureFuzzing("fuzz_bmp");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::FuzzPicture(data, size, kInsertPicture, ReadBmpSize, DecodeBmp);
}

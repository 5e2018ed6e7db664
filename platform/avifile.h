// The AVI file library in the shape the clip player was written for: a file of numbered audio and
// video streams, their format records, and "frame n of a video stream as a picture". Over FFmpeg;
// audio streams are counted and described, never decoded. FFmpeg's libraries are opened with
// the first open file and stay open, so a program that plays no clip never maps them.
#pragma once
#include <cstdint>

using HRESULT = int32_t;
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_BADFORMAT = static_cast<HRESULT>(0x80044066);
constexpr HRESULT AVIERR_MEMORY = static_cast<HRESULT>(0x80044067);
constexpr HRESULT AVIERR_BADPARAM = static_cast<HRESULT>(0x80044069);
constexpr HRESULT AVIERR_BUFFERTOOSMALL = static_cast<HRESULT>(0x8004406C);
constexpr HRESULT AVIERR_NODATA = static_cast<HRESULT>(0x80044071);
constexpr HRESULT AVIERR_FILEOPEN = static_cast<HRESULT>(0x80044074);

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
constexpr uint32_t streamtypeVIDEO = MakeFourCC('v', 'i', 'd', 's');
constexpr uint32_t streamtypeAUDIO = MakeFourCC('a', 'u', 'd', 's');

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;

// The header of a packed device-independent bitmap; the pixel bits follow it directly.
// A video stream's format record is one of these; so is every decoded frame, whose pixels are
// 5:6:5 (BI_BITFIELDS, 16 bits), rows top-down (negative height), each row padded to 4 bytes.
struct DibHeader {
  uint32_t size;  // of this header: where the pixel bits start
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;
  uint32_t sizeImage;
  int32_t xPelsPerMeter;
  int32_t yPelsPerMeter;
  uint32_t colorsUsed;
  uint32_t colorsImportant;
};
static_assert(sizeof(DibHeader) == 40);

inline const uint8_t* DibBits(const DibHeader* header) { return reinterpret_cast<const uint8_t*>(header) + header->size; }
inline int DibStride(const DibHeader* header) {
  return static_cast<int>((int64_t{header->width} * header->bitCount / 8 + 3) & ~int64_t{3});
}

// An audio stream's format record: the 18 bytes of a wave format with its extra size.
struct AudioFormatRecord {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
} __attribute__((packed));
static_assert(sizeof(AudioFormatRecord) == 18);

struct AviFile;
struct AviStream;
struct AviFrameReader;

void AVIFileInit();
void AVIFileExit();
// Read-only. A file that is missing or not a clip FFmpeg can read fails; so does every file
// while FFmpeg's libraries cannot be opened, which is said once on standard error.
HRESULT AVIFileOpen(AviFile** file, const char* path);
uint32_t AVIFileRelease(AviFile* file);
// The `index`-th stream of `type` (0, 1, ...); AVIERR_NODATA when there is no such stream.
// Where the libraries are looked for: the system's search path (null or ""), or a folder.
void AVIFileUseLibraryDir(const char* dir);
HRESULT AVIFileGetStream(AviFile* file, AviStream** stream, uint32_t type, int32_t index);
uint32_t AVIStreamRelease(AviStream* stream);
int32_t AVIStreamStart(AviStream* stream);
// With `format` null, sets `*size` to the record's size; otherwise copies the record, which
// must fit in `*size` bytes.
HRESULT AVIStreamReadFormat(AviStream* stream, int32_t position, void* format, int32_t* size);
// Null for a stream that is not video, or that no decoder can read.
AviFrameReader* AVIStreamGetFrameOpen(AviStream* stream);
// Frame `position` (0 = the first) as a packed bitmap, valid until the next call on the reader;
// null past the last frame. Decoding goes forward from the last frame asked for; an earlier
// frame is found again from the start of the stream.
const DibHeader* AVIStreamGetFrame(AviFrameReader* reader, int32_t position);
HRESULT AVIStreamGetFrameClose(AviFrameReader* reader);

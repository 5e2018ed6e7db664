// The bytes of the record file, apart from any file access, so the operator's report reads
// exactly what the game writes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int kRecordMeterCount = 453;
constexpr int kRecordValuesSize = 4 + 4 * kRecordMeterCount;  // 1816: all a reader uses
extern const char kRecordVersion[];                            // the version text after the meters
extern const char kRecordDateIntro[];                          // " - Inf File Written "

struct RecordValues {
  float balance = 0;
  int32_t meters[kRecordMeterCount] = {};
};

// The whole file: balance, meters, version text, date trailer.
std::vector<uint8_t> EncodeRecord(const RecordValues& values, const std::string& dateText);
// Reads as far as the bytes go: a value that is not wholly there stays zero.
RecordValues DecodeRecord(const uint8_t* bytes, size_t size);
// The text after the meters (version and date), empty for a short file.
std::string RecordTrailer(const uint8_t* bytes, size_t size);
// Empty when the bytes are a whole record file as the game writes it (its size, and the version
// and date text after the meters), else what is wrong, in words.
std::string RecordFileProblem(const uint8_t* bytes, size_t size);
// The size of a whole record file.
size_t RecordFileSize();
// "mm/dd/yy"
std::string RecordDateText(int year, int month, int day);

// Any bytes as the record file: the game loads it, saves over it and must read back exactly what
// it saved; the operator's report reads the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_support.h"
#include "machine/meter_table.h"
#include "machine/meters.h"
#include "machine/record_format.h"

namespace {
constexpr const char* kRecordPath = "data/morvane.rec";

std::vector<uint8_t> ReadRecordBytes() {
  std::ifstream in(kRecordPath, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool SameAsMemory(const RecordValues& v) {
  return std::memcmp(&v.balance, &PayoutBalance, 4) == 0 && std::memcmp(v.meters, Meters, sizeof Meters) == 0;
}

void ReportAsOperator(const uint8_t* data, size_t size) {
  RecordValues values = DecodeRecord(data, size);
  std::string trailer = RecordTrailer(data, size);
  if (trailer.size() != (size > kRecordValuesSize ? size - kRecordValuesSize : 0)) std::abort();
  // Only a file of the whole size can pass as a record file.
  if (RecordFileProblem(data, size).empty() && size != RecordFileSize()) std::abort();
  MeterFigures f = DeriveFigures(values.meters, 50);
  ReportMoney(f.stakesTaken);
  ReportMoney(f.prizesWon);
  ReportMoney(values.meters[data[0 % (size | 1)] % kRecordMeterCount]);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder("fuzz_record");
  std::filesystem::create_directories("data");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReportAsOperator(data, size);

  fuzz::WriteFile(kRecordPath, data, size);
  LoadRecord();
  // A file of 10 bytes or less is damaged and deleted; a longer one is read as far as it goes.
  RecordValues expected = DecodeRecord(data, size > 10 ? size : 0);
  if (!std::isfinite(expected.balance)) expected.balance = 0;  // a damaged balance steers nothing
  if (!SameAsMemory(expected)) std::abort();
  if (std::filesystem::exists(kRecordPath) != (size > 10)) std::abort();

  SaveRecord();
  std::vector<uint8_t> saved = ReadRecordBytes();
  size_t fixed = kRecordValuesSize + std::strlen(kRecordVersion) + std::strlen(kRecordDateIntro);
  if (saved.size() < fixed || saved.size() > fixed + 8) std::abort();
  if (std::memcmp(saved.data() + kRecordValuesSize, kRecordVersion, std::strlen(kRecordVersion)) != 0) std::abort();
  if (std::filesystem::exists("data/morvane.tmp")) std::abort();

  // Saving again keeps a date of eight printable characters (what the game itself writes), and
  // loading gives back what was in memory.
  bool wholeDate = saved.size() == fixed + 8;
  for (size_t i = fixed; i < saved.size(); ++i) wholeDate = wholeDate && saved[i] > ' ' && saved[i] < 0x7F;
  SaveRecord();
  if (wholeDate && ReadRecordBytes() != saved) std::abort();
  RecordValues before = DecodeRecord(saved.data(), saved.size());
  LoadRecord();
  if (!SameAsMemory(before)) std::abort();
  std::filesystem::remove(kRecordPath);
  return 0;
}

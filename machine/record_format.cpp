#include "machine/record_format.h"

#include <cstdio>
#include <cstring>

const char kRecordVersion[] = "Quibblo Morvane V1.0.0.4  release date 29-01-2007";
const char kRecordDateIntro[] = " - Inf File Written ";

namespace {
void PutLittle32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetLittle32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

std::vector<uint8_t> EncodeRecord(const RecordValues& values, const std::string& dateText) {
  std::vector<uint8_t> out;
  out.reserve(kRecordValuesSize + 96);
  uint32_t bits;
  std::memcpy(&bits, &values.balance, 4);
  PutLittle32(out, bits);
  for (int32_t m : values.meters) PutLittle32(out, static_cast<uint32_t>(m));
  out.insert(out.end(), kRecordVersion, kRecordVersion + std::strlen(kRecordVersion));
  out.insert(out.end(), kRecordDateIntro, kRecordDateIntro + std::strlen(kRecordDateIntro));
  out.insert(out.end(), dateText.begin(), dateText.end());
  return out;
}

RecordValues DecodeRecord(const uint8_t* bytes, size_t size) {
  RecordValues values;
  if (size >= 4) {
    uint32_t bits = GetLittle32(bytes);
    std::memcpy(&values.balance, &bits, 4);
  }
  for (int i = 0; i < kRecordMeterCount; ++i) {
    size_t at = 4 + 4 * static_cast<size_t>(i);
    if (at + 4 > size) break;
    values.meters[i] = static_cast<int32_t>(GetLittle32(bytes + at));
  }
  return values;
}

std::string RecordTrailer(const uint8_t* bytes, size_t size) {
  if (size <= static_cast<size_t>(kRecordValuesSize)) return {};
  return std::string(reinterpret_cast<const char*>(bytes) + kRecordValuesSize,
                     size - kRecordValuesSize);
}

size_t RecordFileSize() {
  return kRecordValuesSize + std::strlen(kRecordVersion) + std::strlen(kRecordDateIntro) +
         RecordDateText(2000, 1, 1).size();
}

std::string RecordFileProblem(const uint8_t* bytes, size_t size) {
  std::string whole = std::to_string(RecordFileSize());
  if (size == 0) return "it is empty; a record file is " + whole + " bytes";
  if (size < static_cast<size_t>(kRecordValuesSize))
    return "it is " + std::to_string(size) + " bytes, too short for the balance and 453 meters (a record file is " +
           whole + " bytes)";
  std::string trailer = RecordTrailer(bytes, size);
  std::string intro = std::string(kRecordVersion) + kRecordDateIntro;
  if (trailer.compare(0, intro.size(), intro) != 0)
    return "after the meters there is no \"" + std::string(kRecordVersion) + "\" text";
  if (size != RecordFileSize())
    return "it is " + std::to_string(size) + " bytes, not " + whole;
  std::string date = trailer.substr(intro.size());
  for (size_t i = 0; i < date.size(); ++i)
    if (i % 3 == 2 ? date[i] != '/' : (date[i] < '0' || date[i] > '9'))
      return "the date after the meters is not mm/dd/yy";
  return {};
}

std::string RecordDateText(int year, int month, int day) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d", month % 100, day % 100, year % 100);
  return text;
}

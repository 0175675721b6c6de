// Shared pieces of the robustness tests: private temporary folders, whole-file
// byte access, and the two tables of the program built with known content.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xbase.h"

namespace robust {

// A new private folder under the system's temporary folder, removed with all
// it holds when the object goes.
class TempFolder {
 public:
  explicit TempFolder(std::string_view tag);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Whole-file reads and writes; both throw std::runtime_error naming the path.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
bool Exists(const std::string& path);
// Gives `to` the modification time of `from`, to the system's own precision
// (an index knows its table by that exact time).
void KeepModified(const std::string& from, const std::string& to);

// Little- and big-endian integers inside a file image.
uint32_t Le32(const std::string& b, size_t at);
uint16_t Le16(const std::string& b, size_t at);
uint32_t Be32(const std::string& b, size_t at);
void PutLe32(std::string& b, size_t at, uint32_t v);
void PutLe16(std::string& b, size_t at, uint16_t v);
void PutBe32(std::string& b, size_t at, uint32_t v);
void PutBe16(std::string& b, size_t at, uint16_t v);

// The records table of the program.
struct Rec {
  std::string catalog, title, name, size, date, desc;
};
std::vector<xbase::FieldDef> RecordsFields();
extern const char* const kRecordFieldNames[6];  // in field order

inline constexpr const char* kRecordsFile = "VTLDataA.dbf";
inline constexpr const char* kCatalogsFile = "VTLCa.dbf";
inline constexpr const char* kRecordsTag = "CatFlTl";
inline constexpr const char* kCatalogsTag = "CtLg";

// Creates VTLDataA.dbf with its memo file and tag CatFlTl in folder, posts
// `recs` in order and then deletes the records at the positions `deleted`.
void BuildRecordsTable(const std::string& folder, const std::vector<Rec>& recs,
                       const std::vector<size_t>& deleted);
// Creates VTLCa.dbf with the unique tag CtLg, the names in order, then
// deletes those at the positions `deleted`.
void BuildCatalogTable(const std::string& folder, const std::vector<std::string>& names,
                       const std::vector<size_t>& deleted);

// A text of `bytes` bytes mixing ASCII, multi-byte UTF-8 and line breaks,
// different for each seed; never cuts a character.
std::string MixedText(size_t bytes, uint32_t seed);

// Space padding to a field width (the text must already fit).
std::string Pad(std::string_view s, size_t width);
// ASCII upper case (the test data keep keys ASCII so byte order is plain).
std::string AsciiUpper(std::string_view s);

}  // namespace robust

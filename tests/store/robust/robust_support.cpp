#include "robust_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace robust {

TempFolder::TempFolder(std::string_view tag) {
  const fs::path base = fs::temp_directory_path();
  // A random name; create_directory refuses one that is already there, so
  // two processes never share a folder.
  static std::mt19937_64 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    fs::path p = base / ("vantrell-" + std::string(tag) + "-" + std::to_string(rng() % 1000000000));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder under " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void KeepModified(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // std::filesystem of MinGW sets whole seconds only.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE src = CreateFileW(fs::path(from).c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE dst = CreateFileW(fs::path(to).c_str(), FILE_WRITE_ATTRIBUTES, share, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME written{};
  const bool ok = src != INVALID_HANDLE_VALUE && dst != INVALID_HANDLE_VALUE &&
                  GetFileTime(src, nullptr, nullptr, &written) && SetFileTime(dst, nullptr, nullptr, &written);
  if (src != INVALID_HANDLE_VALUE) CloseHandle(src);
  if (dst != INVALID_HANDLE_VALUE) CloseHandle(dst);
  if (!ok) throw std::runtime_error("cannot give " + to + " the time of " + from);
#else
  fs::last_write_time(to, fs::last_write_time(from));
#endif
}

static uint8_t U8(const std::string& b, size_t at) { return static_cast<uint8_t>(b.at(at)); }

uint32_t Le32(const std::string& b, size_t at) {
  return U8(b, at) | U8(b, at + 1) << 8 | U8(b, at + 2) << 16 | uint32_t(U8(b, at + 3)) << 24;
}
uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(U8(b, at) | U8(b, at + 1) << 8);
}
uint32_t Be32(const std::string& b, size_t at) {
  return uint32_t(U8(b, at)) << 24 | U8(b, at + 1) << 16 | U8(b, at + 2) << 8 | U8(b, at + 3);
}
void PutLe32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>(v >> (8 * i));
}
void PutLe16(std::string& b, size_t at, uint16_t v) {
  for (int i = 0; i < 2; ++i) b.at(at + i) = static_cast<char>(v >> (8 * i));
}
void PutBe32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>(v >> (8 * (3 - i)));
}
void PutBe16(std::string& b, size_t at, uint16_t v) {
  b.at(at) = static_cast<char>(v >> 8);
  b.at(at + 1) = static_cast<char>(v);
}

const char* const kRecordFieldNames[6] = {"CATALOG", "FLTITLE", "FLNAME",
                                          "FLSIZE",  "FLDATE",  "FLDESC"};

std::vector<xbase::FieldDef> RecordsFields() {
  return {{"Catalog", 'C', 20, 0}, {"FLTITLE", 'C', 80, 0}, {"FLNAME", 'C', 255, 0},
          {"FLSIZE", 'C', 10, 0},  {"FLDATE", 'C', 21, 0},  {"FLDESC", 'M', 10, 0}};
}

static void DeleteWhere(xbase::Table& t, const std::string& field,
                        const std::vector<std::string>& values) {
  for (const std::string& v : values) {
    if (!t.Locate(field, v)) throw std::runtime_error("test data: no record " + v);
    t.Delete();
  }
}

void BuildRecordsTable(const std::string& folder, const std::vector<Rec>& recs,
                       const std::vector<size_t>& deleted) {
  const std::string dbf = folder + "/" + kRecordsFile;
  xbase::CreateTable(dbf, RecordsFields());
  xbase::Environment env;
  xbase::Table t(env);
  t.SetDatabaseName(folder);
  t.SetTableName(kRecordsFile);
  t.SetExclusive(true);
  t.Open();
  t.IndexTag(xbase::IndexPathFor(dbf), kRecordsTag, "Catalog+upper(FLTitle)", ".not. DELETED()",
             false);
  t.SetIndexTag("");
  for (const Rec& r : recs) {
    t.Append();
    t.SetFieldByName("Catalog", r.catalog);
    t.SetFieldByName("FLTITLE", r.title);
    t.SetFieldByName("FLNAME", r.name);
    t.SetFieldByName("FLSIZE", r.size);
    t.SetFieldByName("FLDATE", r.date);
    t.SetFieldByName("FLDESC", r.desc);
    t.Post();
  }
  std::vector<std::string> names;
  for (size_t i : deleted) names.push_back(recs.at(i).name);
  DeleteWhere(t, "FLNAME", names);
  t.Close();
}

void BuildCatalogTable(const std::string& folder, const std::vector<std::string>& names,
                       const std::vector<size_t>& deleted) {
  const std::string dbf = folder + "/" + kCatalogsFile;
  xbase::CreateTable(dbf, {{"Catalog", 'C', 20, 0}});
  xbase::Environment env;
  xbase::Table t(env);
  t.SetDatabaseName(folder);
  t.SetTableName(kCatalogsFile);
  t.SetExclusive(true);
  t.Open();
  t.IndexTag(xbase::IndexPathFor(dbf), kCatalogsTag, "Catalog", ".not. DELETED()", true);
  t.SetIndexTag("");
  for (const std::string& n : names) {
    t.Append();
    t.SetFieldByName("Catalog", n);
    t.Post();
  }
  std::vector<std::string> gone;
  for (size_t i : deleted) gone.push_back(names.at(i));
  DeleteWhere(t, "Catalog", gone);
  t.Close();
}

std::string MixedText(size_t bytes, uint32_t seed) {
  static const char* const kPieces[] = {
      "catalogue ", "Grüße ",  "naïve ",    "日本語 ", "Ωμέγα ", "отчёт ", "\r\n",
      "Ĳssel ",     "✓ done ", "/home/a/ ", "12,345 ", "\t",     "x",      "Ærø "};
  std::string out;
  uint32_t s = seed * 2654435761u + 12345u;
  while (out.size() < bytes) {
    s = s * 1103515245u + 12345u;
    std::string_view piece = kPieces[(s >> 16) % std::size(kPieces)];
    if (out.size() + piece.size() > bytes) piece = "x";
    out += piece;
  }
  return out;
}

std::string Pad(std::string_view s, size_t width) {
  std::string out(s);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

}  // namespace robust

#include "xbase_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tempfolder.h"

namespace fs = std::filesystem;

namespace xbtest {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

static uint8_t At(const std::string& b, size_t at) {
  return at < b.size() ? static_cast<uint8_t>(b[at]) : 0;
}

uint32_t Le32(const std::string& b, size_t at) {
  return At(b, at) | (At(b, at + 1) << 8) | (At(b, at + 2) << 16) |
         (static_cast<uint32_t>(At(b, at + 3)) << 24);
}
uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(At(b, at) | (At(b, at + 1) << 8));
}
uint32_t Be32(const std::string& b, size_t at) {
  return (static_cast<uint32_t>(At(b, at)) << 24) | (At(b, at + 1) << 16) |
         (At(b, at + 2) << 8) | At(b, at + 3);
}
uint16_t Be16(const std::string& b, size_t at) {
  return static_cast<uint16_t>((At(b, at) << 8) | At(b, at + 1));
}

xbase::Error CatchError(const std::function<void()>& body) {
  try {
    body();
  } catch (const xbase::Error& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "threw a non-engine exception: " << e.what();
    return xbase::Error(xbase::ErrorCode::Usage, "");
  }
  ADD_FAILURE() << "expected an xbase::Error, nothing was thrown";
  return xbase::Error(xbase::ErrorCode::Usage, "");
}

std::string LongText(size_t bytes) {
  std::string s;
  s.reserve(bytes);
  int line = 0;
  while (s.size() < bytes) {
    s += "Line " + std::to_string(line++) + ": the quick brown fox jumps over the lazy dog";
    s += (line % 7 == 0) ? "\r\n" : "\n";
  }
  s.resize(bytes);
  return s;
}

void XbaseTest::SetUp() {
  folder_ = testsupport::MakeTempFolder("xbase");
  ASSERT_FALSE(folder_.empty()) << "cannot make a temporary folder";
}

void XbaseTest::TearDown() {
  std::error_code ec;
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

void XbaseTest::MakeRecordsTable() {
  xbase::CreateTable(RecordsPath(), {{"Catalog", 'C', 20, 0},
                                     {"FLTITLE", 'C', 80, 0},
                                     {"FLNAME", 'C', 255, 0},
                                     {"FLSIZE", 'C', 10, 0},
                                     {"FLDATE", 'C', 21, 0},
                                     {"FLDESC", 'M', 10, 0}});
  xbase::Table t(env_);
  t.SetDatabaseName(folder_);
  t.SetTableName("VTLDataA.dbf");
  t.SetExclusive(true);
  t.Open();
  int tag = t.IndexTag(xbase::IndexPathFor(RecordsPath()), "CatFlTl",
                       "Catalog+upper(FLTitle)", ".not. DELETED()", false);
  ASSERT_GE(tag, 1);
  t.Close();
}

void XbaseTest::MakeCatalogTable() {
  xbase::CreateTable(CatalogsPath(), {{"Catalog", 'C', 20, 0}});
  xbase::Table t(env_);
  t.SetDatabaseName(folder_);
  t.SetTableName("VTLCa.dbf");
  t.SetExclusive(true);
  t.Open();
  int tag = t.IndexTag(xbase::IndexPathFor(CatalogsPath()), "CtLg", "Catalog",
                       ".not. DELETED()", true);
  ASSERT_GE(tag, 1);
  t.Close();
}

std::unique_ptr<xbase::Table> XbaseTest::OpenRecords(const std::string& tag, bool exclusive) {
  return OpenRecordsIn(env_, tag, exclusive);
}

std::unique_ptr<xbase::Table> XbaseTest::OpenRecordsIn(xbase::Environment& env,
                                                       const std::string& tag,
                                                       bool exclusive) {
  auto t = std::make_unique<xbase::Table>(env);
  t->SetDatabaseName(folder_);
  t->SetTableName("VTLDataA.dbf");
  t->SetIndexTag(tag);
  t->SetExclusive(exclusive);
  t->Open();
  return t;
}

std::unique_ptr<xbase::Table> XbaseTest::OpenCatalogs(const std::string& tag, bool exclusive) {
  auto t = std::make_unique<xbase::Table>(env_);
  t->SetDatabaseName(folder_);
  t->SetTableName("VTLCa.dbf");
  t->SetIndexTag(tag);
  t->SetExclusive(exclusive);
  t->Open();
  return t;
}

void XbaseTest::Add(xbase::Table& t, const Rec& r) {
  t.Append();
  t.SetFieldByName("Catalog", r.catalog);
  t.SetFieldByName("FLTITLE", r.title);
  t.SetFieldByName("FLNAME", r.name);
  t.SetFieldByName("FLSIZE", r.size);
  t.SetFieldByName("FLDATE", r.date);
  t.SetFieldByName("FLDESC", r.desc);
  t.Post();
}

void XbaseTest::AddCatalog(xbase::Table& t, const std::string& name) {
  t.Append();
  t.SetFieldByName("Catalog", name);
  t.Post();
}

void XbaseTest::AddRecords(const std::vector<Rec>& recs) {
  auto t = OpenRecords();
  for (const Rec& r : recs) Add(*t, r);
  t->Close();
}

std::vector<std::string> XbaseTest::Column(xbase::Table& t, const std::string& field) {
  std::vector<std::string> out;
  t.First();
  for (int guard = 0; !t.Eof() && guard < 100000; ++guard) {
    out.push_back(t.FieldByName(field));
    t.Next();
  }
  return out;
}

std::vector<std::string> XbaseTest::Keys(xbase::Table& t) {
  std::vector<std::string> out;
  t.First();
  for (int guard = 0; !t.Eof() && guard < 100000; ++guard) {
    out.push_back(t.FieldByName("Catalog") + "/" + t.FieldByName("FLTITLE"));
    t.Next();
  }
  return out;
}

}  // namespace xbtest

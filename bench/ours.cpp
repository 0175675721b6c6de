#include "ours.h"

#include <stdexcept>

#include "xbase.h"

namespace bench {

namespace {

uint64_t g_consumed = 0;

std::vector<xbase::FieldDef> RecordsSchema() {
  return {{"Catalog", 'C', kCatalogWidth, 0}, {"FLTITLE", 'C', kTitleWidth, 0},
          {"FLNAME", 'C', kNameWidth, 0},     {"FLSIZE", 'C', kSizeWidth, 0},
          {"FLDATE", 'C', kDateWidth, 0},     {"FLDESC", 'M', 10, 0}};
}

// A cursor configured the way the program configures its tables.
void Configure(xbase::Table& t, const Location& at, const std::string& tag, bool exclusive) {
  t.SetDatabaseName(at.folder);
  t.SetTableName(at.file);
  t.SetIndexTag(tag);
  t.SetExclusive(exclusive);
}

void ReadAllFields(const xbase::Table& t) {
  for (const char* name : kFieldNames) Consume(t.FieldByName(name));
}

}  // namespace

void Consume(std::string_view s) { g_consumed += s.size(); }
uint64_t ConsumedBytes() { return g_consumed; }

std::string CatalogQuery(std::string_view catalog) {
  return "Catalog = " + xbase::QuoteLiteral(std::string(catalog) + "  ");
}

void OursCreateAndAppend(const Location& at, const Rows& rows) {
  xbase::CreateTable(at.dbf(), RecordsSchema());
  {
    xbase::Environment env;
    xbase::Table t(env);
    Configure(t, at, "", true);
    t.Open();
    if (t.IndexTag(xbase::IndexPathFor(at.dbf()), kTagName, kTagKey, kTagCondition, false) < 1)
      throw std::runtime_error("creating the tag returned no tag number");
    t.Close();
  }
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, kTagName, false);
  t.Open();
  t.BeginBatch();
  for (size_t i = 0; i < rows.size(); ++i) {
    t.Append();
    for (int f = 0; f < kFieldCount; ++f)
      t.SetFieldByName(kFieldNames[f], rows.field(i, Field(f)));
    t.Post();
  }
  t.EndBatch();
  t.Close();
}

int64_t OursSelectCatalog(const Location& at, std::string_view catalog, int readRows) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, kTagName, false);
  t.Open();
  t.SetQuery(CatalogQuery(catalog));
  int64_t count = t.RecordCount();
  t.First();
  for (int i = 0; i < readRows && !t.Eof(); ++i) {
    ReadAllFields(t);
    t.Next();
  }
  t.Close();
  return count;
}

size_t OursFindInNames(const Location& at, std::string_view word) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, kTagName, false);
  t.Open();
  size_t hits = t.FindContaining("FLNAME", word, true).size();
  t.Close();
  return hits;
}

void OursOpenFirst(const Location& at) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, kTagName, false);
  t.Open();
  t.First();
  ReadAllFields(t);
  t.Close();
}

size_t OursDeleteEveryTenth(const Location& at) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, "", false);
  t.Open();
  size_t deleted = 0;
  t.BeginBatch();
  t.First();
  while (!t.Eof()) {
    if (t.RecNo() % 10 == 0) {
      t.Delete();  // moves on to the next record
      ++deleted;
    } else {
      t.Next();
    }
  }
  t.EndBatch();
  t.Close();
  return deleted;
}

void OursPack(const Location& at) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, "", true);
  t.Open();
  t.Pack();
  t.Close();
}

void OursReindex(const Location& at) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, "", true);
  t.Open();
  t.Reindex();
  t.Close();
}

int64_t OursCount(const Location& at) {
  xbase::Environment env;
  xbase::Table t(env);
  Configure(t, at, "", false);
  t.Open();
  int64_t n = t.RecordCount();
  t.Close();
  return n;
}

int64_t OursWalkCatalog(const Location& at, std::string_view catalog) {
  xbase::Table t;
  Configure(t, at, kTagName, false);
  t.SetQuery(CatalogQuery(catalog));
  t.Open();
  int64_t rows = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    ReadAllFields(t);
    ++rows;
  }
  t.Close();
  return rows;
}

OursEditor::OursEditor(const Location& at)
    : env_(std::make_unique<xbase::Environment>()),
      table_(std::make_unique<xbase::Table>(*env_)) {
  Configure(*table_, at, kTagName, false);
  table_->Open();
}

OursEditor::~OursEditor() {
  try {
    table_->Close();
  } catch (...) {
    // The destructor has no one to report to; the measure already failed.
  }
}

void OursEditor::EditTitle(uint32_t recno, std::string_view title) {
  xbase::Table& t = *table_;
  if (!t.GotoBookmark(xbase::Bookmark{recno}))
    throw std::runtime_error("record " + std::to_string(recno) + " is not visible");
  t.Edit();
  t.SetFieldByName("FLTITLE", title);
  t.Post();
}

}  // namespace bench

// Fuzzes the expression parser and the query: the input is a query on the
// sound records table. The same query runs on a cursor in file order and on
// one in the order of tag CatFlTl, which may answer it from the index; both
// must refuse it or both must select the same records.
#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "xbase.h"

namespace {

struct Cursors {
  xbase::Environment env;
  xbase::Table natural{env}, ordered{env};
  Cursors() {
    const fuzz::SoundTable& sound = fuzz::Sound();
    fuzz::PutSoundTable("Q.dbf");
    fuzz::Put("Q.SMT", sound.smt);
    fuzz::Put("Q.nsx", sound.nsx);
    for (xbase::Table* t : {&natural, &ordered}) {
      t->SetDatabaseName(fuzz::Folder());
      t->SetTableName("Q.dbf");
    }
    ordered.SetIndexTag("CatFlTl");
    natural.Open();
    ordered.Open();
  }
};

// The records a query selects, in record-number order; false when refused.
bool Select(xbase::Table& t, const std::string& query, std::vector<uint32_t>& out) {
  try {
    t.SetQuery(query);
  } catch (const xbase::Error&) {
    return false;
  }
  try {
    const int64_t count = t.RecordCount();
    for (t.First(); !t.Eof(); t.Next()) {
      out.push_back(t.RecNo());
      if (out.size() > 100000) fuzz::Fail("Next never reaches the end");
    }
    if (count != static_cast<int64_t>(out.size()))
      fuzz::Fail("RecordCount " + std::to_string(count) + " but " + std::to_string(out.size()) + " walked");
  } catch (const xbase::Error&) {
    // An expression that parses but fails on a record (a type clash, say)
    // is refused when evaluated.
    out.assign(1, 0xFFFFFFFFu);
    return true;
  }
  std::sort(out.begin(), out.end());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Cursors* c = new Cursors;  // kept for the whole run
  const std::string query(reinterpret_cast<const char*>(data), size);
  std::vector<uint32_t> a, b;
  const bool okA = Select(c->natural, query, a);
  const bool okB = Select(c->ordered, query, b);
  if (okA != okB) fuzz::Fail("the query is refused on one cursor only: " + query);
  const bool evaluated = (a.empty() || a[0] != 0xFFFFFFFFu) && (b.empty() || b[0] != 0xFFFFFFFFu);
  if (evaluated && a != b) fuzz::Fail("the tag and a scan select different records for: " + query);
  c->natural.SetQuery("");
  c->ordered.SetQuery("");
  return 0;
}

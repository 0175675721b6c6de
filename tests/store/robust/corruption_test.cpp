// Damaged files, in the manner of a corruption test that flips bytes at known
// places: a small sound database (the records table with memo file and tag,
// the catalog-names table with its unique tag) is damaged one way at a time,
// and then
//  - CheckTable never crashes, changes nothing, and reports the damage;
//  - opening, walking every record both ways and reading every field either
//    works with a sound result or throws xbase::Error naming the file, and a
//    failed open writes nothing to the table or memo file;
//  - a damaged index is never trusted: it is rebuilt at open, or (damage deep
//    in a tree, found only when the page is read) reported as an error once
//    and rebuilt at the next open; the order afterwards is the right one.
// Every case runs in a child process, so a crash or a hang fails that case
// alone and says which.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "childprocess.h"
#include "robust_support.h"
#include "xbase.h"

namespace {

using robust::Be32;
using robust::Le16;
using robust::Le32;

constexpr const char* R = "VTLDataA.dbf";   // records table
constexpr const char* M = "VTLDataA.SMT";   // its memo file
constexpr const char* I = "VTLDataA.nsx";   // its index
constexpr const char* C = "VTLCa.dbf";      // catalog names
constexpr const char* CI = "VTLCa.nsx";     // their index
constexpr uint32_t kPage = 4096;            // index page size

// ---- the sound database -------------------------------------------------------

struct Row {
  uint32_t recno = 0;
  bool deleted = false;
  std::vector<std::string> values;
  bool operator==(const Row&) const = default;
};

// What a reader sees of one table: every record in file order with deleted
// ones shown, and the visible records in the tag's order.
struct View {
  std::vector<Row> all, ordered;
};

struct Pristine {
  robust::TempFolder folder{"corruption-pristine"};
  std::map<std::string, std::string> bytes;
  View records, catalogs;
};
Pristine* pristine = nullptr;

std::vector<robust::Rec> TestRecords() {
  static const char* const kCatalogs[] = {"Music", "Documents", "Photos", "Backup"};
  static const char* const kWords[] = {"delta", "Alpha", "echo", "Bravo", "charlie"};
  std::vector<robust::Rec> recs;
  // Sixty records with long titles: the tag needs more than one leaf, so it
  // has a branch page above them.
  for (int i = 0; i < 60; ++i) {
    robust::Rec r;
    r.catalog = kCatalogs[i % 4];
    r.title = std::string(1, static_cast<char>((i % 2 ? 'a' : 'A') + (i * 7) % 26)) + "-" +
              std::to_string(i) + " " + kWords[i % 5] + " of the collection, shelf " +
              std::to_string(i * 31 % 97) + ", catalogued for testing";
    r.name = "/data/" + r.catalog + "/file" + std::to_string(i) + ".bin";
    r.size = std::to_string(i * 1013);
    r.date = "0" + std::to_string(i % 9 + 1) + "/02/2024 10:00:" + std::to_string(10 + i);
    r.desc = i % 6 == 0 ? "" : robust::MixedText(37u * i % 1500 + (i % 3) * 700, i);
    recs.push_back(r);
  }
  return recs;
}

// ---- reading a table the way a user does -----------------------------------------

bool Named(const std::string& message, const std::vector<std::string>& files) {
  for (const std::string& f : files)
    if (message.find(f) != std::string::npos) return true;
  return false;
}

std::string Key(const std::string& table, const Row& r) {
  if (table == R) return robust::Pad(r.values[0], 20) + robust::AsciiUpper(robust::Pad(r.values[1], 80));
  return robust::Pad(r.values[0], 20);
}

// Opens the table, walks it to the end and back, reads every field of every
// record and compares the figures the cursor gives. Throws what the engine
// throws; adds a line to `problems` for every contradiction.
std::vector<Row> Walk(const std::string& folder, const std::string& table, const std::string& tag,
                      bool showDeleted, std::vector<std::string>& problems) {
  xbase::Environment env;
  env.SetDeleted(!showDeleted);
  xbase::Table t(env);
  t.SetDatabaseName(folder);
  t.SetTableName(table);
  t.SetIndexTag(tag);
  t.Open();
  const std::string what = table + (tag.empty() ? " in file order" : " in tag " + tag);
  const size_t limit = 10000;  // the sound tables hold far fewer
  std::vector<Row> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    Row r{t.RecNo(), t.IsDeletedRecord(), {}};
    for (const xbase::FieldDef& f : t.Fields()) r.values.push_back(t.FieldByName(f.name));
    rows.push_back(std::move(r));
    if (rows.size() > limit) {
      problems.push_back(what + ": Next never reaches the end");
      return rows;
    }
  }
  if (t.RecordCount() != static_cast<int64_t>(rows.size()))
    problems.push_back(what + ": RecordCount " + std::to_string(t.RecordCount()) + ", walked " +
                       std::to_string(rows.size()));
  std::vector<uint32_t> back;
  for (t.Last(); !t.Bof(); t.Prior()) {
    back.push_back(t.RecNo());
    if (back.size() > limit) break;
  }
  std::reverse(back.begin(), back.end());
  std::vector<uint32_t> forth;
  for (const Row& r : rows) forth.push_back(r.recno);
  if (back != forth) problems.push_back(what + ": walking back gives other records than walking forth");
  if (!rows.empty()) {
    const size_t mid = rows.size() / 2;
    if (!t.MoveToIndex(static_cast<int64_t>(mid)) || t.RecNo() != rows[mid].recno ||
        t.RecordIndex() != static_cast<int64_t>(mid))
      problems.push_back(what + ": MoveToIndex(" + std::to_string(mid) + ") lands elsewhere");
  }
  for (const Row& r : rows)
    if (r.deleted && !showDeleted) problems.push_back(what + ": deleted record " + std::to_string(r.recno) + " is visible");
  if (!tag.empty()) {
    for (size_t i = 1; i < rows.size(); ++i) {
      const std::string a = Key(table, rows[i - 1]), b = Key(table, rows[i]);
      if (b < a || (table == C && a == b)) {
        problems.push_back(what + ": records " + std::to_string(rows[i - 1].recno) + " and " +
                           std::to_string(rows[i].recno) + " are out of order");
        break;
      }
    }
  }
  t.Close();
  return rows;
}

View Look(const std::string& folder, const std::string& table, std::vector<std::string>& problems) {
  View v;
  v.all = Walk(folder, table, "", true, problems);
  v.ordered = Walk(folder, table, table == R ? robust::kRecordsTag : robust::kCatalogsTag, false, problems);
  return v;
}

// ---- the cases ------------------------------------------------------------------

enum class Kind {
  Table,        // a damaged table or memo file
  Index,        // a damaged index whose tag list survives: rebuilt, exact afterwards
  IndexLost,    // an index whose tag list is gone: an error naming it, or exact
};

enum class Sound {
  Consistent,   // an open that works must give a self-consistent view
  Exact,        // ... the view of the sound database
};

struct Case {
  std::string name;
  const char* file;  // the damaged file
  Kind kind;
  bool detect;       // CheckTable must report a problem before any open
  Sound sound;
  std::function<void(std::string&)> damage;
  std::vector<std::string> named = {};  // other files an error may name
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string TableOf(const char* file) {
  const std::string f = file;
  return f == R || f == M || f == I ? R : C;
}

// The layout of a table file, read from its bytes.
struct Layout {
  uint32_t count, headerLen, recLen;
  struct Field {
    std::string name;
    size_t desc;     // offset of the descriptor
    uint32_t offset; // within the record
    uint32_t width;
  };
  std::vector<Field> fields;
  size_t terminator = 0;

  explicit Layout(const std::string& b) : count(Le32(b, 4)), headerLen(Le16(b, 8)), recLen(Le16(b, 10)) {
    uint32_t off = 1;
    size_t at = 32;
    for (; b.at(at) != 0x0D; at += 32) {
      Field f{std::string(b.data() + at, strnlen(b.data() + at, 11)), at, off,
              static_cast<uint8_t>(b.at(at + 16))};
      off += f.width;
      fields.push_back(f);
    }
    terminator = at;
  }
  const Field& field(const std::string& name) const {
    for (const Field& f : fields)
      if (f.name == name) return f;
    throw std::runtime_error("no field " + name);
  }
  size_t record(uint32_t recno) const { return headerLen + size_t(recno - 1) * recLen; }
  size_t at(uint32_t recno, const std::string& name) const { return record(recno) + field(name).offset; }
};

const std::string& Original(const char* file) { return pristine->bytes.at(file); }
Layout RecordsLayout() { return Layout(Original(R)); }

uint32_t MemoBlockOf(uint32_t recno) {
  const Layout l = RecordsLayout();
  const std::string digits = Original(R).substr(l.at(recno, "FLDESC"), 10);
  return digits.find_first_not_of(' ') == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(digits));
}
uint32_t MemoBlockSize() { return (uint8_t(Original(M)[6]) << 8) | uint8_t(Original(M)[7]); }
// The record whose memo lies last in the memo file, and one with a long memo.
uint32_t LastMemoRecord() {
  uint32_t best = 0, bestBlock = 0;
  for (uint32_t r = 1; r <= RecordsLayout().count; ++r)
    if (MemoBlockOf(r) > bestBlock) bestBlock = MemoBlockOf(r), best = r;
  return best;
}
uint32_t LongMemoRecord() {
  for (uint32_t r = 1; r <= RecordsLayout().count; ++r)
    if (pristine->records.all[r - 1].values[5].size() > 1000) return r;
  throw std::runtime_error("test data: no long memo");
}

void Put(std::string& b, size_t at, std::string_view s) { b.replace(at, s.size(), s); }
void Flip(std::string& b, size_t at) { b.at(at) = static_cast<char>(b.at(at) ^ 0x5A); }

// The CRC the index pages carry (the common CRC-32), so a damaged field can
// be given a valid checksum: damage that a checksum cannot catch.
uint32_t Crc32(std::string_view s) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char ch : s) {
    c ^= ch;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}
void SealState(std::string& b) { robust::PutLe32(b, 508, Crc32(std::string_view(b).substr(0, 508))); }
void SealPage(std::string& b, uint32_t page) {
  robust::PutLe32(b, size_t(page) * kPage, Crc32(std::string_view(b).substr(size_t(page) * kPage + 4, kPage - 4)));
}
uint32_t RootOf(const std::string& nsx) { return Le32(nsx, 40); }
uint32_t FirstLeaf(const std::string& nsx) {
  uint32_t p = RootOf(nsx);
  while (nsx.at(size_t(p) * kPage + 4) == 2) {  // a branch: follow its first child
    const size_t page = size_t(p) * kPage;
    const size_t entry = page + Le16(nsx, page + 20);
    p = Le32(nsx, entry + 2 + Le16(nsx, entry) + 4);
  }
  return p;
}

std::vector<Case> Cases() {
  using K = Kind;
  using S = Sound;
  std::vector<Case> cs;
  auto add = [&](Case c) { cs.push_back(std::move(c)); };

  // -- the records table's header
  add({"version_zero", R, K::Table, true, S::Consistent, [](std::string& b) { b[0] = 0; }});
  add({"version_unknown", R, K::Table, true, S::Consistent, [](std::string& b) { b[0] = 0x42; }});
  add({"count_one_more", R, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutLe32(b, 4, Le32(b, 4) + 1); }});
  add({"count_huge", R, K::Table, true, S::Consistent, [](std::string& b) { robust::PutLe32(b, 4, 0xFFFFFFFFu); }});
  // One complete record past the count is what a writer stopped inside an
  // append leaves, or a count one too low: the record is data, read as
  // part of the table (so nothing is ever appended over it), and told.
  add({"count_one_less", R, K::Table, true, S::Exact,
       [](std::string& b) { robust::PutLe32(b, 4, Le32(b, 4) - 1); }});
  // Sixty records past the count are not: an open that works must show
  // them, or the next append writes over the first of them.
  add({"count_zero", R, K::Table, true, S::Exact, [](std::string& b) { robust::PutLe32(b, 4, 0); }});
  add({"header_length_zero", R, K::Table, true, S::Consistent, [](std::string& b) { robust::PutLe16(b, 8, 0); }});
  add({"header_length_31", R, K::Table, true, S::Consistent, [](std::string& b) { robust::PutLe16(b, 8, 31); }});
  add({"header_length_huge", R, K::Table, true, S::Consistent, [](std::string& b) { robust::PutLe16(b, 8, 0xFFFF); }});
  add({"header_length_one_short", R, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutLe16(b, 8, Le16(b, 8) - 1); }});
  add({"header_length_one_descriptor_short", R, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutLe16(b, 8, Le16(b, 8) - 32); }});
  add({"record_length_zero", R, K::Table, true, S::Consistent, [](std::string& b) { robust::PutLe16(b, 10, 0); }});
  add({"record_length_one_short", R, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutLe16(b, 10, Le16(b, 10) - 1); }});
  add({"record_length_huge", R, K::Table, true, S::Consistent, [](std::string& b) { robust::PutLe16(b, 10, 0xFFFF); }});
  add({"field_type_unknown", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).field("FLTITLE").desc + 11] = 'X'; }});
  add({"field_width_zero", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).field("FLTITLE").desc + 16] = 0; }});
  add({"field_width_changed", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).field("FLTITLE").desc + 16] = 79; }});
  add({"memo_field_width", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).field("FLDESC").desc + 16] = 8; }});
  add({"field_name_blank", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).field("FLNAME").desc] = 0; }});
  add({"terminator_overwritten", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).terminator] = ' '; }});

  // -- the records
  add({"deletion_flag_invalid", R, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).record(2)] = 'X'; }});
  add({"memo_pointer_out_of_range", R, K::Table, true, S::Consistent,
       [](std::string& b) { Put(b, Layout(b).at(LongMemoRecord(), "FLDESC"), "  99999999"); }, {M}});
  add({"memo_pointer_not_digits", R, K::Table, true, S::Consistent,
       [](std::string& b) { Put(b, Layout(b).at(LongMemoRecord(), "FLDESC"), "00000abcde"); }, {M}});
  add({"memo_pointer_into_header", R, K::Table, true, S::Consistent,
       [](std::string& b) { Put(b, Layout(b).at(LongMemoRecord(), "FLDESC"), "         1"); }, {M}});
  add({"memo_pointer_at_next_free", R, K::Table, true, S::Consistent,
       [](std::string& b) {
         Put(b, Layout(b).at(LongMemoRecord(), "FLDESC"),
             robust::Pad("", 10 - std::to_string(Be32(Original(M), 0)).size()) + std::to_string(Be32(Original(M), 0)));
       }, {M}});

  // -- the memo file
  add({"memo_next_free_zero", M, K::Table, true, S::Consistent, [](std::string& b) { robust::PutBe32(b, 0, 0); }});
  add({"memo_next_free_inside_memos", M, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutBe32(b, 0, MemoBlockOf(LastMemoRecord())); }});
  add({"memo_block_size_zero", M, K::Table, true, S::Consistent, [](std::string& b) { robust::PutBe16(b, 6, 0); }});
  add({"memo_block_size_doubled", M, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutBe16(b, 6, static_cast<uint16_t>(MemoBlockSize() * 2)); }});
  add({"memo_length_huge", M, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutBe32(b, size_t(MemoBlockOf(LongMemoRecord())) * MemoBlockSize() + 4, 0x7FFFFFF0u); }});
  add({"memo_length_one_past_end", M, K::Table, true, S::Consistent, [](std::string& b) {
         const size_t at = size_t(MemoBlockOf(LastMemoRecord())) * MemoBlockSize();
         robust::PutBe32(b, at + 4, static_cast<uint32_t>(b.size() - at - 8 + 1));
       }});

  // -- the records table's index
  add({"index_magic", I, K::Index, true, S::Exact, [](std::string& b) { b[0] = 'X'; }});
  add({"index_state_count_flipped", I, K::Index, true, S::Exact, [](std::string& b) { Flip(b, 24); }});
  add({"index_state_left_dirty", I, K::Index, true, S::Exact,
       [](std::string& b) { robust::PutLe32(b, 20, 1); SealState(b); }});
  add({"index_state_stale_count", I, K::Index, true, S::Exact,
       [](std::string& b) { robust::PutLe32(b, 24, Le32(b, 24) - 1); SealState(b); }});
  add({"index_root_overwritten", I, K::Index, true, S::Exact, [](std::string& b) { robust::PutLe32(b, 40, 0x00FFFFFF); }});
  add({"index_root_out_of_range", I, K::Index, true, S::Exact,
       [](std::string& b) { robust::PutLe32(b, 40, static_cast<uint32_t>(b.size() / kPage + 5)); SealState(b); }});
  add({"index_root_to_tag_list", I, K::Index, true, S::Exact,
       [](std::string& b) { robust::PutLe32(b, 40, 1); SealState(b); }});
  add({"index_one_tag_list_damaged", I, K::Index, false, S::Exact, [](std::string& b) { Flip(b, kPage + 20); }});
  add({"index_both_tag_lists_damaged", I, K::IndexLost, true, S::Exact,
       [](std::string& b) { Flip(b, kPage + 20); Flip(b, 2 * kPage + 20); }});
  add({"index_leaf_middle", I, K::Index, true, S::Exact,
       [](std::string& b) { Flip(b, size_t(FirstLeaf(b)) * kPage + kPage / 2 + 101); }});
  add({"index_root_page_middle", I, K::Index, true, S::Exact,
       [](std::string& b) { Flip(b, size_t(RootOf(b)) * kPage + kPage - 40); }});
  add({"index_leaf_count_huge", I, K::Index, true, S::Exact,
       [](std::string& b) { robust::PutLe16(b, size_t(FirstLeaf(b)) * kPage + 6, 0xFFFF); }});
  // Damage that keeps a valid checksum: the page's own bounds must hold.
  add({"index_leaf_count_huge_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = FirstLeaf(b);
         robust::PutLe16(b, size_t(p) * kPage + 6, 0xFFFF);
         SealPage(b, p);
       }});
  add({"index_leaf_slot_outside_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = FirstLeaf(b);
         robust::PutLe16(b, size_t(p) * kPage + 20, kPage - 2);
         SealPage(b, p);
       }});
  add({"index_leaf_key_length_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = FirstLeaf(b);
         robust::PutLe16(b, size_t(p) * kPage + Le16(b, size_t(p) * kPage + 20), 0x7FFF);
         SealPage(b, p);
       }});
  // Entries naming no record of the table: record 0, and one past the last.
  add({"index_leaf_entry_record_zero_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = FirstLeaf(b);
         const size_t entry = size_t(p) * kPage + Le16(b, size_t(p) * kPage + 20 + 2 * 5);
         robust::PutLe32(b, entry + 2 + Le16(b, entry), 0);
         SealPage(b, p);
       }});
  add({"index_leaf_entry_record_past_end_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = FirstLeaf(b);
         const size_t entry = size_t(p) * kPage + Le16(b, size_t(p) * kPage + 20 + 2 * 5);
         robust::PutLe32(b, entry + 2 + Le16(b, entry), 61);
         SealPage(b, p);
       }});
  add({"index_root_child_out_of_range_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = RootOf(b);
         const size_t page = size_t(p) * kPage;
         if (b.at(page + 4) != 2) throw std::runtime_error("test data: the root is no branch");
         const size_t entry = page + Le16(b, page + 20);
         robust::PutLe32(b, entry + 2 + Le16(b, entry) + 4, 0x7FFFFFFF);
         SealPage(b, p);
       }});
  // A leaf chain that loops: a walk along it must end.
  add({"index_leaf_next_to_itself_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = FirstLeaf(b);
         robust::PutLe32(b, size_t(p) * kPage + 16, p);
         SealPage(b, p);
       }});
  add({"index_root_child_to_itself_sealed", I, K::Index, true, S::Exact, [](std::string& b) {
         const uint32_t p = RootOf(b);
         const size_t page = size_t(p) * kPage;
         const size_t entry = page + Le16(b, page + 20);
         robust::PutLe32(b, entry + 2 + Le16(b, entry) + 4, p);  // a loop
         SealPage(b, p);
       }});

  // -- the catalog-names table and its unique tag
  add({"catalogs_count_one_more", C, K::Table, true, S::Consistent,
       [](std::string& b) { robust::PutLe32(b, 4, Le32(b, 4) + 1); }});
  add({"catalogs_terminator_overwritten", C, K::Table, true, S::Consistent,
       [](std::string& b) { b[Layout(b).terminator] = 'A'; }});
  add({"catalogs_index_state_flipped", CI, K::Index, true, S::Exact, [](std::string& b) { Flip(b, 30); }});
  add({"catalogs_index_leaf_middle", CI, K::Index, true, S::Exact,
       [](std::string& b) { Flip(b, size_t(FirstLeaf(b)) * kPage + kPage - 30); }});

  // -- every file cut short
  struct Cut {
    const char* file;
    Kind kind;
  };
  for (const Cut& cut : {Cut{R, K::Table}, Cut{M, K::Table}, Cut{I, K::Index}, Cut{C, K::Table}, Cut{CI, K::Index}}) {
    const std::string f = cut.file;
    const bool index = cut.kind == K::Index;
    const bool memo = f == M;
    auto cutTo = [](std::function<size_t(const std::string&)> len) {
      return [len](std::string& b) { b.resize(std::min(b.size(), len(b))); };
    };
    std::string stem = f.substr(0, f.find('.')) + "_" + f.substr(f.find('.') + 1);
    for (size_t n : {0, 1, 31, 32})
      add({stem + "_cut_to_" + std::to_string(n), cut.file, index ? K::IndexLost : K::Table, true, S::Exact,
           cutTo([n](const std::string&) { return n; })});
    // Just short of the header: the table's fields, the memo header, the
    // index's state page.
    add({stem + "_cut_inside_header", cut.file, index ? K::IndexLost : K::Table, true, S::Exact,
         cutTo([index, memo](const std::string& b) -> size_t {
           return index ? kPage - 1 : memo ? 511 : Le16(b, 8) - 1;
         })});
    // Inside a record, inside the last memo, inside a tree page.
    add({stem + "_cut_in_the_middle", cut.file, cut.kind, true, index ? S::Exact : S::Consistent,
         cutTo([index, memo](const std::string& b) -> size_t {
           if (index) return b.size() - kPage / 2;
           if (memo) return size_t(MemoBlockOf(LastMemoRecord())) * MemoBlockSize() + 20;
           return Le16(b, 8) + size_t(Le16(b, 10)) * (Le32(b, 4) / 2) + 7;
         })});
    // The last byte: a table loses only its end mark, which other tools
    // leave out too; a memo file loses padding after the last memo.
    add({stem + "_cut_last_byte", cut.file, cut.kind, index, index || !memo ? S::Exact : S::Consistent,
         cutTo([](const std::string& b) { return b.size() - 1; })});
  }
  return cs;
}

// ---- running one case in a child process ------------------------------------------

std::string Oneline(std::string s) {
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}

std::vector<std::string> Files(const std::string& table) {
  if (table == R) return {R, M, I};
  return {C, CI};
}

std::map<std::string, std::string> Snapshot(const robust::TempFolder& folder, const std::string& table) {
  std::map<std::string, std::string> out;
  for (const std::string& f : Files(table))
    out[f] = robust::Exists(folder.File(f)) ? robust::ReadFile(folder.File(f)) : "<none>";
  return out;
}

std::string Compare(const std::vector<Row>& got, const std::vector<Row>& want, const std::string& what) {
  if (got.size() != want.size())
    return what + ": " + std::to_string(got.size()) + " records, the sound table has " + std::to_string(want.size());
  for (size_t i = 0; i < got.size(); ++i)
    if (!(got[i] == want[i]))
      return what + ": record " + std::to_string(i + 1) + " is record " + std::to_string(got[i].recno) +
             ", the sound table has record " + std::to_string(want[i].recno) +
             (got[i].recno == want[i].recno ? " (with other values)" : "");
  return {};
}

std::vector<std::string> RunCase(const Case& c) {
  std::vector<std::string> fails;
  robust::TempFolder folder("corruption");
  std::string damaged = Original(c.file);
  c.damage(damaged);
  if (damaged == Original(c.file)) return {"test data: the damage changes nothing"};
  // The copies keep the sound files' modification times, as damage on the
  // disk would: an index that keeps its table's time would otherwise be
  // rebuilt as out of date before its damage is ever read.
  for (const auto& [name, bytes] : pristine->bytes) {
    robust::WriteFile(folder.File(name), name == c.file ? damaged : bytes);
    robust::KeepModified(pristine->folder.File(name), folder.File(name));
  }

  const std::string table = TableOf(c.file);
  const View& sound = table == R ? pristine->records : pristine->catalogs;
  std::vector<std::string> named = c.named;
  named.push_back(c.file);

  // CheckTable: read-only, and it sees the damage.
  const auto before = Snapshot(folder, table);
  std::vector<std::string> report;
  try {
    report = xbase::CheckTable(folder.File(table));
  } catch (const xbase::Error& e) {
    // A file it cannot even read is a finding too, if the message says which.
    report.push_back(e.what());
    if (!Named(e.what(), named) && !Named(e.what(), {table}))
      fails.push_back("CheckTable threw without naming the file: " + Oneline(e.what()));
  }
  if (Snapshot(folder, table) != before) fails.push_back("CheckTable changed a file");
  if (c.detect && report.empty()) {
    fails.push_back("CheckTable finds nothing wrong");
  } else if (c.detect && c.kind == Kind::Table) {
    // The report must be about the damaged table or memo file, not only
    // about an index that no longer matches it. A memo problem may be told
    // from either side: the memo file, or the record pointing into it.
    std::vector<std::string> about = named;
    if (std::string(c.file) == M) about.push_back(R);
    if (std::none_of(report.begin(), report.end(), [&](const std::string& l) { return Named(l, about); }))
      fails.push_back("CheckTable reports only: " + Oneline(report[0]));
  }

  // Open and read everything.
  std::vector<std::string> problems;
  View got;
  std::string error;
  try {
    got = Look(folder.path(), table, problems);
  } catch (const xbase::Error& e) {
    error = e.what();
  }
  for (const std::string& p : problems) fails.push_back("open works but " + p);
  const auto after = Snapshot(folder, table);
  for (const std::string& f : Files(table)) {
    const bool isIndex = f == I || f == CI;
    if (!isIndex && after.at(f) != before.at(f)) fails.push_back("opening and reading wrote to " + f);
  }

  auto expectView = [&](const View& v, const std::string& when) {
    if (c.sound == Sound::Exact || c.kind != Kind::Table) {
      for (const std::string& d : {Compare(v.all, sound.all, "file order" + when),
                                   Compare(v.ordered, sound.ordered, "tag order" + when)})
        if (!d.empty()) fails.push_back(d);
    }
  };

  if (std::getenv("VANTRELL_CORRUPTION_VERBOSE")) {
    fails.push_back("info: CheckTable: " + (report.empty() ? std::string("nothing") : report[0]) +
                    (report.size() > 1 ? " (+" + std::to_string(report.size() - 1) + " more)" : ""));
    fails.push_back("info: open: " + (error.empty() ? "works, " + std::to_string(got.all.size()) + " records" : error));
  }
  if (!error.empty()) {
    if (!Named(error, named)) fails.push_back("the error does not name " + std::string(c.file) + ": " + Oneline(error));
    if (c.kind == Kind::Index) {
      // Found deep in a tree: the index is marked for rebuilding, and the next
      // open rebuilds it.
      std::vector<std::string> again;
      try {
        got = Look(folder.path(), table, again);
        for (const std::string& p : again) fails.push_back("the second open works but " + p);
        expectView(got, " (second open)");
      } catch (const xbase::Error& e) {
        fails.push_back("the index is not rebuilt at the next open either: " + Oneline(e.what()));
      }
    }
  } else {
    expectView(got, "");
  }

  // A rebuilt index checks clean.
  if (c.kind == Kind::Index && c.detect && fails.empty()) {
    const std::vector<std::string> after2 = xbase::CheckTable(folder.File(table));
    for (const std::string& p : after2) fails.push_back("CheckTable after the rebuild: " + p);
  }
  return fails;
}

// In a child process started by Isolated: the file its lines go to.
std::string g_isolatedLines;

// isolated LINES TEST: runs the one test TEST of this program, whose
// Isolated call runs its body here and writes the lines to the file LINES.
VANTRELL_CHILD_ROLE(RunIsolated, "isolated") {
  if (args.size() != 2) return 2;
  g_isolatedLines = args[0];
  // The test's own report stays out of the pipe nobody reads.
  if (!std::freopen((args[0] + ".out").c_str(), "w", stdout)) return 2;
  std::string self = testsupport::SelfPath(), filter = "--gtest_filter=" + args[1];
  char* argv[] = {self.data(), filter.data(), nullptr};
  int argc = 2;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// Runs body in a child process (this test again); returns its failure
// lines, or why it died.
std::vector<std::string> Isolated(const std::function<std::vector<std::string>()>& body, int seconds) {
  if (!g_isolatedLines.empty()) {
    std::string out;
    try {
      for (const std::string& l : body()) out += Oneline(l) + "\n";
    } catch (const std::exception& e) {
      out += "threw something other than xbase::Error: " + Oneline(e.what()) + "\n";
    } catch (...) {
      out += "threw something other than an exception\n";
    }
    robust::WriteFile(g_isolatedLines, out + "\x04\n");
    return {};
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  robust::TempFolder scratch("isolated");
  const std::string file = scratch.File("lines");
  testsupport::ChildProcess child;
  if (!testsupport::StartRole(child, "isolated", {file, std::string(test->test_suite_name()) + "." + test->name()},
                              scratch.File("errors")))
    return {"cannot start a child process"};
  std::optional<int> status = child.WaitFor(seconds * 1000);
  const bool hung = !status;
  if (hung) status = child.Kill();
  const std::string text = robust::Exists(file) ? robust::ReadFile(file) : std::string();
  std::vector<std::string> lines;
  bool finished = false;
  for (size_t at = 0; at < text.size();) {
    const size_t nl = text.find('\n', at);
    std::string l = text.substr(at, nl - at);
    at = nl == std::string::npos ? text.size() : nl + 1;
    if (l == "\x04") finished = true;
    else lines.push_back(l);
  }
  if (hung) lines.push_back("no answer within " + std::to_string(seconds) + " s: it hangs");
  else if (*status < 0) lines.push_back("crashed");
  else if (!finished || *status != 0)
    lines.push_back("ended before finishing (exit status " + std::to_string(*status) + ")");
  return lines;
}

class Corruption : public ::testing::TestWithParam<Case> {
 public:
  static void SetUpTestSuite() {
    pristine = new Pristine;
    const std::string dir = pristine->folder.path();
    robust::BuildRecordsTable(dir, TestRecords(), {5, 17, 30});
    robust::BuildCatalogTable(dir, {"Music", "Documents", "Photos", "Backup", "Temporary", "Old"}, {5});
    for (const char* f : {R, M, I, C, CI}) pristine->bytes[f] = robust::ReadFile(pristine->folder.File(f));
    std::vector<std::string> problems;
    pristine->records = Look(dir, R, problems);
    pristine->catalogs = Look(dir, C, problems);
    for (const std::string& p : problems) ADD_FAILURE() << "the sound database: " << p;
    for (const char* t : {R, C})
      for (const std::string& p : xbase::CheckTable(pristine->folder.File(t)))
        ADD_FAILURE() << "CheckTable on the sound " << t << ": " << p;
    // The files must be what CheckTable saw: opening a sound database writes nothing.
    for (const char* f : {R, M, I, C, CI})
      EXPECT_EQ(robust::ReadFile(pristine->folder.File(f)), pristine->bytes[f]) << f << " changed by a clean open";
    // A copy that keeps the files' times opens without rebuilding its
    // index; otherwise no damage inside an index would ever be read.
    {
      robust::TempFolder copy("corruption-copy");
      for (const char* f : {R, M, I}) {
        robust::WriteFile(copy.File(f), pristine->bytes[f]);
        robust::KeepModified(pristine->folder.File(f), copy.File(f));
      }
      std::vector<std::string> copyProblems;
      Look(copy.path(), R, copyProblems);
      EXPECT_EQ(robust::ReadFile(copy.File(I)), pristine->bytes[I])
          << "a copy of the sound database rebuilds its index at open: the index cases test nothing";
    }
    ASSERT_EQ(pristine->records.all.size(), 60u);
    ASSERT_EQ(pristine->records.ordered.size(), 57u);
    const std::string& nsx = pristine->bytes[I];
    ASSERT_EQ(nsx.at(size_t(RootOf(nsx)) * kPage + 4), 2) << "the records tag's root is no branch page";
    ASSERT_EQ(pristine->catalogs.ordered.size(), 5u);
  }
  static void TearDownTestSuite() {
    delete pristine;
    pristine = nullptr;
  }
};

TEST_P(Corruption, IsReportedNeverTrusted) {
  const Case& c = GetParam();
  for (const std::string& f : Isolated([&] { return RunCase(c); }, 60)) {
    if (f.rfind("info: ", 0) == 0)
      std::cout << "  " << f << "\n";
    else
      ADD_FAILURE() << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, Corruption, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return i.param.name; });

// The index file removed: the table still opens in file order with all its
// records; asking for its tag is an error naming the tag, never a crash.
TEST(CorruptionMissing, IndexRemovedLeavesTheRecords) {
  robust::TempFolder folder("corruption-missing");
  robust::BuildRecordsTable(folder.path(), TestRecords(), {5});
  const auto records = robust::ReadFile(folder.File(R));
  std::remove(folder.File(I).c_str());
  for (const std::string& f : Isolated(
           [&] {
             std::vector<std::string> fails;
             std::vector<std::string> problems;
             std::vector<Row> rows = Walk(folder.path(), R, "", false, problems);
             if (rows.size() != TestRecords().size() - 1)
               fails.push_back(std::to_string(rows.size()) + " records in file order, " +
                               std::to_string(TestRecords().size() - 1) + " expected");
             try {
               Walk(folder.path(), R, robust::kRecordsTag, false, problems);
               if (!robust::Exists(folder.File(I))) fails.push_back("the tag opens without an index file");
             } catch (const xbase::Error& e) {
               if (!Named(e.what(), {robust::kRecordsTag, I}))
                 fails.push_back("the error names neither the tag nor the index: " + Oneline(e.what()));
             }
             for (const std::string& p : problems) fails.push_back(p);
             return fails;
           },
           60))
    ADD_FAILURE() << f;
  EXPECT_EQ(robust::ReadFile(folder.File(R)), records);
}

// The memo file removed: an error naming it, at open or when a memo is read.
TEST(CorruptionMissing, MemoRemovedIsNamed) {
  robust::TempFolder folder("corruption-missing");
  robust::BuildRecordsTable(folder.path(), TestRecords(), {});
  std::remove(folder.File(M).c_str());
  for (const std::string& f : Isolated(
           [&] {
             std::vector<std::string> fails, problems;
             try {
               Look(folder.path(), R, problems);
               fails.push_back("every memo reads without the memo file");
             } catch (const xbase::Error& e) {
               if (!Named(e.what(), {M})) fails.push_back("the error does not name " + std::string(M) + ": " + Oneline(e.what()));
             }
             try {
               if (xbase::CheckTable(folder.File(R)).empty()) fails.push_back("CheckTable finds nothing wrong");
             } catch (const xbase::Error& e) {
               if (!Named(e.what(), {M})) fails.push_back("CheckTable throws without naming " + std::string(M));
             }
             return fails;
           },
           60))
    ADD_FAILURE() << f;
  EXPECT_FALSE(robust::Exists(folder.File(M))) << "a memo file appeared";
}

}  // namespace

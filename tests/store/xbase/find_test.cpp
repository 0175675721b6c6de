// FindContaining: the search window's pass over every catalog; bulk reads
// and the file windows they read through.
#include <algorithm>
#include <cstdio>
#include <random>

#include "readwindow.h"
#include "fold.h"
#include "text.h"
#include "xbase_fixture.h"

#ifdef VANTRELL_HAVE_ICU
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#endif

namespace {

using namespace xbtest;

class FindTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    AddRecords({{"B", "MY REPORT", "/home/u/data/r1.txt", "", "", "annual numbers"},  // 1
                {"A", "notes", "/srv/Data/notes.txt", "", "", ""},                   // 2
                {"A", "report", "/home/u/misc/r.txt", "", "", ""},                   // 3
                {"A", "Report notes", "/home/u/r2.txt", "", "", "NUMBERS inside"},   // 4
                {"C", "Müller Bericht", "/x/MÜLLER.doc", "", "", ""},                // 5
                {"A", "old report", "/home/u/data/old.txt", "", "", ""}});           // 6
  }
  using Recnos = std::vector<uint32_t>;
};

TEST_F(FindTest, CaseInsensitiveAnywhereInTagOrder) {
  auto t = OpenRecords();
  // A/old report, A/report, A/Report notes, B/MY REPORT
  EXPECT_EQ(t->FindContaining("FLTITLE", "REPORT"), (Recnos{6, 3, 4, 1}));
  EXPECT_EQ(t->FindContaining("fltitle", "report", false), (Recnos{6, 3}));
  EXPECT_EQ(t->FindContaining("FLNAME", "data", false), (Recnos{6, 1}));
  EXPECT_EQ(t->FindContaining("FLNAME", "DATA"), (Recnos{2, 6, 1}));
  EXPECT_EQ(t->FindContaining("FLNAME", "müller"), (Recnos{5}));
  EXPECT_EQ(t->FindContaining("FLTITLE", "MÜLLER"), (Recnos{5}));
  EXPECT_TRUE(t->FindContaining("FLTITLE", "absent").empty());
}

// The one case folding of every search: full Unicode folding, with the dot
// of "İ" dropped after "i"; ASCII texts take the quick way and agree.
TEST(FoldedSearchTest, FullCaseFoldingAsUsersType) {
  const auto finds = [](const char* needle, const char* text) { return xbase::FoldedSearch(needle)(text); };
  EXPECT_TRUE(finds("\xC8\x99" "coala", "/d/\xC8\x98" "coala.txt")) << "Romanian comma below";
  EXPECT_TRUE(finds("\xEF\xBD\x81\xEF\xBD\x82\xEF\xBD\x83", "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3")) << "full-width";
  EXPECT_TRUE(finds("strasse", "/STRA\xC3\x9F" "E/")) << "sharp s is ss";
  EXPECT_TRUE(finds("STRA\xC3\x9F" "E", "hauptstrasse"));
  EXPECT_TRUE(finds("ss", "\xC3\x9F"));
  EXPECT_TRUE(finds("i", "\xC4\xB0")) << "dotted capital I";
  EXPECT_TRUE(finds("istanbul", "\xC4\xB0STANBUL"));
  EXPECT_TRUE(finds("\xC4\xB0stanbul", "istanbul"));
  EXPECT_TRUE(finds("istanbul", "i\xCC\x87stanbul")) << "the dot as a combining character";
  EXPECT_TRUE(finds("k", "\xE2\x84\xAA")) << "Kelvin sign";
  EXPECT_TRUE(finds("j", "\xC7\xB0")) << "folds to a letter and a combining mark";
  EXPECT_TRUE(finds("\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3")) << "final sigma";
  EXPECT_TRUE(finds("ff", "o\xEF\xAC\x80" "ice")) << "ligature";
  EXPECT_TRUE(finds("REPORT", "my report.txt"));
  EXPECT_TRUE(finds("ABC", "\xFF\xFE" "abc")) << "bytes that are no UTF-8 stay as they are";
  EXPECT_FALSE(finds("rep ort", "report"));
  EXPECT_FALSE(finds("\xC3\xA9", "e\xFF"));
  EXPECT_FALSE(finds("strasse", "stra\xC3\x9F"));
  EXPECT_FALSE(finds("", "anything")) << "an empty text occurs nowhere";
  // A character that needs folding anywhere in a long text, also in its
  // last bytes, and a needle longer than the quick search's steps.
  const std::string plain(40, 'x');
  for (size_t at = 0; at <= plain.size(); at += 3) {
    const std::string text = plain.substr(0, at) + "\xC3\x9F" + plain.substr(at);
    EXPECT_TRUE(finds("xss", text.c_str()) || at == 0) << at;
    EXPECT_TRUE(finds("ssx", text.c_str()) || at == plain.size()) << at;
  }
  EXPECT_TRUE(finds("abcdefghijklmnopqrstuvwxyzss", (std::string(20, '-') + "ABCDEFGHIJKLMNOPQRSTUVWXYZ\xC3\x9F").c_str()));
  EXPECT_EQ(xbase::FoldCase("\xC4\xB0Z STRA\xC3\x9F" "E"), "iz strasse");
}

// The sieve that lets the search skip records must offer every record the
// search finds, whatever the field's place in the record and the record's
// place in the stretch (the wide loads' ends, the byte-by-byte rest); and a
// stretch that cannot hold the text offers nothing.
TEST(FoldedSearchTest, SieveOffersEveryRecordTheSearchFinds) {
  const char* const pieces[] = {"a", "B", "s", "S", "k", "K", "j", "f", "I", "x", " ", "/", "0", "\xC3\x9F",
                                "\xC4\xB0", "\xE2\x84\xAA", "\xC7\xB0", "\xEF\xAC\x80", "\xC3\xA9", "\xCE\xA3",
                                "\xF0\x90\x90\x80", "\xFF", "\x80"};
  const char* const needles[] = {"s", "ab", "SS", "k", "j", "ff", "xa/0b", "i", "\xC3\xA9", "\xCF\x83", "a b", "b ",
                                 "abcdefghijklmnopqrstuvwxyz0123456789ab"};
  std::mt19937 random(7);
  for (int round = 0; round < 30000; ++round) {
    // Often a field that fills its record's end, and texts that fill the field.
    const size_t width = 1 + random() % 70, offset = random() % 40;
    const size_t stride = offset + width + (random() % 3 ? random() % 40 : 0);
    const size_t count = 1 + random() % 12;
    std::string column;
    while (column.size() < count * stride) column += pieces[random() % std::size(pieces)];
    column.resize(count * stride);
    for (size_t r = 0; r < count; ++r) {
      std::string text;
      for (size_t n = random() % (width + 2); n > 0; --n) text += pieces[random() % std::size(pieces)];
      text.resize(std::min(text.size(), width));
      column.replace(r * stride + offset, width, text + std::string(width - text.size(), ' '));
    }
    const xbase::FoldedSearch search(needles[random() % std::size(needles)]);
    std::vector<size_t> offered;
    search.Sieve(xbase::FieldColumn{column.data(), count, stride, offset, width},
                 [&](size_t r) { offered.push_back(r); });
    ASSERT_TRUE(std::is_sorted(offered.begin(), offered.end()));
    ASSERT_EQ(std::adjacent_find(offered.begin(), offered.end()), offered.end());
    for (size_t r = 0; r < count; ++r) {
      const char* field = column.data() + r * stride + offset;
      const bool found = search(std::string_view(field, xbase::PaddedLength(field, width)));
      ASSERT_TRUE(!found || std::binary_search(offered.begin(), offered.end(), r))
            << "record " << r << " of " << count << ", width " << width << ", at " << offset << ", stride " << stride
            << ": " << testing::PrintToString(std::string(field, width)) << " for "
            << testing::PrintToString(search.Folded());
    }
  }
  const std::string plain = std::string(100, ' ') + "/Home/Users/Photos 2019/" + std::string(1000, 'x');
  std::vector<size_t> offered;
  xbase::FoldedSearch("zqxjv").Sieve(xbase::FieldColumn{plain.data(), 4, 280, 10, 250},
                                     [&](size_t r) { offered.push_back(r); });
  EXPECT_TRUE(offered.empty());
}

// The engine's own folding table against ICU's full case folding: every
// Unicode scalar value alone, then random mixes of letters, characters and
// bytes that are not UTF-8 (kept as they are by both).
TEST(FoldedSearchTest, FoldsEveryCharacterAsTheUnicodeLibrary) {
#ifndef VANTRELL_HAVE_ICU
  GTEST_SKIP() << "ICU, the reference folding, was not found when this test was built";
#else
  UErrorCode status = U_ZERO_ERROR;
  UCaseMap* map = ucasemap_open("", U_FOLD_CASE_DEFAULT, &status);
  ASSERT_TRUE(U_SUCCESS(status));
  const auto reference = [&](const std::string& s) {
    std::string out(s.size() * 3 + 16, '\0');
    UErrorCode st = U_ZERO_ERROR;
    const int32_t n = ucasemap_utf8FoldCase(map, out.data(), (int32_t)out.size(), s.data(), (int32_t)s.size(), &st);
    EXPECT_TRUE(U_SUCCESS(st));
    out.resize((size_t)n);
    // Ours drops the dot above that follows an "i".
    for (size_t at = 0; (at = out.find("i\xCC\x87", at)) != std::string::npos;) out.erase(++at, 2);
    return out;
  };
  const auto utf8 = [](char32_t c) {
    std::string s;
    if (c < 0x80) return s += (char)c;
    if (c < 0x800) {
      s += (char)(0xC0 | (c >> 6));
    } else {
      if (c < 0x10000) {
        s += (char)(0xE0 | (c >> 12));
      } else {
        s += (char)(0xF0 | (c >> 18));
        s += (char)(0x80 | ((c >> 12) & 0x3F));
      }
      s += (char)(0x80 | ((c >> 6) & 0x3F));
    }
    return s += (char)(0x80 | (c & 0x3F));
  };
  // Characters newer than the table are left out where ICU is newer.
  UVersionInfo tableVersion{};
  u_versionFromString(tableVersion, std::string(xbase::FoldingUnicodeVersion()).c_str());
  std::vector<std::string> wrong;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    UVersionInfo age;
    u_charAge((UChar32)c, age);
    if (std::lexicographical_compare(tableVersion, tableVersion + 4, age, age + 4)) continue;
    const std::string one = utf8(c);
    if (xbase::FoldCase(one) != reference(one)) {
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", (unsigned)c);
      wrong.push_back(name);
    }
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " characters fold otherwise, the first " << wrong.front();
  const char* const pieces[] = {"A", "z", "Z", "@", "[", "`", "{", " ", "/", "0", "STRA\xC3\x9F" "E",
                                "\xC4\xB0", "i", "\xCC\x87", "\xCE\xA3", "\xE1\xBE\x88", "\xEF\xAC\x83",
                                "\xF0\x90\x90\x80", "\xF0\x9E\xA4\xA1", "\xE2\x84\xAA", "\xC3\xA9",
                                "\xFF", "\xC1\x81", "\xE0\x81\x81", "\xF0\x80\x81\x81", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x84", "\xC3",
                                "\x80", "\xF0\x90\x90"};
  std::mt19937 random(19);
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (int n = (int)(random() % 40); n > 0; --n) text += pieces[random() % std::size(pieces)];
    ASSERT_EQ(xbase::FoldCase(text), reference(text)) << testing::PrintToString(text);
  }
  ucasemap_close(map);
#endif
}

TEST_F(FindTest, NaturalOrderFollowsTheFile) {
  auto t = OpenRecords("");
  EXPECT_EQ(t->FindContaining("FLTITLE", "report"), (Recnos{1, 3, 4, 6}));
}

TEST_F(FindTest, DeletedRecordsAreLeftOut) {
  auto t = OpenRecords();
  ASSERT_TRUE(t->Locate("FLTITLE", "report"));
  t->Delete();
  EXPECT_EQ(t->FindContaining("FLTITLE", "report"), (Recnos{6, 4, 1}));
  // The same without a tag, whose condition cannot leave them out.
  auto n = OpenRecords("");
  EXPECT_EQ(n->FindContaining("FLTITLE", "report"), (Recnos{1, 4, 6}));
}

TEST_F(FindTest, QueryDoesNotRestrictTheSearch) {
  auto t = OpenRecords();
  t->SetQuery("Catalog = \"B  \"");
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->FindContaining("FLTITLE", "report"), (Recnos{6, 3, 4, 1}));
  EXPECT_EQ(t->RecordCount(), 1) << "the query stays set";
}

TEST_F(FindTest, SearchesMemoText) {
  auto t = OpenRecords();
  EXPECT_EQ(t->FindContaining("FLDESC", "numbers"), (Recnos{4, 1}));
}

}  // namespace

namespace {

using namespace xbtest;

// Bulk reads and many-hit searches over a table whose natural order is far
// from its tag order, so that batches gather scattered records.
class BulkReadTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    auto t = OpenRecords("", true);
    t->BeginBatch();
    // Titles run backwards through the file; every third record has a
    // description, every fifth a path holding "hit".
    for (int i = 0; i < kRecords; ++i) {
      char title[16];
      std::snprintf(title, sizeof title, "t%06d", kRecords - i);
      Add(*t, {i % 2 ? "A" : "B", title, i % 5 ? "/p/x" + std::to_string(i) : "/p/hit" + std::to_string(i), "", "",
               i % 3 ? "" : "desc " + std::to_string(i)});
    }
    t->EndBatch();
    t->Close();
  }
  static constexpr int kRecords = 24000;  // more than one batch of these records

  // recno:title:description of every visible record, First to Eof.
  static std::vector<std::string> Walk(xbase::Table& t) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next())
      out.push_back(std::to_string(t.RecNo()) + ":" + t.FieldByName("FLTITLE") + ":" + t.FieldByName("FLDESC"));
    return out;
  }
  static std::vector<std::string> Bulk(xbase::Table& t) {
    std::vector<std::string> out;
    const int title = t.FieldIndex("FLTITLE"), desc = t.FieldIndex("FLDESC");
    t.ForEachRecord([&](const xbase::RecordRef& r) {
      out.push_back(std::to_string(r.recno) + ":" + std::string(r.Text(title)) + ":" + r.Memo(desc));
      return true;
    });
    return out;
  }
};

TEST_F(BulkReadTest, ForEachRecordHandsOutTheViewInOrder) {
  auto t = OpenRecords();
  ASSERT_TRUE(t->Locate("FLTITLE", "t000100"));
  t->Delete();
  t->First();
  t->MoveBy(7);
  const uint32_t here = t->RecNo();
  const std::vector<std::string> bulk = Bulk(*t);
  EXPECT_EQ(t->RecNo(), here) << "the cursor does not move";
  EXPECT_EQ(bulk, Walk(*t)) << "tag order, a deleted record left out";

  t->SetQuery("Catalog = \"A\"");
  EXPECT_EQ(Bulk(*t), Walk(*t)) << "a key range of the tag";
  int seen = 0;
  t->ForEachRecord([&](const xbase::RecordRef&) { return ++seen < 3; });
  EXPECT_EQ(seen, 3) << "f stops the reading";

  auto natural = OpenRecords("");
  EXPECT_EQ(Bulk(*natural), Walk(*natural));

  // Given numbers in a given order: repeats kept, numbers past the end passed over.
  std::vector<std::string> got;
  natural->ForEachRecordOf({20000, 3, 99999, 3, 1}, [&](const xbase::RecordRef& r) {
    got.push_back(std::to_string(r.recno) + ":" + r.Memo(natural->FieldIndex("FLDESC")));
    return true;
  });
  EXPECT_EQ(got, (std::vector<std::string>{"20000:", "3:", "3:", "1:desc 0"}));
}

// Several batches, each read by another thread while the caller goes
// through the one before (descriptions too, once the caller reads them):
// every given record with its description, in the given order. Another
// program then cuts the table short during such a read: it stops with
// Corrupt (never ends the program or hands out bytes the file no longer
// holds), the records up to there handed out in order.
TEST_F(BulkReadTest, BatchesReadAheadComeInOrderAndACutTableIsReported) {
  auto natural = OpenRecords("");
  const int desc = natural->FieldIndex("FLDESC");
  std::vector<uint32_t> wanted;  // every record, again and again, both ways
  for (int round = 0; round < 8; ++round)
    for (uint32_t r = 1; r <= (uint32_t)kRecords; ++r) wanted.push_back(round % 2 ? r : (uint32_t)kRecords + 1 - r);
  size_t seen = 0, wrong = 0;
  natural->ForEachRecordOf(wanted, [&](const xbase::RecordRef& r) {
    const uint32_t i = r.recno - 1;
    wrong += r.recno != wanted[seen++] || r.Memo(desc) != (i % 3 ? "" : "desc " + std::to_string(i));
    return true;
  });
  EXPECT_EQ(seen, wanted.size());
  EXPECT_EQ(wrong, 0u);

  seen = wrong = 0;
  const xbase::ErrorCode code = CatchError([&] {
                                  natural->ForEachRecordOf(wanted, [&](const xbase::RecordRef& r) {
                                    if (seen == 0) {
                                      xbase::File other;
                                      other.Open(RecordsPath(), xbase::File::Mode::ReadWrite);
                                      other.Truncate(other.Size() / 2);
                                    }
                                    wrong += r.recno != wanted[seen++];
                                    return true;
                                  });
                                }).code();
  EXPECT_EQ(code, xbase::ErrorCode::Corrupt);
  EXPECT_EQ(wrong, 0u);
  EXPECT_GT(seen, 0u);
  EXPECT_LT(seen, wanted.size());
}

// The table is large enough for the pass to be shared among threads and to
// be looked at mapped, but for the stretch at its end, which is read: hits
// in every stretch, ordered by a walk of the tag (many) or by key (few).
TEST_F(BulkReadTest, HitsComeInTheTagOrder) {
  auto t = OpenRecords();
  for (const std::string needle : {"hit", "hit1"}) {
    std::vector<uint32_t> expected;
    for (t->First(); !t->Eof(); t->Next())
      if (t->FieldByName("FLNAME").find(needle) != std::string::npos) expected.push_back(t->RecNo());
    EXPECT_EQ(t->FindContaining("FLNAME", needle == "hit" ? "HIT" : "Hit1"), expected) << needle;
  }
  // In the last stretch: t000005 comes before t000010.
  EXPECT_EQ(t->FindContaining("FLNAME", "hit2399"), (std::vector<uint32_t>{23996, 23991}));
}

// Stretches of a file through a read window: split between one read and
// the next, with bytes read ahead, at the very end, past the end, after the
// file grew and after it was cut short.
using ReadWindowTest = XbaseTest;

TEST_F(ReadWindowTest, StretchesComeOutAsTheFileHoldsThem) {
  const std::string path = Folder() + "/bytes.bin";
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (char)(i * 131 + (i >> 9));
  WriteFileBytes(path, bytes);
  xbase::File f;
  f.Open(path, xbase::File::Mode::ReadOnly);
  const size_t window = 65536 + 7;
  xbase::ReadWindow w(f, window);
  const auto expect = [&](uint64_t at, size_t n, uint64_t readTo = 0) {
    EXPECT_EQ(std::string(w.Get(at, n, readTo), n), bytes.substr(at, n)) << "at " << at << ", " << n << " bytes";
  };
  expect(100, window);
  expect(window + 50, 10, window + 5000);
  expect(window + 4000, 2000);  // split between what was read ahead and the next
  expect(bytes.size() - 40, 40, bytes.size() + 5000);
  expect(5, 10);
  EXPECT_EQ(CatchError([&] { w.Get(bytes.size() - 10, 20); }).code(), xbase::ErrorCode::Corrupt);

  const std::string more(200000, 'm');
  {
    xbase::File writer;
    writer.Open(path, xbase::File::Mode::ReadWrite);
    writer.WriteAt(bytes.size(), more.data(), more.size());
  }
  bytes += more;
  expect(bytes.size() - more.size() - 10, 20);
  expect(bytes.size() - 1, 1);
  {
    xbase::File writer;
    writer.Open(path, xbase::File::Mode::ReadWrite);
    writer.Truncate(1000);
  }
  w.Forget();
  EXPECT_EQ(CatchError([&] { w.Get(900, 200); }).code(), xbase::ErrorCode::Corrupt);
  expect(10, 20, 5000);
}

}  // namespace

// The bytes of the files the engine writes: the table (.dbf) and the memo
// file (.SMT), read back without the engine. Other DBF tools read these files,
// so every offset here is a promise.
#include <ctime>
#include <filesystem>
#include <tuple>

#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::ErrorCode;

struct Ymd {
  int y, m, d;
  bool operator==(const Ymd&) const = default;
};

Ymd Today() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

struct FieldBytes {
  std::string name;
  char type;
  uint32_t offset;
  int width;
  int decimals;
};

// Field descriptors as stored, up to the 0x0D terminator.
std::vector<FieldBytes> Descriptors(const std::string& b) {
  std::vector<FieldBytes> out;
  for (size_t at = 32; at + 32 <= b.size() && b[at] != '\x0D'; at += 32) {
    std::string raw = b.substr(at, 11);
    std::string name = raw.substr(0, raw.find('\0'));
    out.push_back({name, b[at + 11], Le32(b, at + 12), static_cast<uint8_t>(b[at + 16]),
                   static_cast<uint8_t>(b[at + 17])});
  }
  return out;
}

struct MemoRef {
  bool blank = true;  // no block: blanks (or zero)
  uint32_t block = 0;
  bool wellFormed = true;
};

// The memo field of a record: 10 ASCII digits (leading blanks or zeros).
MemoRef ParseMemoField(const std::string& f) {
  MemoRef r;
  if (f.size() != 10) {
    r.wellFormed = false;
    return r;
  }
  size_t i = 0;
  while (i < f.size() && f[i] == ' ') ++i;
  if (i == f.size()) return r;
  for (size_t j = i; j < f.size(); ++j) {
    if (f[j] < '0' || f[j] > '9') {
      r.wellFormed = false;
      return r;
    }
  }
  r.block = static_cast<uint32_t>(std::stoul(f.substr(i)));
  r.blank = r.block == 0;
  return r;
}

// Reads the memo stored at `block` in the memo file image; checks its block
// header on the way.
std::string MemoAt(const std::string& smt, uint32_t block) {
  uint16_t blockSize = Be16(smt, 6);
  size_t at = static_cast<size_t>(block) * blockSize;
  EXPECT_GE(at, 512u) << "memo block " << block << " lies inside the 512-byte header";
  EXPECT_LE(at + 8, smt.size()) << "memo block " << block << " past the end of the file";
  if (at + 8 > smt.size()) return {};
  EXPECT_EQ(Be32(smt, at), 1u) << "memo block " << block << " is not of type text";
  uint32_t len = Be32(smt, at + 4);
  EXPECT_LE(at + 8 + len, smt.size()) << "memo at block " << block << " runs past the end";
  if (at + 8 + len > smt.size()) return {};
  return smt.substr(at + 8, len);
}

class FormatTest : public XbaseTest {
 protected:
  static constexpr int kRecLen = 1 + 20 + 80 + 255 + 10 + 21 + 10;
  static constexpr int kFields = 6;

  // Offset of record n (1-based) in the table image.
  size_t RecordAt(const std::string& dbf, uint32_t n) const {
    return Le16(dbf, 8) + static_cast<size_t>(n - 1) * Le16(dbf, 10);
  }
  // A field of record n, raw bytes.
  std::string RawField(const std::string& dbf, uint32_t n, const std::string& field) const {
    const auto fields = Descriptors(dbf);
    for (const auto& f : fields)
      if (f.name == field) return dbf.substr(RecordAt(dbf, n) + f.offset, f.width);
    ADD_FAILURE() << "no field " << field;
    return {};
  }
};

TEST_F(FormatTest, HeaderOfANewRecordsTable) {
  Ymd before = Today();
  MakeRecordsTable();
  Ymd after = Today();
  const std::string b = ReadFileBytes(RecordsPath());
  ASSERT_GE(b.size(), 32u + 32u * kFields + 1);

  EXPECT_EQ(static_cast<uint8_t>(b[0]), 0xF5) << "version byte";
  Ymd stamped{1900 + static_cast<uint8_t>(b[1]), static_cast<uint8_t>(b[2]),
              static_cast<uint8_t>(b[3])};
  EXPECT_TRUE(stamped == before || stamped == after)
      << "header date " << stamped.y << "-" << stamped.m << "-" << stamped.d;
  EXPECT_EQ(Le32(b, 4), 0u) << "record count";
  EXPECT_EQ(Le16(b, 10), kRecLen) << "record length";
  const uint16_t headerLen = Le16(b, 8);
  EXPECT_GE(headerLen, 32 + 32 * kFields + 1);
  EXPECT_EQ(b[32 + 32 * kFields], '\x0D') << "field descriptor terminator";

  const auto fields = Descriptors(b);
  ASSERT_EQ(fields.size(), static_cast<size_t>(kFields));
  const std::vector<std::tuple<std::string, char, int>> want = {
      {"CATALOG", 'C', 20}, {"FLTITLE", 'C', 80}, {"FLNAME", 'C', 255},
      {"FLSIZE", 'C', 10},  {"FLDATE", 'C', 21},  {"FLDESC", 'M', 10}};
  uint32_t offset = 1;  // after the deletion flag
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(std::get<0>(want[i]));
    EXPECT_EQ(fields[i].name, std::get<0>(want[i]));
    EXPECT_EQ(fields[i].type, std::get<1>(want[i]));
    EXPECT_EQ(fields[i].width, std::get<2>(want[i]));
    EXPECT_EQ(fields[i].decimals, 0);
    EXPECT_EQ(fields[i].offset, offset);
    // The name is NUL padded to its 11 bytes.
    EXPECT_EQ(b.substr(32 + 32 * i + fields[i].name.size(), 11 - fields[i].name.size()),
              std::string(11 - fields[i].name.size(), '\0'));
    offset += std::get<2>(want[i]);
  }
  // An empty table has no records after the header (at most the end mark).
  EXPECT_LE(b.size(), headerLen + 1u);

  // The memo file is created with the table: a bare 512-byte header.
  const std::string smt = ReadFileBytes(xbase::MemoPathFor(RecordsPath()));
  ASSERT_GE(smt.size(), 512u);
  const uint16_t blockSize = Be16(smt, 6);
  ASSERT_GT(blockSize, 0);
  EXPECT_EQ(static_cast<uint64_t>(Be32(smt, 0)) * blockSize, (512u + blockSize - 1) / blockSize * blockSize)
      << "next free block of an empty memo file is the first block after the header";
}

TEST_F(FormatTest, MemoAndIndexPathsSitBesideTheTable) {
  EXPECT_EQ(xbase::MemoPathFor("/x/y/VTLDataA.dbf"), "/x/y/VTLDataA.SMT");
  EXPECT_EQ(xbase::IndexPathFor("/x/y/VTLDataA.dbf"), "/x/y/VTLDataA.nsx");
}

TEST_F(FormatTest, FieldNamesAreStoredUpperCase) {
  MakeCatalogTable();
  const std::string b = ReadFileBytes(CatalogsPath());
  const auto fields = Descriptors(b);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].name, "CATALOG");
  EXPECT_EQ(fields[0].width, 20);
  EXPECT_EQ(Le16(b, 10), 21);
  auto t = OpenCatalogs();
  ASSERT_EQ(t->Fields().size(), 1u);
  EXPECT_EQ(t->Fields()[0].name, "CATALOG");
  // A table without memo fields gets no memo file.
  EXPECT_FALSE(std::filesystem::exists(xbase::MemoPathFor(CatalogsPath())));
}

TEST_F(FormatTest, RecordsOnDiskAfterAppendEditAndDelete) {
  MakeRecordsTable();
  AddRecords({{"Disk1", "Café au lait", "/home/u/café.txt", "1,234", "01/02/2024 10:11:12",
               "first description"},
              {"Disk1", "second", "/home/u/b", "", "", ""},
              {"Disk2", "third", "/home/u/c", "9", "", "third description"}});
  {
    auto t = OpenRecords("");
    t->First();
    t->Next();
    t->Delete();
    t->Close();
  }
  const std::string b = ReadFileBytes(RecordsPath());
  const uint16_t headerLen = Le16(b, 8);
  EXPECT_EQ(Le32(b, 4), 3u) << "a deleted record is still counted in the file";
  ASSERT_EQ(b.size(), headerLen + 3u * kRecLen + 1) << "file size from header";
  EXPECT_EQ(b.back(), '\x1A') << "end mark after the last record";

  EXPECT_EQ(b[RecordAt(b, 1)], ' ');
  EXPECT_EQ(b[RecordAt(b, 2)], '*');
  EXPECT_EQ(b[RecordAt(b, 3)], ' ');

  const std::string cafe = "Café au lait";  // UTF-8: 13 bytes
  ASSERT_EQ(cafe.size(), 13u);
  EXPECT_EQ(RawField(b, 1, "CATALOG"), "Disk1" + std::string(15, ' '));
  EXPECT_EQ(RawField(b, 1, "FLTITLE"), cafe + std::string(80 - 13, ' '));
  EXPECT_EQ(RawField(b, 1, "FLSIZE"), "1,234     ");
  EXPECT_EQ(RawField(b, 1, "FLDATE"), "01/02/2024 10:11:12  ");
  EXPECT_EQ(RawField(b, 2, "FLSIZE"), std::string(10, ' '));

  // Memo references and the memo file they point into.
  const std::string smt = ReadFileBytes(xbase::MemoPathFor(RecordsPath()));
  ASSERT_GE(smt.size(), 512u);
  const uint32_t nextFree = Be32(smt, 0);
  const uint16_t blockSize = Be16(smt, 6);
  ASSERT_GT(blockSize, 0);
  EXPECT_GE(static_cast<uint64_t>(nextFree) * blockSize, smt.size())
      << "next free block lies at or after the end of the file";

  MemoRef m1 = ParseMemoField(RawField(b, 1, "FLDESC"));
  MemoRef m2 = ParseMemoField(RawField(b, 2, "FLDESC"));
  MemoRef m3 = ParseMemoField(RawField(b, 3, "FLDESC"));
  ASSERT_TRUE(m1.wellFormed && m2.wellFormed && m3.wellFormed)
      << "memo fields hold 10 ASCII digits: [" << RawField(b, 1, "FLDESC") << "] ["
      << RawField(b, 3, "FLDESC") << "]";
  ASSERT_FALSE(m1.blank);
  ASSERT_FALSE(m3.blank);
  EXPECT_NE(m1.block, m3.block);
  EXPECT_LT(m1.block, nextFree);
  EXPECT_LT(m3.block, nextFree);
  EXPECT_EQ(MemoAt(smt, m1.block), "first description");
  EXPECT_EQ(MemoAt(smt, m3.block), "third description");
  if (!m2.blank) {
    EXPECT_EQ(MemoAt(smt, m2.block), "");
  }
}

TEST_F(FormatTest, PostedRecordIsOnDiskWhileTheTableIsOpen) {
  MakeRecordsTable();
  auto t = OpenRecords();
  Add(*t, {"Disk1", "one", "/a", "", "", "memo one"});
  Add(*t, {"Disk1", "two", "/b", "", "", ""});
  // Read the file behind the open cursor: header count, size and end mark
  // already agree.
  const std::string b = ReadFileBytes(RecordsPath());
  EXPECT_EQ(Le32(b, 4), 2u);
  ASSERT_EQ(b.size(), Le16(b, 8) + 2u * kRecLen + 1);
  EXPECT_EQ(b.back(), '\x1A');
  EXPECT_EQ(RawField(b, 2, "FLTITLE").substr(0, 4), "two ");
  const std::string smt = ReadFileBytes(xbase::MemoPathFor(RecordsPath()));
  MemoRef m1 = ParseMemoField(RawField(b, 1, "FLDESC"));
  ASSERT_TRUE(m1.wellFormed && !m1.blank);
  EXPECT_EQ(MemoAt(smt, m1.block), "memo one");
}

TEST_F(FormatTest, CreateRefusesAnExistingFileAndLeavesItAlone) {
  MakeRecordsTable();
  AddRecords({{"Disk1", "keep me", "/a", "", "", "memo"}});
  const std::string before = ReadFileBytes(RecordsPath());
  const std::string memoBefore = ReadFileBytes(xbase::MemoPathFor(RecordsPath()));
  CatchError([&] { xbase::CreateTable(RecordsPath(), {{"Catalog", 'C', 20, 0}}); });
  EXPECT_EQ(ReadFileBytes(RecordsPath()), before);
  EXPECT_EQ(ReadFileBytes(xbase::MemoPathFor(RecordsPath())), memoBefore);
}

class MemoTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
  }
  // Stores each text in a record of its own, closes, reopens and reads
  // every memo back in record order.
  std::vector<std::string> RoundTrip(const std::vector<std::string>& texts) {
    {
      auto t = OpenRecords("");
      for (size_t i = 0; i < texts.size(); ++i)
        Add(*t, {"Memo", "t" + std::to_string(i), "", "", "", texts[i]});
      t->Close();
    }
    auto t = OpenRecords("");
    return Column(*t, "FLDESC");
  }
};

TEST_F(MemoTest, TextsComeBackWhole) {
  const std::vector<std::string> texts = {
      LongText(200000),
      "",
      "line one\r\nline two\nline three\n\n",
      "Grüße aus Köln — Ωμέγα, Привет, 日本語 🙂",
      std::string(1, 'x'),
      "trailing blanks   ",
      LongText(63),  // around one block
      LongText(64),
      LongText(65),
      // Every byte is kept, the end-of-file mark and NULs at the end too.
      "ends in the end-of-file mark\x1A",
      "\x1A",
      std::string("nul\0inside and at the end\0", 26),
  };
  EXPECT_EQ(RoundTrip(texts), texts);

  // The memo file holds each text after its type and length header.
  const std::string dbf = ReadFileBytes(RecordsPath());
  const std::string smt = ReadFileBytes(xbase::MemoPathFor(RecordsPath()));
  const auto fields = Descriptors(dbf);
  ASSERT_EQ(fields.size(), 6u);
  for (uint32_t n = 1; n <= texts.size(); ++n) {
    SCOPED_TRACE(n);
    size_t at = Le16(dbf, 8) + (n - 1) * Le16(dbf, 10) + fields[5].offset;
    MemoRef m = ParseMemoField(dbf.substr(at, 10));
    ASSERT_TRUE(m.wellFormed);
    if (texts[n - 1].empty() && m.blank) continue;
    ASSERT_FALSE(m.blank);
    EXPECT_EQ(MemoAt(smt, m.block), texts[n - 1]);
  }
}

TEST_F(MemoTest, GrowingOneMemoLeavesTheOthersIntact) {
  {
    auto t = OpenRecords("");
    Add(*t, {"Memo", "a", "", "", "", "short a"});
    Add(*t, {"Memo", "b", "", "", "", "short b"});
    Add(*t, {"Memo", "c", "", "", "", "short c"});
    t->First();
    t->Next();  // b
    t->Edit();
    t->SetFieldByName("FLDESC", LongText(5000));
    t->Post();
    t->First();  // a: shrink it
    t->Edit();
    t->SetFieldByName("FLDESC", "a");
    t->Post();
    t->Close();
  }
  auto t = OpenRecords("");
  EXPECT_EQ(Column(*t, "FLDESC"), (std::vector<std::string>{"a", LongText(5000), "short c"}));
  EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
}

TEST_F(MemoTest, ClearingAMemoReadsBackEmpty) {
  {
    auto t = OpenRecords("");
    Add(*t, {"Memo", "a", "", "", "", "something"});
    t->Edit();
    t->SetFieldByName("FLDESC", "");
    t->Post();
    t->Close();
  }
  auto t = OpenRecords("");
  t->First();
  EXPECT_EQ(t->FieldByName("FLDESC"), "");
}

}  // namespace

// Writing beside damaged files, tables that may not be written, and readers
// beside a writer: nothing that is in a file is ever written over, a write
// is refused whole or done whole, and a sound table never reads as damaged.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "fault_fs.h"
#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::ErrorCode;
using Strings = std::vector<std::string>;

void PutLe32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void PutBe32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

bool Mentions(const Strings& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

class DamageTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
  }
  std::string MemoPath() const { return xbase::MemoPathFor(RecordsPath()); }
  std::string IndexPath() const { return xbase::IndexPathFor(RecordsPath()); }
  std::vector<std::string> Files() const { return {RecordsPath(), MemoPath(), IndexPath()}; }
  Strings Snapshot() const {
    Strings out;
    for (const std::string& f : Files()) out.push_back(ReadFileBytes(f));
    return out;
  }
};

TEST_F(DamageTest, UncountedRecordIsReadAndNeverWrittenOver) {
  AddRecords({{"A", "one", "/1", "", "", "d1"}, {"A", "two", "/2", "", "", "d2"}, {"A", "three", "/3", "", "", "d3"}});
  // The header counts one record less than the file holds: a count one too
  // low, or an append stopped before it counted its record.
  std::string b = ReadFileBytes(RecordsPath());
  PutLe32(b, 4, 2);
  WriteFileBytes(RecordsPath(), b);

  EXPECT_TRUE(Mentions(xbase::CheckTable(RecordsPath()),
                       "table " + RecordsPath() + ": the header counts 2 records, but record 3 follows them complete"));
  {
    auto t = OpenRecords();
    EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"one", "three", "two"}));
    Add(*t, {"A", "four", "/4", "", "", "d4"});
    t->Close();
  }
  EXPECT_EQ(Le32(ReadFileBytes(RecordsPath()), 4), 4u);
  auto t = OpenRecords("");
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"one", "two", "three", "four"}));
  EXPECT_EQ(Column(*t, "FLDESC"), (Strings{"d1", "d2", "d3", "d4"}));
  t->Close();
  EXPECT_EQ(xbase::CheckTable(RecordsPath()), Strings{});
}

// A writer stopped anywhere in an append that follows an uncounted record
// (a kill leaves the files as they are at that moment) leaves a table that
// opens for writing with every record posted before.
TEST_F(DamageTest, AnAppendAfterAnUncountedRecordStoppedAnywhereLeavesATableThatOpens) {
  AddRecords({{"A", "one", "/1", "", "", "d1"}, {"A", "two", "/2", "", "", "d2"}, {"A", "three", "/3", "", "", "d3"}});
  std::string b = ReadFileBytes(RecordsPath());
  PutLe32(b, 4, 2);
  WriteFileBytes(RecordsPath(), b);
  std::vector<Strings> stops;  // the files at each sync of the table
  {
    FaultyFs faults;
    Fault atSync = On(FsOp::Sync, "VTLDataA.dbf");
    atSync.lasting = true;
    atSync.meanwhile = [&] { stops.push_back(Snapshot()); };
    faults.Fail(atSync);
    auto t = OpenRecords();
    Add(*t, {"A", "four", "/4", "", "", "d4"});
    t->Close();
  }
  ASSERT_FALSE(stops.empty());
  for (size_t i = 0; i < stops.size(); ++i) {
    for (size_t f = 0; f < Files().size(); ++f) WriteFileBytes(Files()[f], stops[i][f]);
    try {
      auto t = OpenRecords("");
      Strings titles = Column(*t, "FLTITLE");
      titles.resize(3);
      EXPECT_EQ(titles, (Strings{"one", "two", "three"})) << "stopped at sync " << i;
    } catch (const xbase::Error& e) {
      ADD_FAILURE() << "stopped at sync " << i << ": " << e.what();
    }
  }
}

TEST_F(DamageTest, MemoHeaderPointingInsideTheMemosIsToldAndNeverWrittenOver) {
  const Strings descs = {LongText(300), LongText(500), "third"};
  AddRecords({{"A", "a", "", "", "", descs[0]}, {"A", "b", "", "", "", descs[1]}, {"A", "c", "", "", "", descs[2]}});
  std::string m = ReadFileBytes(MemoPath());
  PutBe32(m, 0, 512 / Be16(m, 6));  // the first block after the header
  // Another tool does not fill the last memo's block: the file ends in it.
  const size_t last = m.size() - Be16(m, 6);
  ASSERT_EQ(m.substr(last + 8, 5), "third");
  m.resize(last + 8 + 5);
  WriteFileBytes(MemoPath(), m);

  const Strings problems = xbase::CheckTable(RecordsPath());
  EXPECT_TRUE(Mentions(problems, "memo file " + MemoPath() + " is damaged: its header gives block"))
      << (problems.empty() ? "nothing reported" : problems[0]);
  {
    auto t = OpenRecords("");
    Add(*t, {"A", "d", "", "", "", "new description"});
    t->Close();
  }
  auto t = OpenRecords("");
  EXPECT_EQ(Column(*t, "FLDESC"), (Strings{descs[0], descs[1], descs[2], "new description"}));
  t->Close();
  // The write put the header after every memo again.
  EXPECT_EQ(xbase::CheckTable(RecordsPath()), Strings{});
}

TEST_F(DamageTest, CheckListsEveryDamagedRecord) {
  std::vector<Rec> recs;
  for (int i = 1; i <= 12; ++i) recs.push_back({"A", "t" + std::to_string(i), "", "", "", "memo"});
  AddRecords(recs);
  std::string b = ReadFileBytes(RecordsPath());
  const size_t headerLen = Le16(b, 8), recLen = Le16(b, 10);
  for (size_t r = 0; r < 12; ++r) b.replace(headerLen + r * recLen + recLen - 10, 10, "  no digit");
  WriteFileBytes(RecordsPath(), b);
  const Strings problems = xbase::CheckTable(RecordsPath());
  for (int r = 1; r <= 12; ++r)
    EXPECT_TRUE(Mentions(problems, ": record " + std::to_string(r) + ", field FLDESC")) << r;
}

// The index compared with the records entry by entry: a key changed under
// it, or two records' keys exchanged, with every count and order as before.
TEST_F(DamageTest, CheckFindsAnIndexThatDoesNotHoldItsRecordsKeys) {
  AddRecords({{"A", "t1", "", "", "", ""}, {"A", "t2", "", "", "", ""}, {"A", "t3", "", "", "", ""}});
  const std::string sound = ReadFileBytes(RecordsPath());
  const size_t headerLen = Le16(sound, 8), recLen = Le16(sound, 10), title = 1 + 20;
  const auto titleByte = [&](size_t record) { return headerLen + (record - 1) * recLen + title + 1; };
  std::string changed = sound, swapped = sound;
  changed[titleByte(2)] = '9';
  std::swap(swapped[titleByte(1)], swapped[titleByte(3)]);
  for (const std::string& b : {changed, swapped}) {
    WriteFileBytes(RecordsPath(), b);
    const Strings problems = xbase::CheckTable(RecordsPath());
    EXPECT_TRUE(Mentions(problems, "does not match the records")) << (problems.empty() ? "nothing" : problems[0]);
  }
  WriteFileBytes(RecordsPath(), sound);
  EXPECT_EQ(xbase::CheckTable(RecordsPath()), Strings{});
}

TEST_F(DamageTest, ReadOnlyOpenWritesNothing) {
  AddRecords({{"B", "x", "", "", "", "m1"}, {"A", "y", "", "", "", "m2"}});
  // The index no longer matches its table (as after another tool wrote
  // it): a reader rebuilds it for itself only.
  std::filesystem::last_write_time(RecordsPath(), std::filesystem::last_write_time(RecordsPath()) +
                                                      std::chrono::seconds(5));
  const Strings files = Snapshot();

  xbase::Table t(env_);
  t.SetDatabaseName(Folder());
  t.SetTableName("VTLDataA.dbf");
  t.SetIndexTag("CatFlTl");
  t.SetReadOnly(true);
  t.Open();
  EXPECT_EQ(Keys(t), (Strings{"A/y", "B/x"}));
  EXPECT_FALSE(t.CanWrite());
  for (const auto& write : std::vector<std::function<void()>>{
           [&] { t.Append(); }, [&] { t.Edit(); }, [&] { t.Delete(); }, [&] { t.RequireWritable(); }}) {
    const xbase::Error e = CatchError(write);
    EXPECT_EQ(e.code(), ErrorCode::Usage) << e.what();
    EXPECT_NE(std::string(e.what()).find("reading only"), std::string::npos) << e.what();
  }
  EXPECT_EQ(t.GetState(), xbase::State::Browse);

  // A second cursor in this program cannot open the same files for writing
  // while they are open for reading only.
  xbase::Table writer(env_);
  writer.SetDatabaseName(Folder());
  writer.SetTableName("VTLDataA.dbf");
  EXPECT_EQ(CatchError([&] { writer.Open(); }).code(), ErrorCode::Usage);
  t.Close();

  EXPECT_EQ(Snapshot(), files);
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(Folder())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 3u) << "a private index copy is left behind";
}

TEST_F(DamageTest, ReadOnlyCompanionFileRefusesEveryWriteWhole) {
  AddRecords({{"A", "one", "", "", "", "memo"}});
  for (const std::string& file : {IndexPath(), MemoPath(), RecordsPath()}) {
    SCOPED_TRACE(file);
    const std::string name = file.substr(file.rfind('/') + 1);
    using std::filesystem::perms;
    std::filesystem::permissions(file, perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
    // A user who may write read-only files (root) is refused the way
    // everyone else is: opening the file for writing fails with EACCES.
    std::optional<FaultyFs> fs;
    if (std::fstream(file, std::ios::in | std::ios::out)) {
      fs.emplace();
      Fault readOnly = On(FsOp::OpenForWriting, name, EACCES);
      readOnly.lasting = true;
      fs->Fail(readOnly);
    }
    const Strings files = Snapshot();
    auto t = OpenRecords();
    EXPECT_FALSE(t->CanWrite());
    auto refused = [&](const std::function<void()>& write) {
      const xbase::Error e = CatchError(write);
      EXPECT_EQ(e.code(), ErrorCode::Io);
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    };
    refused([&] { Add(*t, {"A", "two", "", "", "", "second memo"}); });
    t->Cancel();
    t->First();
    refused([&] {
      t->Edit();
      t->SetFieldByName("FLDESC", "changed");
      t->Post();
    });
    t->Cancel();
    refused([&] { t->Delete(); });
    t->Close();
    fs.reset();
    EXPECT_EQ(Snapshot(), files);
    std::filesystem::permissions(file, perms::owner_write, std::filesystem::perm_options::add);
  }
}

TEST_F(DamageTest, ReaderSeesADescriptionPostedAfterItOpened) {
  AddRecords({{"A", "a", "", "", "", "first"}, {"A", "b", "", "", "", "second"}});
  // Another program reading, opened before the description is posted.
  xbase::Environment other;
  xbase::Table reader(other);
  reader.SetDatabaseName(Folder());
  reader.SetTableName("VTLDataA.dbf");
  reader.SetReadOnly(true);
  reader.Open();
  reader.First();
  EXPECT_EQ(reader.FieldByName("FLDESC"), "first");

  auto writer = OpenRecords("");
  writer->Last();
  writer->Edit();
  writer->SetFieldByName("FLDESC", LongText(3000));
  writer->Post();

  reader.Next();
  EXPECT_EQ(reader.FieldByName("FLDESC"), LongText(3000));
}

TEST_F(DamageTest, ExpressionErrorNamesTheTable) {
  AddRecords({{"A", "one", "", "", "", ""}});
  // A field name with an odd byte: the tag's key no longer finds FLTITLE.
  std::string b = ReadFileBytes(RecordsPath());
  b[32 + 32 + 2] = '\x01';
  WriteFileBytes(RecordsPath(), b);
  // The index's key no longer fits the table: told as an index that does
  // not belong to it, naming the table.
  const xbase::Error e = CatchError([&] { OpenRecords(); });
  EXPECT_EQ(e.code(), ErrorCode::Unsupported);
  EXPECT_NE(std::string(e.what()).find(RecordsPath()), std::string::npos) << e.what();
}

}  // namespace

// Exclusive and shared use of a table: between two sets of open files in one
// process (two Environments), and between two processes, the way a second
// copy of the program would meet the first.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "fault_fs.h"
#include "childprocess.h"
#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::ErrorCode;

// What a child process saw when it tried to open the table.
enum ChildResult { kOpened = 0, kLocked = 1, kOtherError = 2, kCrashed = 3 };

std::unique_ptr<xbase::Table> OpenIn(xbase::Environment& env, const std::string& folder, bool exclusive) {
  auto t = std::make_unique<xbase::Table>(env);
  t->SetDatabaseName(folder);
  t->SetTableName("VTLDataA.dbf");
  t->SetIndexTag("CatFlTl");
  t->SetExclusive(exclusive);
  t->Open();
  return t;
}

// Another program trying to open the table: try-open FOLDER EXCLUSIVE
// [may-not-write]; its exit status tells how it went (a ChildResult).
VANTRELL_CHILD_ROLE(TryOpen, "try-open") {
  if (args.size() < 2) return kOtherError;
  std::optional<FaultyFs> fs;
  if (args.size() > 2) {
    // A table this program may not write.
    fs.emplace();
    fs->Fail(On(FsOp::OpenForWriting, "VTLDataA.dbf", EACCES));
  }
  try {
    xbase::Environment env;
    auto t = OpenIn(env, args[0], args[1] == "1");
    const bool ok = t->Active() && t->RecordCount() == 1;
    t->Close();
    return ok ? kOpened : kOtherError;
  } catch (const xbase::Error& e) {
    return e.code() == ErrorCode::Locked ? kLocked : kOtherError;
  } catch (...) {
    return kOtherError;
  }
}

// Another program holding the table: hold FOLDER EXCLUSIVE. It says "O"
// once the table is open ("F" when it is not) and closes it when told.
VANTRELL_CHILD_ROLE(HoldTable, "hold") {
  if (args.size() < 2) return 2;
  xbase::Environment env;
  std::unique_ptr<xbase::Table> t;
  try {
    t = OpenIn(env, args[0], args[1] == "1");
  } catch (...) {
  }
  std::printf("%s\n", t ? "O" : "F");
  std::fflush(stdout);
  std::string go;
  std::getline(std::cin, go);
  try {
    if (t) t->Close();
  } catch (...) {
    return 2;
  }
  return 0;
}

class LockTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    AddRecords({{"A", "one", "", "", "", "memo"}});
  }
  void TearDown() override {
    // A test that stopped early must not leave its holder waiting.
    holder_.Kill();
    XbaseTest::TearDown();
  }

  // Tries to open the table in a child process, as another program would.
  int TryOpenInChild(bool exclusive, bool mayNotWrite = false) {
    testsupport::Args args{Folder(), exclusive ? "1" : "0"};
    if (mayNotWrite) args.push_back("may-not-write");
    const int code = testsupport::RunRole("try-open", args).code;
    return code < 0 ? kCrashed : code;
  }

  // A child process that opens the table and holds it until told to let go;
  // returns whether it opened the table.
  bool StartHolder(bool exclusive) {
    if (!testsupport::StartRole(holder_, "hold", {Folder(), exclusive ? "1" : "0"})) {
      ADD_FAILURE() << "cannot start the holder";
      return false;
    }
    const std::optional<std::string> status = holder_.ReadLine();
    if (!status) ADD_FAILURE() << "holder did not report";
    return status == "O";
  }

  void StopHolder() {
    if (!holder_.Send("x\n")) ADD_FAILURE() << "cannot tell the holder";
    EXPECT_EQ(holder_.Wait(), 0) << "holder closed badly";
  }

  void KillHolder() { holder_.Kill(); }

  testsupport::ChildProcess holder_;
};

// --- two Environments in one process --------------------------------------------

TEST_F(LockTest, ExclusiveUseShutsOutEveryoneElse) {
  auto held = OpenRecords("CatFlTl", true);
  xbase::Environment other;
  xbase::Error e = CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); });
  EXPECT_EQ(e.code(), ErrorCode::Locked);
  EXPECT_NE(std::string(e.what()).find("VTLDataA.dbf"), std::string::npos)
      << "the message names the file: " << e.what();
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", false); }).code(), ErrorCode::Locked);
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "", false); }).code(), ErrorCode::Locked);

  // The holder is unaffected and can still write.
  Add(*held, {"A", "two", "", "", "", ""});
  EXPECT_EQ(held->RecordCount(), 2);

  held->Close();
  auto now = OpenRecordsIn(other, "CatFlTl", true);
  EXPECT_EQ(now->RecordCount(), 2);
}

TEST_F(LockTest, OneWriterAtATimeWithReadersBesideIt) {
  auto writer = OpenRecords("CatFlTl", false);
  xbase::Environment other;
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); }).code(), ErrorCode::Locked);
  xbase::Error e = CatchError([&] { OpenRecordsIn(other, "CatFlTl", false); });
  EXPECT_EQ(e.code(), ErrorCode::Locked);
  EXPECT_NE(std::string(e.what()).find("VTLDataA.dbf is open for writing in another program"), std::string::npos)
      << e.what();

  // A read-only open comes in beside the writer, and changes nothing.
  auto reader = std::make_unique<xbase::Table>(other);
  reader->SetDatabaseName(Folder());
  reader->SetTableName("VTLDataA.dbf");
  reader->SetIndexTag("CatFlTl");
  reader->SetReadOnly(true);
  reader->Open();
  reader->First();
  EXPECT_EQ(reader->FieldByName("FLDESC"), "memo");
  EXPECT_EQ(CatchError([&] { reader->Edit(); }).code(), ErrorCode::Usage);
  Add(*writer, {"A", "two", "", "", "", ""});
  writer->Close();
  // The writer gone, another may come while the reader stays; exclusive use
  // still waits for the reader.
  xbase::Environment third;
  EXPECT_NO_THROW(OpenRecordsIn(third, "", false));
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(third, "", true); }).code(), ErrorCode::Locked);
  reader->Close();
  EXPECT_NO_THROW(OpenRecordsIn(third, "", true));
}

// --- another process --------------------------------------------------------------

TEST_F(LockTest, AnotherProgramHoldingTheFileExclusively) {
  ASSERT_TRUE(StartHolder(true));
  xbase::Environment other;
  xbase::Error e = CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); });
  EXPECT_EQ(e.code(), ErrorCode::Locked) << e.what();
  EXPECT_NE(std::string(e.what()).find("VTLDataA.dbf"), std::string::npos) << e.what();
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", false); }).code(), ErrorCode::Locked);
  StopHolder();
  EXPECT_NO_THROW(OpenRecordsIn(other, "CatFlTl", true));
}

TEST_F(LockTest, AnotherProgramMeetsOurExclusiveUse) {
  auto held = OpenRecords("CatFlTl", true);
  EXPECT_EQ(TryOpenInChild(true), kLocked);
  EXPECT_EQ(TryOpenInChild(false), kLocked);
  held->Close();
  EXPECT_EQ(TryOpenInChild(true), kOpened);
}

TEST_F(LockTest, SharedUseAcrossProcesses) {
  auto shared = OpenRecords("CatFlTl", false);
  EXPECT_EQ(TryOpenInChild(false), kLocked) << "a second writer";
  EXPECT_EQ(TryOpenInChild(true), kLocked);
  // A table this program may not write opens read-only beside the writer.
  EXPECT_EQ(TryOpenInChild(false, true), kOpened) << "a reader";
  shared->Close();
  EXPECT_EQ(TryOpenInChild(true), kOpened);

  ASSERT_TRUE(StartHolder(false));
  xbase::Environment other;
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); }).code(), ErrorCode::Locked);
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", false); }).code(), ErrorCode::Locked);
  KillHolder();
  EXPECT_NO_THROW(OpenRecordsIn(other, "CatFlTl", false)) << "a killed writer leaves no lock";
}

TEST_F(LockTest, FailedAttemptsInThisProcessDoNotDropOurLock) {
  // Closing any descriptor of a file can drop a process's locks on it; a
  // refused open in a second Environment must not free the file for others.
  auto held = OpenRecords("CatFlTl", true);
  xbase::Environment other;
  CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); });
  CatchError([&] { OpenRecordsIn(other, "", false); });
  EXPECT_EQ(TryOpenInChild(true), kLocked);
  EXPECT_EQ(TryOpenInChild(false), kLocked);
  // Nor does a check of the file.
  try {
    xbase::CheckTable(RecordsPath());
  } catch (const xbase::Error&) {
  }
  EXPECT_EQ(TryOpenInChild(true), kLocked);
  EXPECT_EQ(TryOpenInChild(false), kLocked);
}

TEST_F(LockTest, SecondCursorClosingDoesNotDropTheLock) {
  auto held = OpenRecords("CatFlTl", false);
  {
    auto second = OpenRecords("CatFlTl", false);
    second->Close();
  }
  EXPECT_EQ(TryOpenInChild(true), kLocked) << "the first cursor still has the file open";
}

TEST_F(LockTest, PackKeepsTheTableLockedUntilItHasReopened) {
  {
    auto t = OpenRecords();
    Add(*t, {"A", "two", "", "", "", "memo two"});
    ASSERT_TRUE(t->Locate("FLTITLE", "one"));
    t->Delete();
  }
  // Another program trying the table at each step of the swap finds it held
  // (it would otherwise complete the pack from the journal at the same time).
  std::vector<std::string> refused;
  auto tryOthers = [&](const char* step) {
    return [this, &refused, step] {
      if (TryOpenInChild(false) == kLocked && TryOpenInChild(true) == kLocked) refused.push_back(step);
    };
  };
  FaultyFs fs;
  for (const char* step : {".pack-dbf", ".pack-memo", ".pack-idx"}) {
    Fault f = On(FsOp::Rename, step);
    f.meanwhile = tryOthers(step);
    fs.Fail(f);
  }
  Fault removal = On(FsOp::Remove, "VTLDataA.dbf.pack");
  removal.meanwhile = tryOthers("journal");
  fs.Fail(removal);
  auto t = OpenRecords("CatFlTl", true);
  t->Pack();
  EXPECT_EQ(refused, (std::vector<std::string>{".pack-dbf", ".pack-memo", ".pack-idx", "journal"}));
  EXPECT_EQ(TryOpenInChild(false), kLocked);
  EXPECT_EQ(Column(*t, "FLDESC"), std::vector<std::string>{"memo two"});
  t->Close();
  EXPECT_EQ(TryOpenInChild(false), kOpened);
}

TEST_F(LockTest, KilledHolderLeavesNoLock) {
  ASSERT_TRUE(StartHolder(true));
  KillHolder();
  xbase::Environment other;
  auto t = OpenRecordsIn(other, "CatFlTl", true);
  EXPECT_EQ(t->RecordCount(), 1);
}

}  // namespace

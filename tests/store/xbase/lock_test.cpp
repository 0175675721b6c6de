// Exclusive and shared use of a table: between two sets of open files in one
// process (two Environments), and between two processes, the way a second
// copy of the program would meet the first.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fault_fs.h"
#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::ErrorCode;

// What a child process saw when it tried to open the table.
enum ChildResult { kOpened = 0, kLocked = 1, kOtherError = 2, kCrashed = 3 };

class LockTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    AddRecords({{"A", "one", "", "", "", "memo"}});
  }
  void TearDown() override {
    // A test that stopped early must not leave its holder waiting.
    if (holder_.pid > 0) KillHolder(holder_);
    XbaseTest::TearDown();
  }

  // Tries to open the table in a fresh Environment; tells how it went.
  static int TryOpen(const std::string& folder, bool exclusive) {
    try {
      xbase::Environment env;
      xbase::Table t(env);
      t.SetDatabaseName(folder);
      t.SetTableName("VTLDataA.dbf");
      t.SetIndexTag("CatFlTl");
      t.SetExclusive(exclusive);
      t.Open();
      const bool ok = t.Active() && t.RecordCount() == 1;
      t.Close();
      return ok ? kOpened : kOtherError;
    } catch (const xbase::Error& e) {
      return e.code() == ErrorCode::Locked ? kLocked : kOtherError;
    } catch (...) {
      return kOtherError;
    }
  }

  // Runs TryOpen in a child process, as another program would.
  int TryOpenInChild(bool exclusive) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(TryOpen(Folder(), exclusive));
    if (pid < 0) {
      ADD_FAILURE() << "fork failed";
      return kCrashed;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : kCrashed;
  }

  // A child process that opens the table and holds it until told to let go.
  struct Holder {
    pid_t pid = -1;
    int toParent[2] = {-1, -1};
    int toChild[2] = {-1, -1};
    bool opened = false;
  };

  // Starts the holder; returns once it has tried its open.
  Holder& StartHolder(bool exclusive) {
    Holder& h = holder_;
    if (pipe(h.toParent) != 0 || pipe(h.toChild) != 0) {
      ADD_FAILURE() << "pipe failed";
      return h;
    }
    fflush(nullptr);
    h.pid = fork();
    if (h.pid == 0) {
      close(h.toParent[0]);
      close(h.toChild[1]);
      char status = 'F';
      xbase::Environment env;
      xbase::Table t(env);
      try {
        t.SetDatabaseName(Folder());
        t.SetTableName("VTLDataA.dbf");
        t.SetIndexTag("CatFlTl");
        t.SetExclusive(exclusive);
        t.Open();
        status = 'O';
      } catch (...) {
      }
      if (write(h.toParent[1], &status, 1) != 1) _exit(2);
      char go;
      if (read(h.toChild[0], &go, 1) < 0) _exit(2);
      try {
        t.Close();
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    close(h.toParent[1]);
    close(h.toChild[0]);
    char status = 0;
    if (read(h.toParent[0], &status, 1) != 1) ADD_FAILURE() << "holder did not report";
    h.opened = status == 'O';
    return h;
  }

  void StopHolder(Holder& h) {
    if (h.pid <= 0) return;
    char go = 'x';
    if (write(h.toChild[1], &go, 1) != 1) ADD_FAILURE() << "cannot tell the holder";
    int status = 0;
    waitpid(h.pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "holder closed badly";
    close(h.toParent[0]);
    close(h.toChild[1]);
    h.pid = -1;
  }

  void KillHolder(Holder& h) {
    kill(h.pid, SIGKILL);
    int status = 0;
    waitpid(h.pid, &status, 0);
    close(h.toParent[0]);
    close(h.toChild[1]);
    h.pid = -1;
  }

  Holder holder_;
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
  Holder& h = StartHolder(true);
  ASSERT_TRUE(h.opened);
  xbase::Environment other;
  xbase::Error e = CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); });
  EXPECT_EQ(e.code(), ErrorCode::Locked) << e.what();
  EXPECT_NE(std::string(e.what()).find("VTLDataA.dbf"), std::string::npos) << e.what();
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", false); }).code(), ErrorCode::Locked);
  StopHolder(h);
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
  {
    // A table this program may not write opens read-only beside the writer.
    FaultyFs fs;
    fs.Fail(On(FsOp::OpenForWriting, "VTLDataA.dbf", EACCES));
    EXPECT_EQ(TryOpenInChild(false), kOpened) << "a reader";
  }
  shared->Close();
  EXPECT_EQ(TryOpenInChild(true), kOpened);

  Holder& h = StartHolder(false);
  ASSERT_TRUE(h.opened);
  xbase::Environment other;
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", true); }).code(), ErrorCode::Locked);
  EXPECT_EQ(CatchError([&] { OpenRecordsIn(other, "CatFlTl", false); }).code(), ErrorCode::Locked);
  KillHolder(h);
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
  Holder& h = StartHolder(true);
  ASSERT_TRUE(h.opened);
  KillHolder(h);
  xbase::Environment other;
  auto t = OpenRecordsIn(other, "CatFlTl", true);
  EXPECT_EQ(t->RecordCount(), 1);
}

}  // namespace

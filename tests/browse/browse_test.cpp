// The record view's decisions, made without a window: where the title
// button jumps, which commands the state and the record switch on, what of
// a damaged record can still be shown, and the file check that answers from
// a worker thread without ever holding up the caller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "commandtags.h"
#include "createdb.h"
#include "damaged_records.h"
#include "datafiles.h"
#include "filecheck.h"
#include "filefacts.h"
#include "folderrecords.h"
#include "recordfields.h"
#include "recordview.h"
#include "titlejump.h"

namespace {

// A records table in a temporary folder, opened on its catalog/title tag.
class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    data_ = dir_.path() + "/data";
    QDir().mkpath(data_);
    ASSERT_TRUE(store::CreateDatabaseFiles(data_).ok());
  }

  // Records of catalog "C" with these titles, each cataloguing the file
  // "/media/disk/<title>" and described by `desc`.
  void Add(const std::vector<std::string>& titles, const std::string& desc = "text") {
    std::vector<testsupport::RecordRow> rows;
    for (const std::string& title : titles)
      rows.push_back({"C", store::FromUtf8(title), store::FromUtf8("/media/disk/" + title), "1,024",
                      "12/03/2019 14:22:05", store::FromUtf8(desc)});
    testsupport::AddRecords(data_, rows);
  }

  xbase::Table& Open() {
    table_.SetDatabaseName(store::EnginePath(data_));
    table_.SetTableName(store::kRecordsTable);
    table_.SetIndexTag(store::kRecordsTag);
    table_.Open();
    return table_;
  }

  QTemporaryDir dir_;
  QString data_;
  xbase::Environment env_;
  xbase::Table table_{env_};
};

TEST_F(RecordsTest, TitleJumpGoesToTheNextInitialAndWrapsToTheFirst) {
  Add({"apple", "Avocado", "banana", "blueberry", "cherry", ""});
  xbase::Table& t = Open();
  // The tag orders by upper-cased title: "", apple, Avocado, banana, ...
  ASSERT_EQ(t.FieldByName("FLTITLE"), "");
  std::vector<std::string> seen;
  for (int i = 0; i < 5; ++i) {
    xbase::Bookmark b = browse::JumpToNextInitial(t);
    EXPECT_EQ(b, t.GetBookmark());
    seen.push_back(t.FieldByName("FLTITLE"));
  }
  // A change of case is a new initial; nothing after "cherry": back to the top.
  EXPECT_EQ(seen, (std::vector<std::string>{"apple", "Avocado", "banana", "cherry", ""}));

  // One initial for every title: the first record.
  t.SetQuery("upper(FLTITLE) = \"B\"");
  t.Last();
  browse::JumpToNextInitial(t);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "banana");

  // An empty view: nothing to move to.
  t.SetQuery("FLTITLE = \"none\"");
  t.Refresh();
  EXPECT_FALSE(browse::JumpToNextInitial(t).valid());
}

TEST_F(RecordsTest, DamagedDescriptionLeavesTheRestOfTheRecordReadable) {
  Add({"first", "second"});
  testdata::DamageDescriptionPointer(store::DataFilePath(data_, store::kRecordsTable), 2);
  xbase::Table& t = Open();
  browse::TRecordView view;
  QSignalSpy damaged(&view, &browse::TRecordView::Damaged);

  view.RecordChanged(t, false);
  EXPECT_EQ(view.Record().title, "first");
  EXPECT_EQ(view.MemoText(), "text");
  EXPECT_TRUE(view.WriteRefusal().isEmpty());
  // The file is looked for on the worker; its commands wait meanwhile.
  EXPECT_EQ(view.File(), browse::FileState::Pending);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view.CheckPending(); }, 5000));
  EXPECT_EQ(view.File(), browse::FileState::Missing);
  EXPECT_EQ(view.FileMessage(), "File not found.");

  t.Next();
  view.RecordChanged(t, false);
  const browse::RecordFields& bad = view.Record();
  EXPECT_EQ(bad.title, "second");
  EXPECT_EQ(bad.path, "/media/disk/second");
  EXPECT_EQ(view.SizeLine(), "1,024 bytes");
  EXPECT_EQ(bad.date, "12/03/2019 14:22:05");
  EXPECT_FALSE(bad.DescriptionReadable());
  EXPECT_TRUE(bad.descriptionDamage.contains("VTLDataA.SMT")) << bad.descriptionDamage.toStdString();
  EXPECT_TRUE(view.MemoText().startsWith("The description of this record cannot be read.\n"));
  EXPECT_TRUE(view.WriteRefusal().contains("VTLDataA.SMT"));
  ASSERT_EQ(damaged.count(), 1);
  EXPECT_TRUE(damaged.last().at(0).toString().startsWith("The description of \"second\" cannot be read."));

  // Met again and again (every re-read), reported once.
  view.RecordChanged(t, false);
  view.FieldChanged(t);
  EXPECT_EQ(damaged.count(), 1);
}

// A probe whose answer for paths starting "/hang" waits until the test
// opens the gate, as a check on a volume that does not answer would.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void Wait() {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [this] { return open; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(m);
    open = true;
    cv.notify_all();
  }
};

TEST(FileCheckerTest, AnswersComeFromAWorkerAndOnlyTheLatestCounts) {
  Gate gate;
  browse::TFileChecker checker(nullptr, [&gate](const QString& path, bool) {
    if (path.startsWith("/hang")) gate.Wait();
    browse::FileCheck r;
    r.path = path;
    r.present = !path.endsWith("missing");
    return r;
  });
  QSignalSpy checked(&checker, &browse::TFileChecker::Checked);
  QSignalSpy timedOut(&checker, &browse::TFileChecker::TimedOut);
  auto lastPath = [&] { return checked.last().at(0).value<browse::FileCheck>().path; };

  // A hanging check does not hold up the caller, and its answer, once it
  // comes, is dropped: another record became current meanwhile.
  checker.Request("/hang/a", true);
  checker.Request("/disk/missing", true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return checked.count() == 1; }, 5000));
  EXPECT_EQ(lastPath(), "/disk/missing");
  EXPECT_FALSE(checker.Pending());

  // However many volumes hang, at most kMaxWorkers threads wait on them;
  // the latest request still gets its answer once a worker is free, and
  // a request that gets no answer in time is reported as such.
  checker.SetTimeout(50);
  for (int i = 0; i < 8; ++i) checker.Request(QString("/hang/%1").arg(i), true);
  EXPECT_LE(checker.RunningWorkers(), browse::TFileChecker::kMaxWorkers);
  ASSERT_TRUE(QTest::qWaitFor([&] { return timedOut.count() == 1; }, 5000));
  EXPECT_EQ(timedOut.last().at(0).toString(), "/hang/7");
  EXPECT_TRUE(checker.Pending());
  gate.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return checker.RunningWorkers() == 0 && !checker.Pending(); }, 5000));
  QCoreApplication::processEvents();
  EXPECT_EQ(checked.count(), 2);
  EXPECT_EQ(lastPath(), "/hang/7");
}

// The size and date texts a record keeps: never cut, whatever the size or
// the locale; sizes past 2 GiB whole.
TEST(FileFactsTest, SizeAndDateTextsFitTheirFields) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(browse::FormatFileSize(1234567, us), "1,234,567");
  EXPECT_EQ(browse::FormatFileSize(123456789, us), "123456789") << "11 characters with commas";
  EXPECT_EQ(browse::FormatFileSize(3221225472LL, us), "3221225472") << "3 GiB, not negative";
  EXPECT_EQ(browse::FormatFileSize(12345678901LL, us), "11.5 GB");
  // A separator of several bytes (a narrow no-break space) counts as stored.
  EXPECT_LE(browse::FormatFileSize(1234567, QLocale(QLocale::French, QLocale::France)).toUtf8().size(), 10);

  QTemporaryDir dir;
  const QString path = dir.path() + "/big";
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(3LL << 30));  // sparse: no disk space taken
  }
  EXPECT_EQ(browse::FileSizeOf(path), 3LL << 30);
  EXPECT_EQ(browse::FileSizeOf(dir.path() + "/none"), -1);
  EXPECT_EQ(browse::FileDateOf(dir.path() + "/none"), -1);
  const QDateTime when(QDate(2019, 12, 3), QTime(14, 22, 5));
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
  }
  const int64_t dos = browse::FileDateOf(path);
  EXPECT_EQ(browse::FileDateText(dos, us), "12/3/19 2:22:04 PM") << "two-second steps, no time zone";
  const int64_t midnight = dos & ~int64_t(0xFFFF);
  EXPECT_EQ(browse::FileDateText(midnight, us), "12/3/19");
  for (const QLocale& l : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry)) {
    const QString text = browse::FileDateText(dos, l);
    EXPECT_LE(text.toUtf8().size(), 21) << l.name().toStdString() << " " << text.toStdString();
    EXPECT_FALSE(text.isEmpty());
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qRegisterMetaType<browse::FileCheck>();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// Single instance between real processes (the probe program), the socket
// name, and bringing a window forward.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLocalServer>
#include <QMainWindow>
#include <QProcess>
#include <QRandomGenerator>

#include "singleinstance.h"

namespace {

// Generous limits: they only keep a broken run from hanging.
constexpr int kWaitMs = 20000;

QString UniqueCaption() {
  return QStringLiteral("Vtltest%1x%2")
      .arg(QCoreApplication::applicationPid())
      .arg(QRandomGenerator::global()->generate());
}

// One copy of the program, as the probe plays it.
class Copy {
 public:
  // `folder`: the data folder a second copy is started for.
  explicit Copy(const QString& caption, const QString& folder = QString()) : caption_(caption) {
    process_.setProgram(QStringLiteral(APP_PROBE));
    process_.setArguments({QStringLiteral("instance"), caption, folder});
    process_.start();
  }
  // A copy still running at the end is killed, and the socket it leaves
  // behind is removed so that test runs do not litter the socket folder.
  ~Copy() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(kWaitMs);
      QLocalServer::removeServer(TSingleInstance(caption_).ServerName());
    }
  }

  // Waits until the copy has printed `line` (true) or has ended or the
  // limit has passed without it (false).
  bool WaitFor(const QByteArray& line) {
    while (!Lines().contains(line)) {
      if (process_.state() == QProcess::NotRunning) return false;
      if (!process_.waitForReadyRead(kWaitMs)) {
        output_ += process_.readAllStandardOutput();
        return Lines().contains(line);
      }
      output_ += process_.readAllStandardOutput();
    }
    return true;
  }

  // Waits for the end; the exit code, or -1 when it crashed or hung.
  int Finish() {
    if (!process_.waitForFinished(kWaitMs)) return -1;
    output_ += process_.readAllStandardOutput();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }

  void KillHard() {
    process_.kill();  // SIGKILL: no clean-up runs
    process_.waitForFinished(kWaitMs);
  }

  QList<QByteArray> Lines() {
    output_ += process_.readAllStandardOutput();
    QList<QByteArray> lines = output_.split('\n');
    for (auto& l : lines) l = l.trimmed();
    return lines;
  }

 private:
  QString caption_;
  QProcess process_;
  QByteArray output_;
};

// A second copy brings the first forward and ends; started for another
// data folder, it says that folder was not opened, naming both.
TEST(SingleInstanceTest, ASecondCopyAsksTheFirstToShowAndEnds) {
  const QString caption = UniqueCaption();
  Copy first(caption);
  ASSERT_TRUE(first.WaitFor("first"));

  Copy second(caption, "/another catalogue");
  EXPECT_EQ(second.Finish(), 0);  // 0: the first instance answered
  EXPECT_TRUE(second.Lines().contains("second"));
  EXPECT_FALSE(second.Lines().contains("first"));
  EXPECT_TRUE(second.Lines().contains("folder:/catalogue of the first"));
  QByteArray message;
  for (const QByteArray& line : second.Lines())
    if (line.startsWith("message:")) message += line;
  EXPECT_TRUE(message.contains("already running, with the catalogue in|/catalogue of the first"));
  EXPECT_TRUE(message.contains("|/another catalogue|was not opened")) << message.constData();

  EXPECT_TRUE(first.WaitFor("shown"));
  EXPECT_EQ(first.Finish(), 0);

  // With the first gone (cleanly), the next copy is first again; one for
  // the same folder just brings it forward.
  Copy next(caption);
  ASSERT_TRUE(next.WaitFor("first"));
  Copy same(caption, "/catalogue of the first/");
  EXPECT_EQ(same.Finish(), 0);
  for (const QByteArray& line : same.Lines()) EXPECT_FALSE(line.startsWith("message:")) << line.constData();
  EXPECT_TRUE(next.WaitFor("shown"));
}

TEST(SingleInstanceTest, ASocketLeftByAKilledCopyDoesNotBlockTheNext) {
  const QString caption = UniqueCaption();
  const QString socket = TSingleInstance(caption).ServerName();
  {
    Copy crashed(caption);
    ASSERT_TRUE(crashed.WaitFor("first"));
    crashed.KillHard();
  }
#ifndef Q_OS_WIN
  // The precondition of the test: the dead copy's socket is still there.
  ASSERT_TRUE(QFileInfo::exists(socket)) << socket.toStdString();
#endif

  Copy next(caption);
  ASSERT_TRUE(next.WaitFor("first"));
  // And it really serves: a further copy reaches it.
  Copy later(caption);
  EXPECT_EQ(later.Finish(), 0);
  EXPECT_TRUE(later.Lines().contains("second"));
  EXPECT_TRUE(next.WaitFor("shown"));
}

TEST(SingleInstanceTest, TheNameIsAPlainFileNameForAnyCaption) {
  const QString name =
      QFileInfo(TSingleInstance(QStringLiteral("My App/..\\x:y ") + QString(200, u'z'))
                    .ServerName())
          .fileName();
  EXPECT_TRUE(name.startsWith(QStringLiteral("PREVINST_My_App_.._x_y_"))) << name.toStdString();
  EXPECT_LE(name.size(), 64);
  for (QChar c : name)
    EXPECT_TRUE(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.') << name.toStdString();

  // Captions that only differ after the cut still get different names.
  EXPECT_NE(TSingleInstance(QString(100, u'a') + u'1').ServerName(),
            TSingleInstance(QString(100, u'a') + u'2').ServerName());
  // The user is part of the name, after the caption.
  EXPECT_NE(TSingleInstance(QStringLiteral("Vantrell")).ServerName().indexOf(u'_', 9), -1);
}

TEST(SingleInstanceTest, CaptionFromTheExecutableName) {
  EXPECT_EQ(TSingleInstance::CaptionFromExecutable(QStringLiteral("/opt/x/VANTRELL.EXE")),
            QStringLiteral("Vantrell"));
  EXPECT_EQ(TSingleInstance::CaptionFromExecutable(QStringLiteral("vantrell")),
            QStringLiteral("vantrell"));
  EXPECT_EQ(TSingleInstance::CaptionFromExecutable(QStringLiteral("My.Cat.exe")),
            QStringLiteral("My.cat"));
}

class BringForwardTest : public ::testing::Test {
 protected:
  void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }
  QMainWindow main_;
};

TEST_F(BringForwardTest, AHiddenMinimisedWindowIsShownAndKeepsItsMaximisedState) {
  main_.showMaximized();
  Settle();
  main_.showMinimized();
  main_.hide();  // as in the tray
  Settle();
  ASSERT_TRUE(main_.isMinimized());
  BringForward(&main_);
  Settle();
  EXPECT_FALSE(main_.isMinimized());
  EXPECT_TRUE(main_.isMaximized());
  EXPECT_TRUE(main_.isVisible());
}

TEST_F(BringForwardTest, AnOpenModalDialogIsActivatedInstead) {
  main_.show();
  Settle();
  QDialog dialog(&main_);
  dialog.setModal(true);
  dialog.setAttribute(Qt::WA_ShowWithoutActivating);
  dialog.show();
  main_.activateWindow();
  Settle();
  ASSERT_EQ(QApplication::activeModalWidget(), &dialog);

  BringForward(&main_);
  Settle();
  EXPECT_EQ(QApplication::activeWindow(), &dialog);
}

}  // namespace

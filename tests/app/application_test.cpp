// The application's error handler: the message text, and what an escaped
// error does before and after the handler is installed (in the probe
// program, since an installed handler ends its process).
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include "application.h"

namespace {

TEST(ErrorMessageTextTest, AFullStopFollowsLettersAndDigitsOnly) {
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("abc"), QStringLiteral("abc."));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("abc."), QStringLiteral("abc."));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("x!"), QStringLiteral("x!"));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("5"), QStringLiteral("5."));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("(see log)"), QStringLiteral("(see log)"));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("a/"), QStringLiteral("a/."));
  // '?' comes after '.' in the character set.
  EXPECT_EQ(TVantrellApplication::ErrorMessageText("why?"), QStringLiteral("why?."));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText(QStringLiteral("Größe")),
            QStringLiteral("Größe."));
  EXPECT_EQ(TVantrellApplication::ErrorMessageText(""), QString());
}

struct ProbeRun {
  int exitCode = -1;
  QStringList lines;
  QStringList Alerts() const { return lines.filter(QRegularExpression("^alert\\|")); }
};

ProbeRun RunErrorProbe(const QString& mode) {
  QProcess p;
  p.start(QStringLiteral(APP_PROBE), {QStringLiteral("error"), mode});
  ProbeRun run;
  if (!p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished();
    return run;
  }
  if (p.exitStatus() == QProcess::NormalExit) run.exitCode = p.exitCode();
  run.lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  return run;
}

TEST(ErrorHandlerTest, BeforeInstallingTheProgramGoesOnAfterTheMessage) {
  const ProbeRun run = RunErrorProbe("before");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Alerts(), QStringList({"alert|Vantrell|failed before.",
                                       "alert|Vantrell|failed after."}))
      << run.lines.join('\n').toStdString();
  EXPECT_TRUE(run.lines.contains("continued"));
}

TEST(ErrorHandlerTest, AnInstalledHandlerShowsOneMessageAndEndsWithCode1) {
  const ProbeRun run = RunErrorProbe("after");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Alerts(), QStringList({"alert|Vantrell|first failure."}))
      << run.lines.join('\n').toStdString();
  EXPECT_TRUE(run.lines.contains("exec returned 1"));
}

TEST(ErrorHandlerTest, AnErrorInAModalDialogEndsEveryLoop) {
  const ProbeRun run = RunErrorProbe("modal");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Alerts(), QStringList({"alert|Vantrell|failed in dialog."}));
  EXPECT_TRUE(run.lines.contains("dialog returned"));
  EXPECT_TRUE(run.lines.contains("second dialog returned"));
}

TEST(ErrorHandlerTest, AnErrorBeforeTheMainLoopEndsItAtOnce) {
  const ProbeRun run = RunErrorProbe("early");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Alerts(), QStringList({"alert|Vantrell|failed while starting."}));
  EXPECT_TRUE(run.lines.contains("start-up went on"));
}

}  // namespace

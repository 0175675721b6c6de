#include "prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

using prompts::Button;
using prompts::Kind;
using prompts::ScriptedPrompts;
using Call = ScriptedPrompts::Call;

TEST(ScriptedPrompts, AnswersFromTheQueueThenWithTheDefaultButton) {
  ScriptedPrompts script;
  script.Answer(prompts::No);
  script.Answer(prompts::Retry);

  EXPECT_EQ(script.Message(nullptr, Kind::Confirmation, "Delete?", prompts::Yes | prompts::No,
                           prompts::Yes),
            prompts::No);
  EXPECT_EQ(script.Message(nullptr, Kind::Error, "Disk busy", prompts::Abort | prompts::Retry |
                                                                  prompts::Ignore,
                           prompts::Abort),
            prompts::Retry);
  // Queue empty: the box's default button, as a user pressing Enter.
  EXPECT_EQ(script.Message(nullptr, Kind::Warning, "Sure?", prompts::Ok | prompts::Cancel,
                           prompts::Cancel),
            prompts::Cancel);
  EXPECT_EQ(script.Message(nullptr, Kind::Information, "Done"), prompts::Ok);
  // A default the box does not offer falls back to a button it does offer.
  EXPECT_EQ(script.Message(nullptr, Kind::Warning, "Odd", prompts::Yes | prompts::No, prompts::Ok),
            prompts::Yes);
  EXPECT_TRUE(script.problems.isEmpty());

  ASSERT_EQ(script.log.size(), 5);
  const ScriptedPrompts::Entry& first = script.log[0];
  EXPECT_EQ(first.call, Call::Message);
  EXPECT_EQ(first.kind, Kind::Confirmation);
  EXPECT_EQ(first.caption, "Confirm");
  EXPECT_EQ(first.text, "Delete?");
  EXPECT_EQ(first.buttons, prompts::Yes | prompts::No);
  EXPECT_EQ(first.defaultButton, prompts::Yes);
  EXPECT_EQ(first.answer, prompts::No);
  EXPECT_EQ(script.log[1].caption, "Error");
  EXPECT_EQ(script.log[2].caption, "Warning");
  EXPECT_EQ(script.log[3].caption, "Information");
  EXPECT_EQ(script.Texts(), QStringList({"Delete?", "Disk busy", "Sure?", "Done", "Odd"}));
}

TEST(ScriptedPrompts, AnAnswerTheBoxDoesNotOfferIsReturnedAndReported) {
  ScriptedPrompts script;
  script.Answer(prompts::Cancel);
  EXPECT_EQ(script.Message(nullptr, Kind::Information, "Saved"), prompts::Cancel);
  ASSERT_EQ(script.problems.size(), 1);
  EXPECT_TRUE(script.problems[0].contains("Cancel"));
  EXPECT_TRUE(script.problems[0].contains("Saved"));
}

TEST(ScriptedPrompts, RecordsAlertsBeepsAndFolderPickers) {
  ScriptedPrompts script;
  script.AnswerFolder("/media/usb/music");

  script.Alert(nullptr, "Vantrell", "Access violation");
  script.Beep();
  script.Beep();
  EXPECT_EQ(script.ChooseFolder(nullptr, "Copy to", "/home"), "/media/usb/music");
  EXPECT_EQ(script.ChooseFolder(nullptr, "Move to", "/home"), "");  // cancelled

  EXPECT_EQ(script.Count(Call::Alert), 1);
  EXPECT_EQ(script.Beeps(), 2);
  EXPECT_EQ(script.Count(Call::ChooseFolder), 2);
  EXPECT_EQ(script.log[0].caption, "Vantrell");
  EXPECT_EQ(script.log[0].text, "Access violation");
  EXPECT_EQ(script.log[3].caption, "Copy to");
  EXPECT_EQ(script.log[3].text, "/home");
  EXPECT_EQ(script.Last().caption, "Move to");
  EXPECT_EQ(script.Last().folder, "");
  EXPECT_EQ(script.Texts(), QStringList({"Access violation"}));

  script.Clear();
  EXPECT_TRUE(script.log.isEmpty());
  EXPECT_EQ(script.Beeps(), 0);
}

TEST(CurrentPrompts, ReplacedForAScopeAndRestoredAfterIt) {
  prompts::Prompts* real = &prompts::Current();
  ScriptedPrompts outer;
  ScriptedPrompts inner;
  {
    prompts::ScopedPrompts useOuter(&outer);
    {
      prompts::ScopedPrompts useInner(&inner);
      prompts::Current().Beep();
    }
    prompts::Current().Beep();
    prompts::Current().Beep();
  }
  EXPECT_EQ(&prompts::Current(), real);
  EXPECT_EQ(inner.Beeps(), 1);
  EXPECT_EQ(outer.Beeps(), 2);

  prompts::SetCurrent(&outer);
  EXPECT_EQ(&prompts::Current(), &outer);
  prompts::SetCurrent(nullptr);
  EXPECT_EQ(&prompts::Current(), real);
}

// Runs `act` on the first modal box that opens.
void OnModalBox(std::function<void(QMessageBox*)> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(box);
    }
  });
  timer->start(5);
}

TEST(RealPrompts, ShowsTheKindsCaptionAndIconAndReturnsThePressedButton) {
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool defaultIsNo = false;
  OnModalBox([&](QMessageBox* box) {
    caption = box->windowTitle();
    icon = box->icon();
    defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
    box->button(QMessageBox::Yes)->click();
  });
  const Button answer = prompts::Current().Message(nullptr, Kind::Confirmation, "Delete 3 records?",
                                                   prompts::Yes | prompts::No, prompts::No);
  EXPECT_EQ(answer, prompts::Yes);
  EXPECT_EQ(caption, "Confirm");
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_TRUE(defaultIsNo);
}

TEST(RealPrompts, EscapeAnswersCancel) {
  OnModalBox([](QMessageBox* box) {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &esc);
  });
  EXPECT_EQ(prompts::Current().Message(nullptr, Kind::Warning, "Save changes?",
                                       prompts::Yes | prompts::No | prompts::Cancel, prompts::Yes),
            prompts::Cancel);
}

TEST(RealPrompts, AlertCarriesItsOwnCaptionAndTheErrorIcon) {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  OnModalBox([&](QMessageBox* box) {
    caption = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  prompts::Current().Alert(nullptr, "Vantrell", "Not a valid drive ID.");
  EXPECT_EQ(caption, "Vantrell");
  EXPECT_EQ(text, "Not a valid drive ID.");
  EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace

#include "prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace prompts {

namespace {

struct ButtonMap {
  Button button;
  QMessageBox::StandardButton standard;
};

constexpr ButtonMap kButtons[] = {
    {Ok, QMessageBox::Ok},         {Cancel, QMessageBox::Cancel}, {Yes, QMessageBox::Yes},
    {No, QMessageBox::No},         {Abort, QMessageBox::Abort},   {Retry, QMessageBox::Retry},
    {Ignore, QMessageBox::Ignore},
};

QMessageBox::Icon IconOf(Kind kind) {
  switch (kind) {
    case Kind::Warning:
      return QMessageBox::Warning;
    case Kind::Error:
      return QMessageBox::Critical;
    case Kind::Information:
      return QMessageBox::Information;
    case Kind::Confirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// A box must offer at least one button and its default must be one of them.
int SaneButtons(int buttons) {
  int all = 0;
  for (const ButtonMap& m : kButtons) all |= m.button;
  buttons &= all;
  return buttons == 0 ? Ok : buttons;
}

Button SaneDefault(int buttons, Button defaultButton) {
  if (buttons & defaultButton) return defaultButton;
  for (const ButtonMap& m : kButtons)
    if (buttons & m.button) return m.button;
  return Ok;
}

class RealPrompts final : public Prompts {
 public:
  Button Message(QWidget* parent, Kind kind, const QString& text, int buttons,
                 Button defaultButton) override {
    buttons = SaneButtons(buttons);
    defaultButton = SaneDefault(buttons, defaultButton);
    QMessageBox box(IconOf(kind), CaptionOf(kind), text, QMessageBox::NoButton, parent);
    QMessageBox::StandardButtons standard;
    for (const ButtonMap& m : kButtons)
      if (buttons & m.button) standard |= m.standard;
    box.setStandardButtons(standard);
    for (const ButtonMap& m : kButtons)
      if (m.button == defaultButton) box.setDefaultButton(m.standard);
    const int result = box.exec();
    for (const ButtonMap& m : kButtons)
      if (result == m.standard) return m.button;
    // Closed without a button (Escape with no Cancel/No on the box): the
    // most cautious answer the box offers.
    if (buttons & Cancel) return Cancel;
    if (buttons & No) return No;
    return defaultButton;
  }

  void Alert(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.exec();
  }

  void Beep() override { QApplication::beep(); }

  QString ChooseFolder(QWidget* parent, const QString& caption, const QString& start) override {
    return QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
  }
  QString ChooseSaveFile(QWidget* parent, const QString& caption, const QString& start,
                         const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, caption, start, filter);
  }
};

RealPrompts& Real() {
  static RealPrompts real;
  return real;
}

Prompts* g_current = nullptr;

}  // namespace

QString CaptionOf(Kind kind) {
  switch (kind) {
    case Kind::Warning:
      return QStringLiteral("Warning");
    case Kind::Error:
      return QStringLiteral("Error");
    case Kind::Information:
      return QStringLiteral("Information");
    case Kind::Confirmation:
      return QStringLiteral("Confirm");
  }
  return QString();
}

QString ButtonName(Button button) {
  switch (button) {
    case Ok:
      return QStringLiteral("OK");
    case Cancel:
      return QStringLiteral("Cancel");
    case Yes:
      return QStringLiteral("Yes");
    case No:
      return QStringLiteral("No");
    case Abort:
      return QStringLiteral("Abort");
    case Retry:
      return QStringLiteral("Retry");
    case Ignore:
      return QStringLiteral("Ignore");
  }
  return QStringLiteral("?");
}

Prompts& Current() { return g_current ? *g_current : Real(); }

void SetCurrent(Prompts* p) { g_current = p; }

ScopedPrompts::ScopedPrompts(Prompts* p) : previous_(g_current) { g_current = p; }

ScopedPrompts::~ScopedPrompts() { g_current = previous_; }

// ---------------------------------------------------------------------------
// ScriptedPrompts

Button ScriptedPrompts::Message(QWidget*, Kind kind, const QString& text, int buttons,
                                Button defaultButton) {
  Entry e;
  e.call = Call::Message;
  e.kind = kind;
  e.caption = CaptionOf(kind);
  e.text = text;
  e.buttons = buttons;
  e.defaultButton = defaultButton;
  if (!answers.isEmpty()) {
    e.answer = answers.takeFirst();
    if (!(buttons & e.answer))
      problems.append(QStringLiteral("answered %1 to a box without that button: %2")
                          .arg(ButtonName(e.answer), text));
  } else {
    e.answer = SaneDefault(SaneButtons(buttons), defaultButton);
  }
  log.append(e);
  return e.answer;
}

void ScriptedPrompts::Alert(QWidget*, const QString& caption, const QString& text) {
  Entry e;
  e.call = Call::Alert;
  e.kind = Kind::Error;
  e.caption = caption;
  e.text = text;
  e.buttons = Ok;
  log.append(e);
}

void ScriptedPrompts::Beep() {
  Entry e;
  e.call = Call::Beep;
  e.buttons = 0;
  log.append(e);
}

QString ScriptedPrompts::Choose(Call call, const QString& caption, const QString& start, QStringList& queued) {
  Entry e;
  e.call = call;
  e.caption = caption;
  e.text = start;
  e.buttons = 0;
  if (!queued.isEmpty()) e.folder = queued.takeFirst();
  log.append(e);
  return e.folder;
}

QString ScriptedPrompts::ChooseFolder(QWidget*, const QString& caption, const QString& start) {
  return Choose(Call::ChooseFolder, caption, start, folders);
}

QString ScriptedPrompts::ChooseSaveFile(QWidget*, const QString& caption, const QString& start, const QString&) {
  return Choose(Call::ChooseSaveFile, caption, start, files);
}

int ScriptedPrompts::Count(Call call) const {
  int n = 0;
  for (const Entry& e : log)
    if (e.call == call) ++n;
  return n;
}

QStringList ScriptedPrompts::Texts() const {
  QStringList texts;
  for (const Entry& e : log)
    if (e.call == Call::Message || e.call == Call::Alert) texts.append(e.text);
  return texts;
}

ScriptedPrompts::Entry ScriptedPrompts::Last() const { return log.isEmpty() ? Entry{} : log.last(); }

void ScriptedPrompts::Clear() {
  log.clear();
  answers.clear();
  folders.clear();
  files.clear();
  problems.clear();
}

}  // namespace prompts

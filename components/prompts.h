// Every message box, beep and folder picker of the program goes through the
// Prompts interface, so that tests can replace the real dialogs with a script
// that records what the program asked and answers for the user.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace prompts {

// The four kinds of message box; each has its own caption and icon.
enum class Kind { Warning, Error, Information, Confirmation };

// Buttons of a message box; a box offers an OR-ed set of them.
enum Button { Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8, Abort = 0x10, Retry = 0x20, Ignore = 0x40 };

// "Warning", "Error", "Information" or "Confirm".
QString CaptionOf(Kind kind);

// The name of a button as it is written on it ("OK", "Cancel", "Yes", ...).
QString ButtonName(Button button);

class Prompts {
 public:
  virtual ~Prompts() = default;
  // Modal box with the kind's caption and icon; returns the button pressed.
  virtual Button Message(QWidget* parent, Kind kind, const QString& text, int buttons = Ok,
                         Button defaultButton = Ok) = 0;
  // A box with its own caption (the application error handler uses caption
  // "Vantrell", error icon, OK).
  virtual void Alert(QWidget* parent, const QString& caption, const QString& text) = 0;
  virtual void Beep() = 0;
  // Folder picker; empty when cancelled.
  virtual QString ChooseFolder(QWidget* parent, const QString& caption, const QString& start) = 0;
  // "Save as" file picker (`filter` as QFileDialog takes it); empty when
  // cancelled.
  virtual QString ChooseSaveFile(QWidget* parent, const QString& caption, const QString& start,
                                 const QString& filter) = 0;
};

// The real prompts (QMessageBox, QApplication::beep, QFileDialog) unless
// replaced by SetCurrent.
Prompts& Current();
// Replaces the prompts the program uses; nullptr restores the real ones.
// The caller keeps ownership of p and must keep it alive while it is current.
void SetCurrent(Prompts* p);

// Makes p current for the lifetime of the guard and then puts back whatever
// was current before.
class ScopedPrompts {
 public:
  explicit ScopedPrompts(Prompts* p);
  ~ScopedPrompts();
  ScopedPrompts(const ScopedPrompts&) = delete;
  ScopedPrompts& operator=(const ScopedPrompts&) = delete;

 private:
  Prompts* previous_;
};

// A scripted double for tests. It records every call in `log` and answers
// message boxes from `answers` and folder pickers from `folders`, first in
// first out, and "save as" pickers from `files`. With an empty queue a
// message box answers with its default button and a picker with ""
// (cancelled).
//
// An answer that the box does not offer is still returned (the test asked for
// it), but the mismatch is written to `problems` so the test can notice that
// its script and the program disagree.
class ScriptedPrompts : public Prompts {
 public:
  enum class Call { Message, Alert, Beep, ChooseFolder, ChooseSaveFile };

  struct Entry {
    Call call = Call::Message;
    Kind kind = Kind::Information;  // Message only; Alert records Kind::Error
    QString caption;                // the box's caption; the picker's caption
    QString text;                   // the message; the picker's start folder
    int buttons = 0;                // Message: the offered buttons; Alert: Ok
    Button defaultButton = Ok;      // Message only
    Button answer = Ok;             // Message: the button returned
    QString folder;                 // ChooseFolder, ChooseSaveFile: the path returned
  };

  Button Message(QWidget* parent, Kind kind, const QString& text, int buttons = Ok,
                 Button defaultButton = Ok) override;
  void Alert(QWidget* parent, const QString& caption, const QString& text) override;
  void Beep() override;
  QString ChooseFolder(QWidget* parent, const QString& caption, const QString& start) override;
  QString ChooseSaveFile(QWidget* parent, const QString& caption, const QString& start,
                         const QString& filter) override;

  // Queues the answer of the next message box / folder picker.
  void Answer(Button button) { answers.append(button); }
  void AnswerFolder(const QString& folder) { folders.append(folder); }
  void AnswerFile(const QString& file) { files.append(file); }

  // How many calls of a sort were made.
  int Count(Call call) const;
  int Beeps() const { return Count(Call::Beep); }
  // The texts of all message boxes and alerts, in order.
  QStringList Texts() const;
  // The last call of any sort; an empty Entry when nothing was called.
  Entry Last() const;
  // Forgets the log, the queued answers and the problems.
  void Clear();

  QList<Entry> log;
  QList<Button> answers;
  QStringList folders;
  QStringList files;
  QStringList problems;

 private:
  // A picker's call: logged, answered with the next queued path (or none).
  QString Choose(Call call, const QString& caption, const QString& start, QStringList& queued);
};

}  // namespace prompts

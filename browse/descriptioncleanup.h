// The clean-up commands of the description memo: line breaks out of the
// selected text, runs of spaces made single, or both; the memo's keys that
// run them (Ctrl+Tab, Ctrl+Space) and the cleaned copy of Ctrl+C.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QPlainTextEdit;

namespace browse {

enum class Cleanup {
  LineBreaks,   // CR removed, LF made a space
  ExtraSpaces,  // runs of spaces made one
  Both,         // the first, then the second
};

QString Cleaned(const QString& text, Cleanup how);

// The text of the memo's characters [from, to) as the description stores
// it (the memo shows every line break as a line feed).
using StoredText = std::function<QString(int from, int to)>;

// Replaces the memo's selected text by its cleaned form, as typing would
// (undoable, and a change of the memo's text); nothing when nothing is
// selected. The clean-up works on the selection as stored, so that a lone
// CR is removed, not taken for a line feed.
void CleanSelection(QPlainTextEdit* memo, Cleanup how, const StoredText& stored = {});

// Watches the memo's keys. With Ctrl alone held and the memo not empty,
// Tab runs `run(LineBreaks)` and Space `run(ExtraSpaces)`, and the key goes
// no further. When C is released while Ctrl alone is
// held, the clipboard gets the memo's selection single-line, with single
// spaces (the memo itself is not changed).
class MemoKeys : public QObject {
  Q_OBJECT

 public:
  MemoKeys(QPlainTextEdit* memo, std::function<void(Cleanup)> run, StoredText stored = {});

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* memo_;
  std::function<void(Cleanup)> run_;
  StoredText stored_;
};

}  // namespace browse

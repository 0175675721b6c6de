// A description as it is stored and as the memo shows it. The memo turns
// every line break (CR LF, a lone CR, LF) into one of its own; its text
// written back as it reads would change bytes the user never touched. This keeps the stored text beside the shown one
// and maps an edit of the shown text back: what is left of the old text
// keeps its stored bytes, and only the part that changed is new, its line
// breaks written as the description's own were read (CR LF when it had
// any, as text from Windows has).
#pragma once

#include <QString>

#include <vector>

class QPlainTextEdit;

namespace browse {

// The memo's text with every line break as a line feed and every other
// character as it is (its plain text would also turn no-break spaces into
// spaces).
QString MemoText(const QPlainTextEdit* memo);

class TDescriptionText {
 public:
  // The stored text and what the memo shows for it.
  void Load(const QString& stored, const QString& shown);
  const QString& Stored() const { return stored_; }
  // The stored form of the memo's new text; it becomes the text kept.
  QString Edited(const QString& shown);
  // The stored form of the shown characters [from, to).
  QString StoredPart(int from, int to) const;

 private:
  void Align();

  QString stored_, shown_;
  QString lineBreak_ = QStringLiteral("\n");
  // Where each shown character (and the end) begins in the stored text;
  // empty when the shown text is not a known form of the stored one.
  std::vector<qsizetype> starts_{0};
};

}  // namespace browse

#include "descriptioncleanup.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "textcleanup.h"

namespace browse {

namespace {

constexpr QChar kCr(13), kLf(10), kSpace(32);

// The selection as plain text: the text cursor gives a paragraph break
// (U+2029) where the memo holds a line feed.
QString SelectedText(const QPlainTextEdit* memo, const StoredText& stored) {
  const QTextCursor cursor = memo->textCursor();
  if (stored) return stored(cursor.selectionStart(), cursor.selectionEnd());
  QString text = cursor.selectedText();
  text.replace(QChar::ParagraphSeparator, kLf);
  text.replace(QChar::LineSeparator, kLf);
  return text;
}

}  // namespace

QString Cleaned(const QString& text, Cleanup how) {
  QString out = text;
  if (how != Cleanup::ExtraSpaces) out = ReplaceChar(RemoveChar(out, kCr), kLf, kSpace);
  if (how != Cleanup::LineBreaks) out = CollapseRuns(out, kSpace);
  return out;
}

void CleanSelection(QPlainTextEdit* memo, Cleanup how, const StoredText& stored) {
  QTextCursor cursor = memo->textCursor();
  if (!cursor.hasSelection()) return;
  const QString cleaned = Cleaned(SelectedText(memo, stored), how);
  // The cleaned text stays selected, so that a second command works on it.
  const int start = cursor.selectionStart();
  cursor.insertText(cleaned);
  const int end = cursor.position();  // a stored CR LF is one character here
  cursor.setPosition(start);
  cursor.setPosition(end, QTextCursor::KeepAnchor);
  memo->setTextCursor(cursor);
}

MemoKeys::MemoKeys(QPlainTextEdit* memo, std::function<void(Cleanup)> run, StoredText stored)
    : QObject(memo), memo_(memo), run_(std::move(run)), stored_(std::move(stored)) {
  memo->installEventFilter(this);
}

bool MemoKeys::eventFilter(QObject* watched, QEvent* event) {
  if (watched != memo_) return false;
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() != Qt::ControlModifier || QGuiApplication::mouseButtons() != Qt::NoButton) return false;
  if (event->type() == QEvent::KeyPress) {
    if (memo_->document()->isEmpty()) return false;
    // The key is taken: typed after the clean-up, it would replace the
    // cleaned text, which stays selected.
    if (key->key() == Qt::Key_Tab) {
      run_(Cleanup::LineBreaks);
      return true;
    }
    if (key->key() == Qt::Key_Space) {
      run_(Cleanup::ExtraSpaces);
      return true;
    }
    return false;
  }
  if (key->key() == Qt::Key_C && !key->isAutoRepeat()) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(Cleaned(SelectedText(memo_, stored_), Cleanup::Both));
  }
  return false;
}

}  // namespace browse

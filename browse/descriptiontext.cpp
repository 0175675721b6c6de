#include "descriptiontext.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <algorithm>

namespace browse {

namespace {

// The characters the memo shows as a line break.
bool ShownAsLineFeed(QChar c) {
  const char16_t u = c.unicode();
  return u == u'\r' || u == u'\n' || u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

}  // namespace

QString MemoText(const QPlainTextEdit* memo) {
  QString text = memo->document()->toRawText();
  for (QChar& c : text)
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1)
      c = u'\n';
  return text;
}

void TDescriptionText::Load(const QString& stored, const QString& shown) {
  stored_ = stored;
  shown_ = shown;
  lineBreak_ = stored.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
  Align();
}

void TDescriptionText::Align() {
  starts_.assign((size_t)shown_.size() + 1, 0);
  qsizetype i = 0;
  const qsizetype n = stored_.size();
  for (qsizetype j = 0; j < shown_.size(); ++j) {
    const QChar s = shown_[j];
    starts_[(size_t)j] = i;
    if (i < n && stored_[i] == s) {
      ++i;
    } else if (s == u'\n' && i + 1 < n && stored_[i] == u'\r' && stored_[i + 1] == u'\n') {
      i += 2;
    } else if (i < n && s == u'\n' && ShownAsLineFeed(stored_[i])) {
      ++i;
    } else {
      starts_.clear();
      return;
    }
  }
  if (i != n) {
    starts_.clear();
    return;
  }
  starts_.back() = n;
}

QString TDescriptionText::Edited(const QString& shown) {
  auto stored = [this](QString typed) { return typed.replace(u'\n', lineBreak_); };
  QString result;
  if (starts_.empty()) {
    result = stored(shown);
  } else {
    // The unchanged ends keep their stored bytes.
    const qsizetype oldSize = shown_.size(), newSize = shown.size();
    qsizetype head = 0;
    while (head < oldSize && head < newSize && shown_[head] == shown[head]) ++head;
    qsizetype tail = 0;
    while (tail < std::min(oldSize, newSize) - head && shown_[oldSize - 1 - tail] == shown[newSize - 1 - tail]) ++tail;
    result = stored_.left(starts_[(size_t)head]) + stored(shown.mid(head, newSize - tail - head)) +
             stored_.mid(starts_[(size_t)(oldSize - tail)]);
  }
  stored_ = result;
  shown_ = shown;
  Align();
  return result;
}

QString TDescriptionText::StoredPart(int from, int to) const {
  from = std::clamp(from, 0, (int)shown_.size());
  to = std::clamp(to, from, (int)shown_.size());
  if (starts_.empty()) return shown_.mid(from, to - from);
  return stored_.mid(starts_[(size_t)from], starts_[(size_t)to] - starts_[(size_t)from]);
}

}  // namespace browse

#include "bytelimit.h"

#include <QLineEdit>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace fieldlimit {

int Utf8Bytes(const QString& text) {
  int bytes = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

QValidator::State TUtf8Limit::validate(QString& input, int& pos) const {
  if (Utf8Bytes(input) <= bytes_) return Acceptable;
  // Whole characters (grapheme clusters: a letter with its accents) go,
  // from the caret backwards.
  pos = std::clamp(pos, 0, (int)input.size());
  while (pos > 0 && Utf8Bytes(input) > bytes_) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, input);
    finder.setPosition(pos);
    const qsizetype before = finder.toPreviousBoundary();
    const int from = before < 0 ? pos - 1 : (int)before;
    input.remove(from, pos - from);
    pos = from;
  }
  // Text that was too long already before the caret: cut at its end.
  while (!input.isEmpty() && Utf8Bytes(input) > bytes_) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, input);
    finder.toEnd();
    const qsizetype before = finder.toPreviousBoundary();
    input.truncate(before < 0 ? input.size() - 1 : before);
  }
  pos = std::min(pos, (int)input.size());
  return Acceptable;
}

void LimitBytes(QLineEdit* edit, int bytes) {
  // Never fewer bytes than characters: the box's own limit never binds first.
  edit->setMaxLength(bytes);
  edit->setValidator(new TUtf8Limit(bytes, edit));
}

}  // namespace fieldlimit

#include "textcleanup.h"

QString RemoveChar(const QString& text, QChar c) {
  QString out;
  out.reserve(text.size());
  for (const QChar ch : text)
    if (ch != c) out.append(ch);
  return out;
}

QString ReplaceChar(const QString& text, QChar c, QChar r) {
  QString out = text;
  out.replace(c, r);
  return out;
}

QString CollapseRuns(const QString& text, QChar c) {
  QString out;
  out.reserve(text.size());
  bool inRun = false;
  for (const QChar ch : text) {
    if (ch == c) {
      if (inRun) continue;
      inRun = true;
    } else {
      inRun = false;
    }
    out.append(ch);
  }
  return out;
}

// The masks and the order of the names, the same on every system. How a
// folder is read: folderlisting_posix.cpp and folderlisting_win32.cpp.
#include "folderlisting.h"

#include <algorithm>

namespace listing {

NameMasks::NameMasks(const QString& mask) {
  for (QString p : mask.split(u';', Qt::SkipEmptyParts)) {
    p = p.trimmed();
    if (p.isEmpty()) continue;
    if (p == u"*" || p == u"*.*") {
      all_ = true;
      continue;
    }
    patterns_.emplace_back(QRegularExpression::wildcardToRegularExpression(p),
                           QRegularExpression::CaseInsensitiveOption);
  }
  if (all_) patterns_.clear();
}

bool NameMasks::Matches(const QString& name) const {
  if (all_) return true;
  for (const QRegularExpression& re : patterns_)
    if (re.match(name).hasMatch()) return true;
  return false;
}

void SortNames(QStringList& names) {
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
  });
}

}  // namespace listing

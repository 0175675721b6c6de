#include "searchmatch.h"

#include <algorithm>
#include <cstring>

namespace search {

namespace {

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; }

// An ASCII text holding an ASCII needle (already lower case), letter case
// aside.
bool ContainsAscii(std::string_view hay, std::string_view needle) {
  if (needle.size() > hay.size()) return false;
  const char first = needle[0];
  const char firstUpper = first >= 'a' && first <= 'z' ? (char)(first - 32) : first;
  for (size_t i = 0, last = hay.size() - needle.size(); i <= last; ++i) {
    if (hay[i] != first && hay[i] != firstUpper) continue;
    size_t k = 1;
    while (k < needle.size() && LowerAscii(hay[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

}  // namespace

TextMatcher::TextMatcher(const QString& text) : folded_(text.toCaseFolded()) {
  const QByteArray utf8 = folded_.toUtf8();
  asciiOnly_ = IsAscii(std::string_view(utf8.constData(), (size_t)utf8.size()));
  if (asciiOnly_) ascii_.assign(utf8.constData(), (size_t)utf8.size());
}

bool TextMatcher::operator()(std::string_view utf8) const {
  if (folded_.isEmpty()) return false;
  // Most stored texts are ASCII: folding them is lowering their letters,
  // and a needle that folds to other letters cannot occur in them.
  if (IsAscii(utf8)) return asciiOnly_ && ContainsAscii(utf8, ascii_);
  return QString::fromUtf8(utf8.data(), (qsizetype)utf8.size()).toCaseFolded().contains(folded_);
}

}  // namespace search

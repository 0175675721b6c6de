#include "searchmatch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "text.h"

namespace search {

namespace {

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

// The UTF-8 bytes of every character beyond ASCII whose case folding is an
// ASCII letter (the Kelvin sign, the long s): only a text holding one of
// them can hold an ASCII needle other than byte for byte. Asked of Qt's
// own tables once.
const std::vector<std::string>& FoldingToAscii() {
  static const std::vector<std::string> found = [] {
    std::vector<std::string> out;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      if (QChar::toCaseFolded(c) < 0x80) out.push_back(QString(QChar(c)).toStdString());
    }
    return out;
  }();
  return found;
}

// Whether the text holds one of those characters: one pass that looks
// closer only at the first byte of a character beyond ASCII.
bool HoldsFoldingToAscii(std::string_view utf8) {
  const auto& special = FoldingToAscii();
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((unsigned char)utf8[i] < 0xC0) continue;
    for (const std::string& s : special)
      if (utf8.compare(i, s.size(), s) == 0) return true;
  }
  return false;
}

}  // namespace

TextMatcher::TextMatcher(const QString& text) : folded_(text.toCaseFolded()) {
  const QByteArray utf8 = folded_.toUtf8();
  asciiOnly_ = IsAscii(std::string_view(utf8.constData(), (size_t)utf8.size()));
  if (asciiOnly_) ascii_.assign(utf8.constData(), (size_t)utf8.size());
  FoldingToAscii();
}

bool TextMatcher::operator()(std::string_view utf8) const {
  if (folded_.isEmpty()) return false;
  if (asciiOnly_) {
    // ASCII letters fold to ASCII letters: a match byte for byte, letter
    // case aside, is a match; without one, only a text with a character
    // that folds to ASCII needs the full comparison.
    if (xbase::ContainsAsciiFolded(utf8.data(), utf8.size(), ascii_)) return true;
    if (!HoldsFoldingToAscii(utf8)) return false;
  } else if (IsAscii(utf8)) {
    return false;  // an ASCII text folds to ASCII, which cannot hold the needle
  }
  return QString::fromUtf8(utf8.data(), (qsizetype)utf8.size()).toCaseFolded().contains(folded_);
}

}  // namespace search

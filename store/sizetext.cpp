#include "sizetext.h"

#include <cstdio>

#include "schema.h"

namespace store {

std::string SizeFieldText(int64_t size, std::string_view grouped, std::string_view decimalMark) {
  if (grouped.size() <= size_t(kSizeWidth)) return std::string(grouped);
  std::string digits = std::to_string(size);
  if (digits.size() <= size_t(kSizeWidth)) return digits;
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  double value = double(size);
  int unit = -1;
  do {
    value /= 1024.0;
    ++unit;
  } while (value >= 1000.0 && unit < 5);
  char number[32];
  std::snprintf(number, sizeof number, "%.1f", value);
  std::string plain = std::string(number) + ' ' + kUnits[unit];
  const size_t point = plain.find('.');
  std::string marked = plain;
  if (point != std::string::npos) marked.replace(point, 1, decimalMark);
  return marked.size() <= size_t(kSizeWidth) ? marked : plain;
}

namespace {

// The thousands separators a size may be written with, in UTF-8.
constexpr std::string_view kSeparators[] = {
    ",", ".", "'", " ",
    "\xC2\xA0",      // no-break space
    "\xE2\x80\xAF",  // narrow no-break space
    "\xE2\x80\x89",  // thin space
    "\xE2\x80\x99",  // right single quotation mark
};

}  // namespace

bool SizeFieldTextOf(std::string_view given, std::string* stored) {
  // Blanks at the end are the field's padding.
  std::string_view text = given;
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() <= size_t(kSizeWidth)) {
    *stored = std::string(text);
    return true;
  }
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  // Digits, in groups when separated: one to three first, then two or
  // three (the Indian way groups by two before the last three), the last
  // three, all between one kind of separator.
  std::string_view separator;
  std::string digits;
  size_t group = 0;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      ++group;
      ++i;
      continue;
    }
    std::string_view found;
    for (std::string_view s : kSeparators)
      if (text.substr(i, s.size()) == s) {
        found = s;
        break;
      }
    if (found.empty() || group == 0 || group > 3 || (!separator.empty() && (group < 2 || found != separator)))
      return false;
    separator = found;
    group = 0;
    i += found.size();
  }
  if (digits.empty() || digits.size() > 18 || (!separator.empty() && group != 3)) return false;
  *stored = SizeFieldText(std::stoll(digits), text, separator == "." ? "," : ".");
  return true;
}

}  // namespace store

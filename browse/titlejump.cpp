#include "titlejump.h"

#include <string>

namespace browse {

namespace {

// The bytes of the first UTF-8 character of a text; "" for an empty text.
std::string Initial(const std::string& text) {
  if (text.empty()) return {};
  auto lead = (unsigned char)text[0];
  size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return text.substr(0, n);
}

}  // namespace

xbase::Bookmark JumpToNextInitial(xbase::Table& cursor, std::string_view titleField) {
  if (cursor.IsEmpty()) return {};
  const std::string first = Initial(cursor.FieldByName(titleField));
  const int64_t limit = cursor.RecordCount() + 1;
  for (int64_t i = 0; i < limit; ++i) {
    if (Initial(cursor.FieldByName(titleField)) != first) break;
    cursor.Next();
    if (cursor.Eof()) {
      cursor.First();
      break;
    }
  }
  return cursor.GetBookmark();
}

}  // namespace browse

#include "xbase.h"

namespace xbase {

const char* StateName(State s) {
  switch (s) {
    case State::Inactive: return "Inactive";
    case State::Browse: return "Browse";
    case State::Edit: return "Edit";
    case State::Insert: return "Insert";
  }
  return "";
}

std::string Printable(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  const auto escape = [&](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned c = p[i];
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F)
        escape((unsigned char)c);
      else
        out += (char)c;
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is kept, but for the C1 control
    // characters (U+0080..U+009F), which terminals act on too.
    int extra = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
    unsigned cp = extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    bool ok = extra > 0 && n - i > size_t(extra);
    for (int k = 1; ok && k <= extra; ++k) {
      const unsigned cc = p[i + k];
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    ok = ok && !(extra == 2 && cp < 0x800) && !(extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) &&
         !(cp >= 0xD800 && cp <= 0xDFFF) && !(cp >= 0x80 && cp <= 0x9F);
    if (!ok) {
      escape((unsigned char)c);
      ++i;
      continue;
    }
    out.append(text.substr(i, size_t(extra) + 1));
    i += size_t(extra) + 1;
  }
  return out;
}

}  // namespace xbase

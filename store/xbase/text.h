// Byte-level text helpers of the engine (UTF-8 aware where it matters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace xbase {

// Case mapping of one UTF-8 string into `out` (appended). Keeps the byte
// length, so a key built with it keeps its width.
void AppendUpper(std::string_view s, std::string& out);
void AppendLower(std::string_view s, std::string& out);
void UpperInPlace(char* p, size_t n);
void LowerInPlace(char* p, size_t n);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past
// U+10FFFF. The one check of the program's own code.
bool ValidUtf8(std::string_view text);

// Length of s without trailing blanks.
inline size_t TrimmedLength(const char* p, size_t n) {
  while (n > 0 && p[n - 1] == ' ') --n;
  return n;
}
inline std::string_view TrimRight(std::string_view s) {
  return s.substr(0, TrimmedLength(s.data(), s.size()));
}

// Compares a (virtually padded with blanks to any length) with b over b's
// whole length: the xBase non-exact "=".
bool PaddedStartsWith(std::string_view a, std::string_view b);

// Compares two keys as if both were padded with blanks to the same width.
int ComparePadded(std::string_view a, std::string_view b);

uint32_t Crc32(const void* data, size_t n);

// Length of a blank-padded field without its trailing blanks, eight bytes at
// a time.
size_t PaddedLength(const char* p, size_t n);

// Whether `needle` (ASCII, already lower case) occurs in p[0, n) compared
// without regard to ASCII letter case.
bool ContainsAsciiFolded(const char* p, size_t n, std::string_view needle);
// The same; when it finds nothing, *beyondAscii tells whether p[0, n)
// holds a byte beyond ASCII.
bool ContainsAsciiFolded(const char* p, size_t n, std::string_view needle, bool* beyondAscii);

// Which bytes beyond ASCII a sieve offers: none, every one, or the bytes
// of `leads` (at most four) and every byte from 0xF0 up.
struct SieveHighBytes {
  enum class Kind { None, Leads, All } kind = Kind::None;
  std::string leads;
};

// One field of `count` records side by side: record r's field is
// p[r * stride + offset, + width), and p holds count * stride bytes.
struct FieldColumn {
  const char* p;
  size_t count, stride, offset, width;
};

// A sieve over one field of many records: calls maybe(r), r ascending, for
// each record whose field holds a place where `needle` (ASCII, lower case;
// may be empty) could begin, ASCII letter case aside, or a byte beyond
// ASCII that `high` asks for. A place is judged by the needle's first and
// last bytes only: a record not offered cannot hold the needle in its field,
// but one offered may still not.
void SieveAsciiFolded(const FieldColumn& column, std::string_view needle, const SieveHighBytes& high,
                      const std::function<void(size_t)>& maybe);

}  // namespace xbase

#include "fold.h"

#include <unicode/ucasemap.h>
#include <unicode/uchar.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "text.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace xbase {

namespace {

// One case map for the whole process; the folding calls only read it, so
// threads share it.
const UCaseMap* CaseMap() {
  static const UCaseMap* const map = [] {
    UErrorCode status = U_ZERO_ERROR;
    UCaseMap* m = ucasemap_open("", U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) ? m : nullptr;
  }();
  return map;
}

// Removes the combining dot above (U+0307, bytes CC 87) that directly
// follows an "i": full folding turns "İ" into "i" + U+0307, and a user
// searching types a plain "i".
void DropDotAfterI(std::string& s) {
  size_t at = s.find("i\xCC\x87");
  if (at == std::string::npos) return;
  size_t out = at;
  for (size_t in = at; in < s.size();) {
    if (s[in] == 'i' && s.compare(in + 1, 2, "\xCC\x87") == 0) {
      s[out++] = 'i';
      in += 3;
    } else {
      s[out++] = s[in++];
    }
  }
  s.resize(out);
}

// Folds into `out` (replacing what it held).
void FoldInto(std::string_view utf8, std::string& out) {
  const UCaseMap* map = CaseMap();
  if (map == nullptr || utf8.size() > (size_t)INT32_MAX / 4) {
    // Without the Unicode tables: ASCII letters alone.
    out.assign(utf8);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
    return;
  }
  // One character folds to at most three, each at most as long as the
  // longest: three times the length is nearly always room enough.
  out.resize(utf8.size() * 3 + 16);
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucasemap_utf8FoldCase(map, out.data(), (int32_t)out.size(), utf8.data(), (int32_t)utf8.size(),
                                            &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && attempt == 0) {
      out.resize((size_t)n + 1);
      continue;
    }
    if (U_FAILURE(status)) {
      out.assign(utf8);
      return;
    }
    out.resize((size_t)n);
    break;
  }
  DropDotAfterI(out);
}

bool IsAscii(std::string_view s) {
  // Eight bytes at a time: most stored paths are plain ASCII.
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < s.size(); ++i)
    if ((unsigned char)s[i] >= 0x80) return false;
  return true;
}

// A character of the Basic Multilingual Plane whose folding holds ASCII
// characters (the Kelvin sign, the long s, "ß", ligatures such as "ﬀ",
// "İ"), with those characters. The dot above that is dropped after an "i"
// counts as one that holds the "i": it joins the "i" to what follows.
struct FoldingToAscii {
  char32_t c;
  uint64_t ascii[2];  // bit b: ASCII byte b is in its folding
};

// All of them, asked of the folding itself once (only characters that
// change when folded need asking).
const std::vector<FoldingToAscii>& FoldingsToAscii() {
  static const std::vector<FoldingToAscii> list = [] {
    std::vector<FoldingToAscii> out;
    std::string one, folded;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      if (!u_hasBinaryProperty((UChar32)c, UCHAR_CHANGES_WHEN_CASEFOLDED)) continue;
      one.clear();
      if (c < 0x800) {
        one += (char)(0xC0 | (c >> 6));
      } else {
        one += (char)(0xE0 | (c >> 12));
        one += (char)(0x80 | ((c >> 6) & 0x3F));
      }
      one += (char)(0x80 | (c & 0x3F));
      FoldInto(one, folded);
      FoldingToAscii f{c, {0, 0}};
      for (char b : folded)
        if ((unsigned char)b < 0x80) f.ascii[(unsigned char)b >> 6] |= uint64_t(1) << ((unsigned char)b & 63);
      if (f.ascii[0] | f.ascii[1]) out.push_back(f);
    }
    out.push_back({0x0307, {0, uint64_t(1) << ('i' - 64)}});
    return out;
  }();
  return list;
}

// Whether the text holds a character marked in `marked` (one bit per
// character of the Basic Multilingual Plane). A character beyond it is
// taken as marked (none folds to ASCII today; a full folding costs such
// rare texts little).
bool HoldsMarked(std::string_view s, const std::vector<uint64_t>& marked) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  // The character whose first byte is at `at` (a byte of 0xC0 or more).
  const auto markedAt = [&](size_t at) {
    const unsigned char b = p[at];
    if (b >= 0xF0) return true;
    uint32_t c;
    if (b < 0xE0) {
      if (at + 1 >= n) return false;
      c = ((b & 0x1Fu) << 6) | (p[at + 1] & 0x3Fu);
    } else {
      if (at + 2 >= n) return false;
      c = ((b & 0x0Fu) << 12) | ((p[at + 1] & 0x3Fu) << 6) | (p[at + 2] & 0x3Fu);
    }
    return ((marked[c >> 6] >> (c & 63)) & 1) != 0;
  };
  size_t i = 0;
#ifdef __SSE2__
  // Sixteen bytes at a time: only bytes beyond ASCII are looked at.
  for (; i + 16 <= n; i += 16) {
    unsigned high = (unsigned)_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    while (high) {
      const size_t at = i + (size_t)std::countr_zero(high);
      high &= high - 1;
      if (p[at] >= 0xC0 && markedAt(at)) return true;
    }
  }
#endif
  for (; i < n; ++i)
    if (p[i] >= 0xC0 && markedAt(i)) return true;
  return false;
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string out;
  FoldInto(utf8, out);
  return out;
}

FoldedSearch::FoldedSearch(std::string_view utf8) : needle_(FoldCase(utf8)) {
  asciiNeedle_ = IsAscii(needle_);
  if (!asciiNeedle_ || needle_.empty()) return;
  // An ASCII needle can meet the folding of a character beyond ASCII only
  // where that folding holds one of the needle's own characters: only such
  // characters make a text worth folding.
  uint64_t mine[2] = {0, 0};
  for (char b : needle_) mine[(unsigned char)b >> 6] |= uint64_t(1) << ((unsigned char)b & 63);
  marked_.assign(0x10000 / 64, 0);
  for (const FoldingToAscii& f : FoldingsToAscii())
    if ((f.ascii[0] & mine[0]) | (f.ascii[1] & mine[1])) marked_[f.c >> 6] |= uint64_t(1) << (f.c & 63);
}

bool FoldedSearch::operator()(std::string_view utf8) const {
  if (needle_.empty()) return false;
  if (asciiNeedle_) {
    // ASCII letters fold to ASCII letters: a match byte for byte, letter
    // case aside, is a match. Without one, only a text with a character
    // whose folding holds ASCII can match.
    bool beyondAscii = false;
    if (ContainsAsciiFolded(utf8.data(), utf8.size(), needle_, &beyondAscii)) return true;
    if (!beyondAscii || !HoldsMarked(utf8, marked_)) return false;
  } else if (IsAscii(utf8)) {
    return false;  // an ASCII text folds to ASCII, which cannot hold the needle
  }
  thread_local std::string folded;
  FoldInto(utf8, folded);
  return folded.find(needle_) != std::string::npos;
}

}  // namespace xbase

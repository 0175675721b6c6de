#include "fold.h"

#include <algorithm>
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

// A character's folding, as UTF-8.
struct FoldTo {
  uint8_t size;
  char bytes[7];
};

// kFoldFrom (the characters that change, ascending) and kFoldTo (their
// foldings), generated from the Unicode data by scripts/gen_foldtable.py.
#include "foldtable.inc"

static_assert(kFoldMaxBytes < sizeof(FoldTo::bytes), "a folding does not fit");
static_assert(kFoldMaxGrowth <= 3, "FoldInto's room is three bytes out for one in");

// Where the folding of a character of the Basic Multilingual Plane is, in
// two steps: its high byte picks a block of 256 characters, its low byte a
// slot in it holding the folding's place in kFoldTo plus one (0: the
// character stays as it is). Blocks without a change share block 0.
constexpr size_t CountFoldBlocks() {
  size_t blocks = 1;
  for (size_t i = 0; i < kFoldCount; ++i) {
    if (i > 0 && kFoldFrom[i] <= kFoldFrom[i - 1]) throw "the folding table is out of order";
    if (kFoldFrom[i] < 0x10000 && (i == 0 || kFoldFrom[i] >> 8 != kFoldFrom[i - 1] >> 8)) ++blocks;
  }
  return blocks;
}

struct FoldIndex {
  uint8_t block[256] = {};
  uint16_t slot[CountFoldBlocks()][256] = {};
  size_t bmpCount = 0;  // the foldings in the Basic Multilingual Plane come first
};

constexpr FoldIndex MakeFoldIndex() {
  FoldIndex x;
  size_t blocks = 0;
  for (size_t i = 0; i < kFoldCount && kFoldFrom[i] < 0x10000; ++i) {
    const char32_t c = kFoldFrom[i];
    if (x.block[c >> 8] == 0) x.block[c >> 8] = (uint8_t)++blocks;
    x.slot[x.block[c >> 8]][c & 0xFF] = (uint16_t)(i + 1);
    x.bmpCount = i + 1;
  }
  return x;
}

constexpr FoldIndex kFoldIndex = MakeFoldIndex();

// The folding of a character, or null where it stays as it is.
inline const FoldTo* FoldingOf(char32_t c) {
  if (c < 0x10000) {
    const uint16_t at = kFoldIndex.slot[kFoldIndex.block[c >> 8]][c & 0xFF];
    return at == 0 ? nullptr : &kFoldTo[at - 1];
  }
  const char32_t* end = kFoldFrom + kFoldCount;
  const char32_t* at = std::lower_bound(kFoldFrom + kFoldIndex.bmpCount, end, c);
  return at != end && *at == c ? &kFoldTo[at - kFoldFrom] : nullptr;
}

// The well-formed UTF-8 character at p (its first byte 0x80 or more) with
// `avail` bytes of text: its length, with the character in *c, or 0 where
// the bytes are not well-formed UTF-8 (overlong forms, surrogates, beyond
// U+10FFFF, a sequence cut short).
inline size_t DecodeAt(const unsigned char* p, size_t avail, char32_t* c) {
  const unsigned b = p[0];
  if (b < 0xC2 || b > 0xF4) return 0;
  if (b < 0xE0) {
    if (avail < 2 || (p[1] & 0xC0) != 0x80) return 0;
    *c = ((b & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    return 2;
  }
  // The second byte's range narrows after E0, ED, F0 and F4.
  const unsigned low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
  const unsigned high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
  if (b < 0xF0) {
    if (avail < 3 || p[1] < low || p[1] > high || (p[2] & 0xC0) != 0x80) return 0;
    *c = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    return 3;
  }
  if (avail < 4 || p[1] < low || p[1] > high || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) return 0;
  *c = ((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
  return 4;
}

// Eight ASCII bytes with their capital letters made small.
inline uint64_t LowerAscii8(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  // The high bit of each byte: set from 'A' on, and set beyond 'Z'.
  const uint64_t fromA = w + kOnes * (0x80 - 'A');
  const uint64_t beyondZ = w + kOnes * (0x80 - 'Z' - 1);
  return w | (((fromA & ~beyondZ) & (kOnes * 0x80)) >> 2);
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
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  // A character folds to at most three times its bytes; the spare bytes
  // let a folding be copied whole.
  out.resize(n * 3 + sizeof(FoldTo::bytes));
  char* o = out.data();
  size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      if ((w & 0x8080808080808080ull) == 0) {
        w = LowerAscii8(w);
        std::memcpy(o, &w, 8);
        o += 8;
        i += 8;
        continue;
      }
    }
    const unsigned char b = p[i];
    if (b < 0x80) {
      *o++ = (char)((unsigned)(b - 'A') < 26u ? b + 32 : b);
      ++i;
      continue;
    }
    char32_t c;
    const size_t len = DecodeAt(p + i, n - i, &c);
    if (len == 0) {
      *o++ = (char)b;  // not UTF-8: kept as it is
      ++i;
      continue;
    }
    if (const FoldTo* f = FoldingOf(c)) {
      std::memcpy(o, f->bytes, sizeof(f->bytes));
      o += f->size;
    } else {
      for (size_t k = 0; k < len; ++k) *o++ = (char)p[i + k];
    }
    i += len;
  }
  out.resize((size_t)(o - out.data()));
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

// All of them, read from the folding table once.
const std::vector<FoldingToAscii>& FoldingsToAscii() {
  static const std::vector<FoldingToAscii> list = [] {
    std::vector<FoldingToAscii> out;
    for (size_t i = 0; i < kFoldIndex.bmpCount; ++i) {
      if (kFoldFrom[i] < 0x80) continue;
      FoldingToAscii f{kFoldFrom[i], {0, 0}};
      for (size_t k = 0; k < kFoldTo[i].size; ++k) {
        const auto b = (unsigned char)kFoldTo[i].bytes[k];
        if (b < 0x80) f.ascii[b >> 6] |= uint64_t(1) << (b & 63);
      }
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

std::string_view FoldingUnicodeVersion() { return kFoldUnicodeVersion; }

std::string FoldCase(std::string_view utf8) {
  std::string out;
  FoldInto(utf8, out);
  return out;
}

FoldedSearch::FoldedSearch(std::string_view utf8) : needle_(FoldCase(utf8)) {
  asciiNeedle_ = IsAscii(needle_);
  // Any other needle is found only in a text beyond ASCII.
  if (!asciiNeedle_) sieveHigh_.kind = SieveHighBytes::Kind::All;
  if (!asciiNeedle_ || needle_.empty()) return;
  // An ASCII needle can meet the folding of a character beyond ASCII only
  // where that folding holds one of the needle's own characters: only such
  // characters make a text worth folding.
  uint64_t mine[2] = {0, 0};
  for (char b : needle_) mine[(unsigned char)b >> 6] |= uint64_t(1) << ((unsigned char)b & 63);
  marked_.assign(0x10000 / 64, 0);
  for (const FoldingToAscii& f : FoldingsToAscii())
    if ((f.ascii[0] & mine[0]) | (f.ascii[1] & mine[1])) {
      marked_[f.c >> 6] |= uint64_t(1) << (f.c & 63);
      const char lead = (char)(f.c < 0x800 ? 0xC0 | (f.c >> 6) : 0xE0 | (f.c >> 12));
      if (sieveHigh_.leads.find(lead) == std::string::npos) sieveHigh_.leads += lead;
      sieveHigh_.kind = SieveHighBytes::Kind::Leads;
    }
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

void FoldedSearch::Sieve(const FieldColumn& column, const std::function<void(size_t)>& maybe) const {
  // An ASCII needle is found byte for byte, or through a marked character
  // (HoldsMarked takes every character beyond the Basic Multilingual Plane
  // as marked, as the sieve offers every byte from 0xF0 up).
  SieveAsciiFolded(column, asciiNeedle_ ? std::string_view(needle_) : std::string_view(), sieveHigh_, maybe);
}

}  // namespace xbase

#include "text.h"

#include <bit>
#include <functional>
#include <cstring>

#include "xbase.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define XBASE_HAVE_SSE2 1
#endif
// Wider loads where the processor offers them, chosen as the program runs.
// Not on Windows: there GCC may keep a 32-byte value on a stack aligned to
// 16 bytes only, and an aligned move of it faults.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#include <immintrin.h>
#define XBASE_HAVE_AVX2 1
#endif

namespace xbase {

namespace {

// Upper-case partner of a lower-case code point, 0 when there is none or
// when it would take another number of bytes in UTF-8.
uint32_t UpperOf(uint32_t c) {
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return 0;
    bool oddBlock = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddBlock) return (c % 2 == 0) ? c - 1 : 0;
    return (c % 2 == 1) ? c - 1 : 0;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;                    // accented Greek vowels
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c == 0x3CA || c == 0x3CB) return c - 0x20;   // with dialytika
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return 0;
}

uint32_t LowerOf(uint32_t c) {
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return 0;
    bool oddBlock = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddBlock) return (c % 2 == 1) ? c + 1 : 0;
    return (c % 2 == 0) ? c + 1 : 0;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c == 0x3AA || c == 0x3AB) return c + 0x20;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return 0;
}

template <bool Upper>
void MapInPlace(char* p, size_t n) {
  size_t i = 0;
  // Eight ASCII bytes at a time: find the letters to change with word
  // arithmetic and flip their 0x20 bit.
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) break;
    constexpr uint64_t ones = 0x0101010101010101ull;
    const uint64_t lo = Upper ? 'a' : 'A', hi = Upper ? 'z' : 'Z';
    uint64_t ge = (w + (128 - lo) * ones);          // high bit set where byte >= lo
    uint64_t gt = (w + (127 - hi) * ones);          // high bit set where byte > hi
    uint64_t mask = (ge & ~gt) & 0x8080808080808080ull;
    w ^= (mask >> 2);  // 0x80 >> 2 == 0x20
    std::memcpy(p + i, &w, 8);
  }
  for (; i < n;) {
    unsigned char b = (unsigned char)p[i];
    if (b < 0x80) {
      if (Upper) {
        if (b >= 'a' && b <= 'z') p[i] = (char)(b - 32);
      } else {
        if (b >= 'A' && b <= 'Z') p[i] = (char)(b + 32);
      }
      ++i;
      continue;
    }
    // Only two-byte sequences are mapped; the rest is copied as it is.
    if ((b & 0xE0) == 0xC0 && i + 1 < n && (((unsigned char)p[i + 1]) & 0xC0) == 0x80) {
      uint32_t c = ((b & 0x1Fu) << 6) | (((unsigned char)p[i + 1]) & 0x3Fu);
      uint32_t m = Upper ? UpperOf(c) : LowerOf(c);
      if (m >= 0x80 && m < 0x800) {
        p[i] = (char)(0xC0 | (m >> 6));
        p[i + 1] = (char)(0x80 | (m & 0x3F));
      }
      i += 2;
      continue;
    }
    ++i;
  }
}

}  // namespace

void UpperInPlace(char* p, size_t n) { MapInPlace<true>(p, n); }
void LowerInPlace(char* p, size_t n) { MapInPlace<false>(p, n); }

void AppendUpper(std::string_view s, std::string& out) {
  size_t start = out.size();
  out.append(s.data(), s.size());
  MapInPlace<true>(out.data() + start, s.size());
}

void AppendLower(std::string_view s, std::string& out) {
  size_t start = out.size();
  out.append(s.data(), s.size());
  MapInPlace<false>(out.data() + start, s.size());
}

std::string Utf8Upper(std::string_view s) {
  std::string out;
  AppendUpper(s, out);
  return out;
}

std::string Utf8Lower(std::string_view s) {
  std::string out;
  AppendLower(s, out);
  return out;
}

std::string_view CutToWidth(std::string_view s, size_t bytes) {
  if (s.size() <= bytes) return s;
  size_t n = bytes;
  // Step back over continuation bytes to the start of the cut character.
  size_t k = n;
  while (k > 0 && (((unsigned char)s[k]) & 0xC0) == 0x80) --k;
  // s[k] starts the character that straddles or begins at the cut.
  if (k < n) {
    unsigned char lead = (unsigned char)s[k];
    size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (k + len > n) n = k;
  }
  return s.substr(0, n);
}

std::string QuoteLiteral(std::string_view text) {
  if (text.find('"') == std::string_view::npos) return "\"" + std::string(text) + "\"";
  if (text.find('\'') == std::string_view::npos) return "'" + std::string(text) + "'";
  if (text.find(']') == std::string_view::npos) return "[" + std::string(text) + "]";
  // Every kind of quote occurs: split the text before each double quote and
  // quote the pieces that hold one with single quotes or brackets.
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find('"', i + 1);
    if (j == std::string_view::npos) j = text.size();
    std::string_view piece = text.substr(i, j - i);
    if (!out.empty()) out += "+";
    if (piece.find('"') == std::string_view::npos) {
      out += "\"" + std::string(piece) + "\"";
    } else if (piece.find('\'') == std::string_view::npos) {
      out += "'" + std::string(piece) + "'";
    } else if (piece.find(']') == std::string_view::npos) {
      out += "[" + std::string(piece) + "]";
    } else {
      // The piece starts with the double quote and holds ' and ]: quote the
      // double quote alone and the rest in double quotes.
      out += "'\"'+";
      out += QuoteLiteral(piece.substr(1));
    }
    i = j;
  }
  return out;
}

bool PaddedStartsWith(std::string_view a, std::string_view b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  if (std::memcmp(a.data(), b.data(), common) != 0) return false;
  for (size_t i = common; i < b.size(); ++i)
    if (b[i] != ' ') return false;
  return true;
}

int ComparePadded(std::string_view a, std::string_view b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  int c = std::memcmp(a.data(), b.data(), common);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  if (a.size() > b.size()) {
    for (size_t i = common; i < a.size(); ++i)
      if ((unsigned char)a[i] != ' ') return (unsigned char)a[i] < ' ' ? -1 : 1;
  } else {
    for (size_t i = common; i < b.size(); ++i)
      if ((unsigned char)b[i] != ' ') return (unsigned char)b[i] < ' ' ? 1 : -1;
  }
  return 0;
}

namespace {
// CRC-32 (the zlib polynomial), eight bytes per step.
struct CrcTable {
  uint32_t t[8][256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
};
}  // namespace

size_t PaddedLength(const char* p, size_t n) {
#ifdef XBASE_HAVE_SSE2
  const __m128i blank16 = _mm_set1_epi8(' ');
  while (n >= 16) {
    const __m128i v = _mm_loadu_si128((const __m128i*)(p + n - 16));
    const unsigned text = ~(unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank16)) & 0xFFFFu;
    if (text) return n - 16 + (size_t)(32 - std::countl_zero(text));
    n -= 16;
  }
#endif
  constexpr uint64_t blanks = 0x2020202020202020ull;
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p + n - 8, 8);
    if (w != blanks) break;
    n -= 8;
  }
  while (n > 0 && p[n - 1] == ' ') --n;
  return n;
}

namespace {

// Whether p[from, n) holds a byte beyond ASCII.
bool HighByteIn(const char* p, size_t from, size_t n) {
  for (size_t i = from; i < n; ++i)
    if ((unsigned char)p[i] >= 0x80) return true;
  return false;
}

// The search of ContainsAsciiFolded; with kNote, *high tells, when nothing
// was found, whether the text holds a byte beyond ASCII (noted from the
// bytes the search loads anyway).
template <bool kNote>
bool AsciiFoldedSearch(const char* p, size_t n, std::string_view needle, bool* high) {
  const size_t m = needle.size();
  if (m == 0) return true;
  if (n < m) {
    if constexpr (kNote) *high = HighByteIn(p, 0, n);
    return false;
  }
  const unsigned char first = (unsigned char)needle[0];
  const bool letter = first >= 'a' && first <= 'z';
  auto equalAt = [&](size_t i) {
    for (size_t k = 0; k < m; ++k) {
      unsigned char c = (unsigned char)p[i + k];
      if ((unsigned)(c - 'A') < 26u) c = (unsigned char)(c + 32);
      if (c != (unsigned char)needle[k]) return false;
    }
    return true;
  };
  const size_t last = n - m;  // last start position
  constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  // Candidates must match both the needle's first and last byte; eight
  // start positions are tested at a time and each candidate is then
  // compared in full.
  const unsigned char lastc = (unsigned char)needle[m - 1];
  const bool lastLetter = lastc >= 'a' && lastc <= 'z';
  const uint64_t pattern = ones * first, pattern2 = ones * lastc;
  const uint64_t fold = letter ? 0x2020202020202020ull : 0;
  const uint64_t fold2 = lastLetter ? 0x2020202020202020ull : 0;
  size_t i = 0;
  // With kNote: the bytes before `noted` were looked at for one beyond ASCII.
  [[maybe_unused]] size_t noted = 0;
  [[maybe_unused]] bool sawHigh = false;
#ifdef XBASE_HAVE_SSE2
  // Sixteen start positions at a time where the processor offers it.
  {
    const __m128i want1 = _mm_set1_epi8((char)first), want2 = _mm_set1_epi8((char)lastc);
    const __m128i fold1 = _mm_set1_epi8(letter ? 0x20 : 0), fold2v = _mm_set1_epi8(lastLetter ? 0x20 : 0);
    [[maybe_unused]] __m128i highs16 = _mm_setzero_si128();
    for (; i + 16 <= last + 1; i += 16) {
      const __m128i a = _mm_loadu_si128((const __m128i*)(p + i));
      const __m128i b = _mm_loadu_si128((const __m128i*)(p + i + m - 1));
      if constexpr (kNote) highs16 = _mm_or_si128(highs16, _mm_or_si128(a, b));
      unsigned hits = (unsigned)_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, fold1), want1), _mm_cmpeq_epi8(_mm_or_si128(b, fold2v), want2)));
      while (hits) {
        if (equalAt(i + (size_t)std::countr_zero(hits))) return true;
        hits &= hits - 1;
      }
    }
    if constexpr (kNote) {
      // The loads covered [0, i) and [m - 1, i + m - 1): without a gap
      // between them, everything before i + m - 1.
      if (i > 0) {
        sawHigh = _mm_movemask_epi8(highs16) != 0;
        noted = m - 1 <= i ? i + m - 1 : i;
      }
    }
  }
#endif
  for (; i + 8 <= last + 1; i += 8) {
    uint64_t w, w2;
    std::memcpy(&w, p + i, 8);
    std::memcpy(&w2, p + i + m - 1, 8);
    uint64_t x = (w | fold) ^ pattern;
    uint64_t y = (w2 | fold2) ^ pattern2;
    uint64_t hits = ((x - ones) & ~x) & ((y - ones) & ~y) & highs;
    while (hits) {
      int bit = std::countr_zero(hits);
      size_t at = i + (size_t)(bit >> 3);
      if (equalAt(at)) return true;
      hits &= hits - 1;
    }
  }
  for (; i <= last; ++i) {
    unsigned char c = (unsigned char)p[i];
    if (letter) c |= 0x20;
    if (c == first && equalAt(i)) return true;
  }
  if constexpr (kNote) *high = sawHigh || HighByteIn(p, noted, n);
  return false;
}

}  // namespace

bool ContainsAsciiFolded(const char* p, size_t n, std::string_view needle) {
  return AsciiFoldedSearch<false>(p, n, needle, nullptr);
}

bool ContainsAsciiFolded(const char* p, size_t n, std::string_view needle, bool* beyondAscii) {
  return AsciiFoldedSearch<true>(p, n, needle, beyondAscii);
}

namespace {

// What a sieve looks for, set up once.
struct SieveWants {
  bool hasNeedle;
  unsigned char first, last;          // the needle's first and last byte
  bool firstLetter, lastLetter;       // each compared with 0x20 set
  size_t reach;                       // from a start to the needle's last byte
  SieveHighBytes::Kind high;
  unsigned char leads[4];             // for Kind::Leads, repeated to fill
};

// Whether the field at f (width bytes) holds a place the sieve wants,
// byte by byte; `room`: the bytes readable from f.
bool SieveField(const unsigned char* f, size_t width, size_t room, const SieveWants& w) {
  const auto fold = [](unsigned char b, bool letter) { return letter ? (unsigned char)(b | 0x20) : b; };
  for (size_t i = 0; i < width; ++i) {
    const unsigned char c = f[i];
    if (c >= 0x80) {
      if (w.high == SieveHighBytes::Kind::All) return true;
      if (w.high == SieveHighBytes::Kind::Leads &&
          (c >= 0xF0 || c == w.leads[0] || c == w.leads[1] || c == w.leads[2] || c == w.leads[3]))
        return true;
    }
    if (w.hasNeedle && i + w.reach < room && fold(c, w.firstLetter) == w.first &&
        fold(f[i + w.reach], w.lastLetter) == w.last)
      return true;
  }
  return false;
}

// The wide sieves below go through the records from r on while their loads
// stay inside the column (each field is read in whole loads, the last one
// reaching into what follows it) and return the first record not done:
// a narrower sieve goes on from there.

#ifdef XBASE_HAVE_SSE2
size_t SieveSse2(const FieldColumn& c, const SieveWants& w, size_t r, const std::function<void(size_t)>& maybe) {
  const __m128i want1 = _mm_set1_epi8((char)w.first), want2 = _mm_set1_epi8((char)w.last);
  const __m128i fold1 = _mm_set1_epi8(w.firstLetter ? 0x20 : 0), fold2 = _mm_set1_epi8(w.lastLetter ? 0x20 : 0);
  const __m128i l0 = _mm_set1_epi8((char)w.leads[0]), l1 = _mm_set1_epi8((char)w.leads[1]),
                l2 = _mm_set1_epi8((char)w.leads[2]), l3 = _mm_set1_epi8((char)w.leads[3]);
  const __m128i f0 = _mm_set1_epi8((char)0xF0);
  const size_t span = (c.width + 15) / 16 * 16 + w.reach;
  for (; r < c.count && r * c.stride + c.offset + span <= c.count * c.stride; ++r) {
    const char* f = c.p + r * c.stride + c.offset;
    for (size_t j = 0; j < c.width; j += 16) {
      const __m128i a = _mm_loadu_si128((const __m128i*)(f + j));
      __m128i v = _mm_setzero_si128();
      if (w.hasNeedle) {
        const __m128i b = _mm_loadu_si128((const __m128i*)(f + j + w.reach));
        v = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, fold1), want1), _mm_cmpeq_epi8(_mm_or_si128(b, fold2), want2));
      }
      if (w.high == SieveHighBytes::Kind::All) {
        v = _mm_or_si128(v, a);
      } else if (w.high == SieveHighBytes::Kind::Leads) {
        v = _mm_or_si128(v, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, l0), _mm_cmpeq_epi8(a, l1)),
                                         _mm_or_si128(_mm_cmpeq_epi8(a, l2), _mm_cmpeq_epi8(a, l3))));
        v = _mm_or_si128(v, _mm_cmpeq_epi8(_mm_max_epu8(a, f0), a));
      }
      unsigned hits = (unsigned)_mm_movemask_epi8(v);
      if (c.width - j < 16) hits &= (1u << (c.width - j)) - 1;
      if (hits) {
        maybe(r);
        break;
      }
    }
  }
  return r;
}
#endif

#ifdef XBASE_HAVE_AVX2
__attribute__((target("avx2"))) size_t SieveAvx2(const FieldColumn& c, const SieveWants& w, size_t r,
                                                 const std::function<void(size_t)>& maybe) {
  const __m256i want1 = _mm256_set1_epi8((char)w.first), want2 = _mm256_set1_epi8((char)w.last);
  const __m256i fold1 = _mm256_set1_epi8(w.firstLetter ? 0x20 : 0), fold2 = _mm256_set1_epi8(w.lastLetter ? 0x20 : 0);
  const __m256i l0 = _mm256_set1_epi8((char)w.leads[0]), l1 = _mm256_set1_epi8((char)w.leads[1]),
                l2 = _mm256_set1_epi8((char)w.leads[2]), l3 = _mm256_set1_epi8((char)w.leads[3]);
  const __m256i f0 = _mm256_set1_epi8((char)0xF0);
  const size_t span = (c.width + 31) / 32 * 32 + w.reach;
  for (; r < c.count && r * c.stride + c.offset + span <= c.count * c.stride; ++r) {
    const char* f = c.p + r * c.stride + c.offset;
    for (size_t j = 0; j < c.width; j += 32) {
      const __m256i a = _mm256_loadu_si256((const __m256i*)(f + j));
      __m256i v = _mm256_setzero_si256();
      if (w.hasNeedle) {
        const __m256i b = _mm256_loadu_si256((const __m256i*)(f + j + w.reach));
        v = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(a, fold1), want1),
                             _mm256_cmpeq_epi8(_mm256_or_si256(b, fold2), want2));
      }
      if (w.high == SieveHighBytes::Kind::All) {
        v = _mm256_or_si256(v, a);
      } else if (w.high == SieveHighBytes::Kind::Leads) {
        v = _mm256_or_si256(v, _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, l0), _mm256_cmpeq_epi8(a, l1)),
                                               _mm256_or_si256(_mm256_cmpeq_epi8(a, l2), _mm256_cmpeq_epi8(a, l3))));
        v = _mm256_or_si256(v, _mm256_cmpeq_epi8(_mm256_max_epu8(a, f0), a));
      }
      unsigned hits = (unsigned)_mm256_movemask_epi8(v);
      if (c.width - j < 32) hits &= (1u << (c.width - j)) - 1;
      if (hits) {
        maybe(r);
        break;
      }
    }
  }
  return r;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#endif

}  // namespace

void SieveAsciiFolded(const FieldColumn& column, std::string_view needle, const SieveHighBytes& high,
                      const std::function<void(size_t)>& maybe) {
  const size_t m = needle.size();
  SieveWants w{};
  w.hasNeedle = m > 0;
  w.first = m ? (unsigned char)needle[0] : 0;
  w.last = m ? (unsigned char)needle[m - 1] : 0;
  w.firstLetter = w.first >= 'a' && w.first <= 'z';
  w.lastLetter = w.last >= 'a' && w.last <= 'z';
  w.reach = m ? m - 1 : 0;
  w.high = high.kind;
  if (w.high == SieveHighBytes::Kind::Leads && (high.leads.empty() || high.leads.size() > 4))
    w.high = SieveHighBytes::Kind::All;
  for (size_t k = 0; k < 4; ++k)
    w.leads[k] = w.high == SieveHighBytes::Kind::Leads ? (unsigned char)high.leads[k % high.leads.size()] : 0xF0;
  if (!w.hasNeedle && w.high == SieveHighBytes::Kind::None) return;
  size_t r = 0;
#ifdef XBASE_HAVE_AVX2
  if (HaveAvx2()) r = SieveAvx2(column, w, r, maybe);
#endif
#ifdef XBASE_HAVE_SSE2
  r = SieveSse2(column, w, r, maybe);
#endif
  const size_t end = column.count * column.stride;
  for (; r < column.count; ++r) {
    const size_t at = r * column.stride + column.offset;
    if (SieveField((const unsigned char*)column.p + at, column.width, end - at, w)) maybe(r);
  }
}

uint32_t Crc32(const void* data, size_t n) {
  static const CrcTable table;
  const auto& t = table.t;
  uint32_t c = 0xFFFFFFFFu;
  const unsigned char* p = (const unsigned char*)data;
  while (n >= 8) {
    uint32_t a = c ^ ((uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24));
    c = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][p[4]] ^
        t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    n -= 8;
  }
  while (n--) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

bool ValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    // Plain ASCII, most of any line, eight bytes at a time.
    while (n - i >= 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (word & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    const unsigned c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    unsigned cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i <= size_t(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      const unsigned cc = p[i + k];
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += size_t(extra) + 1;
  }
  return true;
}

}  // namespace xbase

// Deterministic generator of realistic rows for the records table.
//
// Both engines are fed from the same in-memory rows, generated before any
// clock starts, so the timed loops measure storage work only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Field widths of the records table (bytes).
inline constexpr int kCatalogWidth = 20;
inline constexpr int kTitleWidth = 80;
inline constexpr int kNameWidth = 255;
inline constexpr int kSizeWidth = 10;
inline constexpr int kDateWidth = 21;

// The catalog every select measure looks for, the word the search
// measures look for in the paths (about one path in a hundred), the word of
// the many-hits search (about one path in four) and a word in no path.
inline constexpr std::string_view kBigCatalog = "Archive 2019";
inline constexpr std::string_view kSearchWord = "invoice";
inline constexpr std::string_view kManyWord = "report";
inline constexpr std::string_view kNoneWord = "zqxjv";

// Catalogs of a generated set, the big one included; the program keeps at
// most 40.
inline constexpr size_t kCatalogCount = 39;

enum Field { kCatalog, kTitle, kName, kSize, kDate, kDesc, kFieldCount };

// Field names as the table stores them, in table order.
extern const char* const kFieldNames[kFieldCount];

// All rows in one character arena: row i's fields lie one after another.
class Rows {
 public:
  size_t size() const { return starts_.size(); }
  std::string_view field(size_t row, Field f) const {
    const Entry& e = starts_[row];
    size_t off = e.start;
    for (int k = 0; k < f; ++k) off += e.len[k];
    return std::string_view(arena_).substr(off, e.len[f]);
  }
  void add(const std::string_view (&fields)[kFieldCount]);
  void reserve(size_t rows, size_t bytes) {
    starts_.reserve(rows);
    arena_.reserve(bytes);
  }
  size_t arenaBytes() const { return arena_.size(); }

 private:
  struct Entry {
    uint64_t start;
    uint16_t len[kFieldCount];
  };
  std::string arena_;
  std::vector<Entry> starts_;
};

struct Dataset {
  Rows rows;
  std::vector<std::string> catalogs;  // distinct catalog names
  size_t bigCatalogRows = 0;          // rows of kBigCatalog
  size_t searchHits = 0;              // paths holding kSearchWord, any case
  size_t manyHits = 0;                // paths holding kManyWord, any case
};

// Builds `count` rows from `seed` in kCatalogCount catalogs. With at least
// 20,000 rows the catalog kBigCatalog has exactly 10,000 of them; smaller
// sets give it a tenth.
Dataset Generate(size_t count, uint64_t seed);

// Small deterministic random source (splitmix64); the same sequence on
// every platform and standard library, unlike <random>'s distributions.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  uint64_t below(uint64_t n) { return n ? next() % n : 0; }
  // Uniform in [lo, hi].
  int64_t range(int64_t lo, int64_t hi) { return lo + int64_t(below(uint64_t(hi - lo + 1))); }
  double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
  bool chance(double p) { return unit() < p; }
  template <class T, size_t N>
  const T& pick(const T (&items)[N]) { return items[below(N)]; }

 private:
  uint64_t state_;
};

// Whether `hay` contains `needle`, ASCII letters compared without case.
bool ContainsNoCase(std::string_view hay, std::string_view needle);

// A new title for the edit measure, drawn from the same vocabulary.
std::string RandomTitle(Rng& rng);

}  // namespace bench

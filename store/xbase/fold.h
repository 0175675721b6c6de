// Case-insensitive search text: the one case folding that every search of
// the program uses (the command-line tool and the search window alike), so
// one question always gets one answer.
//
// Folding is Unicode's full case folding ("STRAßE" folds to "strasse",
// "ＡＢＣ" to "ａｂｃ", "Școala" to "școala"), with one change for the way
// users type: the dot that full folding keeps after an "i" from the dotted
// capital "İ" (U+0307) is dropped, so "i" finds "İstanbul". Index keys are
// not made with it: their upper-casing defines the order on disk and stays
// as it is.
//
// The folding is the engine's own table (foldtable.inc, generated from the
// Unicode data by scripts/gen_foldtable.py), so every platform folds alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace xbase {

// The full case folding of UTF-8 text, as UTF-8. Bytes that are not
// well-formed UTF-8 are kept as they are.
std::string FoldCase(std::string_view utf8);

// The Unicode version of the folding ("15.0.0").
std::string_view FoldingUnicodeVersion();

// A search text, folded once: whether a stored text holds it, letters of
// either case alike. Pure ASCII stored texts are tested without folding.
// Safe to call from several threads at once.
class FoldedSearch {
 public:
  explicit FoldedSearch(std::string_view utf8);
  // An empty text occurs in no text.
  bool Empty() const { return needle_.empty(); }
  const std::string& Folded() const { return needle_; }
  bool operator()(std::string_view utf8) const;
  // Sieves one field of many records (see SieveAsciiFolded): every record
  // whose field this search accepts is offered to `maybe`.
  void Sieve(const FieldColumn& column, const std::function<void(size_t)>& maybe) const;

 private:
  std::string needle_;
  bool asciiNeedle_ = false;
  // For an ASCII needle: the characters beyond ASCII (one bit each, Basic
  // Multilingual Plane) whose folding may take part in a match.
  std::vector<uint64_t> marked_;
  // The bytes beyond ASCII that may begin a match's way through the full
  // folding: the first bytes of the marked characters.
  SieveHighBytes sieveHigh_;
};

}  // namespace xbase

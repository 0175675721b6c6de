// The test of the search window: whether a stored text holds the searched
// text, letters of either case alike by the program's one case folding
// (the same as the command-line tool's search: full Unicode case folding,
// so "strasse" finds "STRAßE" and "i" finds "İ").
#pragma once

#include <QString>

#include <string_view>

#include "fold.h"

namespace search {

class TextMatcher {
 public:
  explicit TextMatcher(const QString& text);
  // An empty text occurs in no text.
  bool Empty() const { return search_.Empty(); }
  // `utf8`: a field as the table stores it. Safe to call from several
  // threads at once.
  bool operator()(std::string_view utf8) const { return search_(utf8); }
  const xbase::FoldedSearch& Folded() const { return search_; }

 private:
  xbase::FoldedSearch search_;
};

}  // namespace search

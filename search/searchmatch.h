// The test of the search window: whether a stored text holds the searched
// text, letters of either case alike by Unicode case folding (national
// letters, the Greek final sigma and the like included).
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace search {

class TextMatcher {
 public:
  explicit TextMatcher(const QString& text);
  // An empty text occurs in no text.
  bool Empty() const { return folded_.isEmpty(); }
  // `utf8`: a field as the table stores it. Safe to call from several
  // threads at once.
  bool operator()(std::string_view utf8) const;

 private:
  QString folded_;
  std::string ascii_;   // the folded text when it is ASCII, else empty
  bool asciiOnly_ = false;
};

}  // namespace search

#include "searchmatch.h"

namespace search {

TextMatcher::TextMatcher(const QString& text) : search_(text.toStdString()) {}

}  // namespace search

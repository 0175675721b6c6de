// The title button of the record grid: a jump to the next initial letter.
#pragma once

#include <string_view>

#include <xbase.h>

namespace browse {

// Moves `cursor` forward to the first record whose title (field
// `titleField`) starts with another character than the current record's,
// or back to the first record of the view when no such record follows.
// Letter case counts ("a" and "A" are different initials); an empty title
// has no initial and equals only another empty title. Takes at most as many
// steps as the view has records. Returns the record reached; an invalid
// bookmark on an empty view, where nothing moves. The caller suspends the
// data controls around the jump, so the view repaints once.
xbase::Bookmark JumpToNextInitial(xbase::Table& cursor, std::string_view titleField = "FLTITLE");

}  // namespace browse

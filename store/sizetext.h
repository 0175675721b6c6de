// The size text FLSIZE keeps, shared by the window (which writes a size in
// the user's locale) and the command-line tool (which stores sizes given as
// text). Free of Qt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace store {

// The text FLSIZE keeps for a size in bytes, given the size written with
// thousands separators (`grouped`, as the locale writes it): `grouped` when
// it fits the field's 10 bytes, else the digits alone when they fit, else
// the size rounded to one decimal with a unit (KB, MB, GB, TB, PB, EB of
// 1024), written with `decimalMark` when that fits and with "." otherwise.
// A size is never stored cut.
std::string SizeFieldText(int64_t size, std::string_view grouped, std::string_view decimalMark = ".");

// A size text given from outside (an import line) as FLSIZE stores it. A
// text that fits the field is kept as it is. A longer one that is a whole
// number of bytes written with thousands separators (one kind of them:
// ",", ".", "'", a blank, a no-break or thin space, between groups of
// digits) is stored as SizeFieldText gives it, with "," as the decimal mark
// when "." separates the thousands. False for any other text that does not
// fit: cut, it would read as another size.
bool SizeFieldTextOf(std::string_view given, std::string* stored);

}  // namespace store

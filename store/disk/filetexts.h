// The size and date texts a record keeps of its file (FLSIZE, FLDATE),
// made and read without Qt: the command-line tool writes them, and a
// compare with the disk reads the texts that the window wrote in the
// user's locale as well as its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace disk {

// The packed DOS date-time (local time, two-second resolution, as FAT
// keeps it; times before 1980 count as its first second) of a time in
// seconds since 1970-01-01 UTC.
int64_t DosDateOf(int64_t unixSeconds);

// The FLDATE text the tool writes: "yyyy-MM-dd HH:mm:ss" of a packed DOS
// date-time.
std::string DateFieldText(int64_t dosDate);

// The FLSIZE text the tool writes: the size with "," between thousands
// when that fits 10 bytes, else as store::SizeFieldText gives it.
std::string SizeFieldTextOf(int64_t size);

// Whether a stored FLDATE text names the packed DOS date-time `dosDate`, to
// the two seconds a DOS date-time keeps. Read are the forms the program
// writes: the tool's "yyyy-MM-dd HH:mm:ss", and a locale's short date with
// a time (day, month and year in any order the locales use, "." "/" "-" or
// blanks between them, two- or four-digit years (00-69 as 20xx, 70-99 as
// 19xx), an English month name, the digits of any script, a 12-hour time
// with AM or PM, the time left out at midnight). A text that fits several
// readings (day-month, month-day, a two-digit year first) matches when any
// does; a marker of the half of the day in a language not known here lets
// an hour up to 12 stand for either half. False for a text that is no
// date.
bool SameStoredDate(std::string_view stored, int64_t dosDate);

// Whether a stored FLSIZE text names `size`: digits with any one kind of
// thousands separator name it exactly; a size rounded to a unit ("11.5 GB",
// "11,5 GB", KB to EB of 1024) names every size that rounds to it. False
// for a text that is no size.
bool SameStoredSize(std::string_view stored, int64_t size);

// One character of UTF-8 text at `i` (< s.size()): its code point and
// length; false for bytes that are no well-formed character (stray or
// missing continuation bytes, overlong forms, surrogates, beyond U+10FFFF).
bool NextCodePoint(std::string_view s, size_t i, char32_t* cp, size_t* length);

}  // namespace disk

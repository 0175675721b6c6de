#include "filetexts.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "sizetext.h"

namespace disk {

namespace {

int64_t Pack(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return (int64_t)1 << 21 | (int64_t)1 << 16;  // 1980-01-01 00:00:00
  return (int64_t)(year - 1980) << 25 | (int64_t)month << 21 | (int64_t)day << 16 | (int64_t)hour << 11 |
         (int64_t)minute << 5 | (int64_t)(second / 2);
}

// The size with `separator` between groups of three digits.
std::string Grouped(int64_t size, std::string_view separator) {
  const std::string digits = std::to_string(size);
  std::string out;
  const size_t start = digits[0] == '-' ? 1 : 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > start && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}


// The value of a decimal digit in any of the scripts a locale may write its
// numbers in (ASCII, Arabic-Indic, Persian, Devanagari, Bengali, Thai,
// Chakma, Ol Chiki, Adlam...); -1 for any other character.
int DigitValue(char32_t cp) {
  if (cp >= U'0' && cp <= U'9') return int(cp - U'0');
  if (cp < 0x660) return -1;
  static const char32_t kZeros[] = {
      0x0660,  0x06F0,  0x07C0,  0x0966,  0x09E6,  0x0A66,  0x0AE6,  0x0B66,  0x0BE6,  0x0C66,  0x0CE6,
      0x0D66,  0x0DE6,  0x0E50,  0x0ED0,  0x0F20,  0x1040,  0x1090,  0x17E0,  0x1810,  0x1946,  0x19D0,
      0x1A80,  0x1A90,  0x1B50,  0x1BB0,  0x1C40,  0x1C50,  0xA620,  0xA8D0,  0xA900,  0xA9D0,  0xA9F0,
      0xAA50,  0xABF0,  0xFF10,  0x104A0, 0x11066, 0x110F0, 0x11136, 0x111D0, 0x112F0, 0x11450, 0x114D0,
      0x11650, 0x116C0, 0x11730, 0x118E0, 0x16A60, 0x16B50, 0x1E140, 0x1E2F0, 0x1E950};
  for (char32_t zero : kZeros)
    if (cp >= zero && cp <= zero + 9) return int(cp - zero);
  return -1;
}

// Characters that only separate the parts of a date: blanks of every
// width, punctuation, the marks of writing direction.
bool IsSeparator(char32_t cp) {
  if (cp < 0x80) return !((cp >= U'A' && cp <= U'Z') || (cp >= U'a' && cp <= U'z'));
  return cp == 0xA0 || cp == 0x60C || cp == 0x61C || (cp >= 0x2000 && cp <= 0x200F) || cp == 0x202F ||
         cp == 0x2066 || cp == 0x2067 || cp == 0x2068 || cp == 0x2069 || cp == 0x3000 || cp == 0x3001;
}

// What a stored date text is made of: its numbers in order (each with the
// count of its digits), the month when it is named rather than numbered,
// and whether it names the morning or the afternoon.
struct DateParts {
  std::vector<int> numbers;
  std::vector<int> widths;
  int month = 0;
  // Am or Pm by a marker the program knows; Either when a word it does not
  // know stands by the time (another language's marker).
  enum { None, Am, Pm, Either } half = None;
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool StartsWithCaseBlind(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Upper(text[i]) != word[i]) return false;
  return true;
}

// The month an English month name or its abbreviation names ("Mar",
// "March"); 0 for any other word.
int MonthNamed(std::string_view word) {
  static const std::string_view kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                             "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (word.size() <= kMonths[m].size() && StartsWithCaseBlind(word, kMonths[m].substr(0, word.size()))) return m + 1;
  return 0;
}

bool ReadDateParts(std::string_view text, DateParts* out) {
  // The markers of the morning and the afternoon the locales write beside
  // a 12-hour time, upper-cased where they have case.
  static const std::pair<std::string_view, bool> kHalves[] = {
      {"A.M.", false},           {"P.M.", true},          {"AM", false},           {"PM", true},
      {"\xEC\x98\xA4\xEC\xA0\x84", false},  // Korean morning
      {"\xEC\x98\xA4\xED\x9B\x84", true},   // Korean afternoon
      {"\xE5\x8D\x88\xE5\x89\x8D", false},  // Japanese morning
      {"\xE5\x8D\x88\xE5\xBE\x8C", true},   // Japanese afternoon
      {"\xE4\xB8\x8A\xE5\x8D\x88", false},  // Chinese morning
      {"\xE4\xB8\x8B\xE5\x8D\x88", true},   // Chinese afternoon
  };
  for (size_t i = 0; i < text.size();) {
    char32_t cp;
    size_t length;
    if (!NextCodePoint(text, i, &cp, &length)) return false;
    if (DigitValue(cp) >= 0) {
      int value = 0, width = 0;
      while (i < text.size() && NextCodePoint(text, i, &cp, &length) && DigitValue(cp) >= 0) {
        if (++width > 4) return false;
        value = value * 10 + DigitValue(cp);
        i += length;
      }
      out->numbers.push_back(value);
      out->widths.push_back(width);
      continue;
    }
    if (IsSeparator(cp)) {
      i += length;
      continue;
    }
    // A word: a marker of the half of the day, a month's name, or another
    // word (a year's or a day's sign in the date, a marker in a language
    // the program does not know by the time).
    const auto known = std::find_if(std::begin(kHalves), std::end(kHalves),
                                    [&](const auto& h) { return StartsWithCaseBlind(text.substr(i), h.first); });
    size_t end = i;
    bool ascii = true;
    while (end < text.size() && NextCodePoint(text, end, &cp, &length) && DigitValue(cp) < 0 && !IsSeparator(cp)) {
      ascii = ascii && cp < 0x80;
      end += length;
    }
    const std::string_view word = text.substr(i, end - i);
    if (known != std::end(kHalves) && (known->first.back() == '.' || word.size() == known->first.size())) {
      if (out->half == DateParts::Am || out->half == DateParts::Pm) return false;
      out->half = known->second ? DateParts::Pm : DateParts::Am;
      i += known->first.size();
      continue;
    }
    const int month = ascii ? MonthNamed(word) : 0;
    if (month != 0 && out->month == 0 && out->numbers.size() < 2) {
      out->month = month;
    } else if (out->numbers.size() + (out->month != 0) >= 3 && out->half == DateParts::None) {
      out->half = DateParts::Either;
    }
    i = end;
  }
  return true;
}

int FullYear(int year, int width) {
  if (width > 2) return year;
  return year < 70 ? 2000 + year : 1900 + year;
}

bool SameDate(int year, int month, int day, int hour, int minute, int second, int64_t dosDate) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  return Pack(year, month, day, hour, minute, second) == dosDate;
}

// The separators a size's digits may be grouped with, in UTF-8.
constexpr std::string_view kSeparators[] = {
    ",", ".", "'", " ",
    "\xC2\xA0",      // no-break space
    "\xE2\x80\x89",  // thin space
    "\xE2\x80\xAF",  // narrow no-break space
    "\xE2\x80\x99",  // right single quotation mark
};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// Digits grouped as the locales write them (one to three first, then two
// or three, the last three; one kind of separator); false for any other
// text.
bool ReadGroupedDigits(std::string_view text, int64_t* value) {
  std::string_view separator;
  std::string digits;
  size_t group = 0;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      ++group;
      ++i;
      continue;
    }
    std::string_view found;
    for (std::string_view s : kSeparators)
      if (text.substr(i, s.size()) == s) {
        found = s;
        break;
      }
    if (found.empty() || group == 0 || group > 3 || (!separator.empty() && (group < 2 || found != separator)))
      return false;
    separator = found;
    group = 0;
    i += found.size();
  }
  if (digits.empty() || digits.size() > 18 || (!separator.empty() && group != 3)) return false;
  *value = std::stoll(digits);
  return true;
}

// "<number> <unit>": the number in tenths and the unit's rank (0 for KB up
// to 5 for EB); false for any other text.
bool ReadRoundedSize(std::string_view text, int64_t* tenths, int* unit) {
  static const std::string_view kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  const size_t blank = text.rfind(' ');
  if (blank == std::string_view::npos) return false;
  const std::string_view name = text.substr(blank + 1);
  *unit = -1;
  for (int u = 0; u < 6; ++u)
    if (name == kUnits[u]) *unit = u;
  std::string_view number = Trimmed(text.substr(0, blank));
  if (*unit < 0 || number.empty()) return false;
  size_t i = 0;
  int64_t whole = 0;
  while (i < number.size() && number[i] >= '0' && number[i] <= '9' && i < 6) whole = whole * 10 + (number[i++] - '0');
  if (i == 0) return false;
  *tenths = whole * 10;
  if (i == number.size()) return true;
  // The decimal mark: "." or "," (or the Arabic one), one digit after it.
  std::string_view rest = number.substr(i);
  size_t mark = 0;
  if (rest[0] == '.' || rest[0] == ',')
    mark = 1;
  else if (rest.substr(0, 2) == "\xD9\xAB")
    mark = 2;
  if (mark == 0 || rest.size() != mark + 1 || rest[mark] < '0' || rest[mark] > '9') return false;
  *tenths += rest[mark] - '0';
  return true;
}

}  // namespace

bool NextCodePoint(std::string_view s, size_t i, char32_t* cp, size_t* length) {
  const unsigned char c = (unsigned char)s[i];
  if (c < 0x80) {
    *cp = c;
    *length = 1;
    return true;
  }
  size_t n;
  char32_t v, min;
  if ((c & 0xE0) == 0xC0) {
    n = 2, v = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, v = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, v = c & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (i + n > s.size()) return false;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = (unsigned char)s[i + k];
    if ((t & 0xC0) != 0x80) return false;
    v = v << 6 | (t & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
  *cp = v;
  *length = n;
  return true;
}

int64_t DosDateOf(int64_t unixSeconds) {
  const time_t seconds = (time_t)unixSeconds;
  struct tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &seconds) != 0) return Pack(1970, 1, 1, 0, 0, 0);
#else
  if (::localtime_r(&seconds, &local) == nullptr) return Pack(1970, 1, 1, 0, 0, 0);
#endif
  return Pack(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

std::string DateFieldText(int64_t dosDate) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", int(dosDate >> 25) + 1980,
                int(dosDate >> 21 & 15), int(dosDate >> 16 & 31), int(dosDate >> 11 & 31), int(dosDate >> 5 & 63),
                int(dosDate & 31) * 2);
  return text;
}

std::string SizeFieldTextOf(int64_t size) { return store::SizeFieldText(size, Grouped(size, ","), "."); }

bool SameStoredDate(std::string_view stored, int64_t dosDate) {
  DateParts p;
  if (!ReadDateParts(stored, &p)) return false;
  // A date of three numbers (two with a month's name), then nothing
  // (midnight) or hours and minutes, seconds perhaps.
  const size_t date = p.month != 0 ? 2 : 3, n = p.numbers.size();
  if (n != date && n != date + 2 && n != date + 3) return false;
  int hour = 0, minute = 0, second = 0;
  if (n > date) {
    hour = p.numbers[date], minute = p.numbers[date + 1], second = n == date + 3 ? p.numbers[date + 2] : 0;
    if (hour > 23 || minute > 59 || second > 59) return false;
  } else if (p.half == DateParts::Am || p.half == DateParts::Pm) {
    return false;
  }
  // The hours the text may mean: by its marker; either half of the day by
  // a marker not known here.
  int hours[3] = {hour, -1, -1};
  if (p.half == DateParts::Am || p.half == DateParts::Pm) {
    if (hour < 1 || hour > 12) return false;
    hours[0] = hour % 12 + (p.half == DateParts::Pm ? 12 : 0);
  } else if (p.half == DateParts::Either && n > date && hour >= 1 && hour <= 12) {
    hours[1] = hour % 12, hours[2] = hour % 12 + 12;
  }
  const auto same = [&](int year, int month, int day) {
    for (int h : hours)
      if (h >= 0 && SameDate(year, month, day, h, minute, second, dosDate)) return true;
    return false;
  };
  const int a = p.numbers[0], b = p.numbers[1];
  if (p.month != 0) {
    // "9 Mar 2014", "2014 Mar 9".
    if (p.widths[0] == 4) return p.widths[1] <= 2 && same(a, p.month, b);
    return p.widths[0] <= 2 && (p.widths[1] == 4 || p.widths[1] == 2) && same(FullYear(b, p.widths[1]), p.month, a);
  }
  const int c = p.numbers[2];
  if (p.widths[1] > 2) return false;
  // The year first when it has four digits; else last, after the day and
  // the month in either order, or first with two digits (the locales that
  // write "yy/MM/dd"). Of the readings that fit, any may match.
  if (p.widths[0] > 2) return p.widths[0] == 4 && p.widths[2] <= 2 && same(a, b, c);
  if (p.widths[2] != 4 && p.widths[2] > 2) return false;
  const int year = FullYear(c, p.widths[2]);
  if (same(year, b, a) || same(year, a, b)) return true;
  return p.widths[2] <= 2 && same(FullYear(a, 2), b, c);
}

bool SameStoredSize(std::string_view stored, int64_t size) {
  const std::string_view text = Trimmed(stored);
  if (text.empty() || size < 0) return false;
  int64_t value;
  if (ReadGroupedDigits(text, &value)) return value == size;
  int64_t tenths;
  int unit;
  if (!ReadRoundedSize(text, &tenths, &unit)) return false;
  // The rounding store::SizeFieldText writes: the unit where the number
  // first falls below 1000, one decimal.
  double scaled = double(size);
  int rank = -1;
  do {
    scaled /= 1024.0;
    ++rank;
  } while (scaled >= 1000.0 && rank < 5);
  if (rank != unit) return false;
  char number[32];
  std::snprintf(number, sizeof number, "%.1f", scaled);
  int64_t expected = 0;
  for (const char* d = number; *d != '\0'; ++d)
    if (*d >= '0' && *d <= '9') expected = expected * 10 + (*d - '0');
  return expected == tenths;
}

}  // namespace disk

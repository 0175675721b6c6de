// The text formats of vantrell-db: one record per line, tab-separated, or
// RFC 4180 CSV.
//
// Tab-separated columns: catalog, title, path, size, date, description.
// Only the description can hold tabs and line breaks, so only it is
// escaped: \t, \n, \r and \\ (paths keep their backslashes as they are).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vdb {

inline constexpr int kColumns = 6;

struct Row {
  std::string catalog, title, path, size, date, description;
};

// The same columns as views of text kept elsewhere (a record being read).
struct RowView {
  std::string_view catalog, title, path, size, date, description;
};
inline RowView View(const Row& r) { return {r.catalog, r.title, r.path, r.size, r.date, r.description}; }

std::string EscapeDescription(std::string_view text);
// False, with a reason, for a backslash not followed by t, n, r or \.
bool UnescapeDescription(std::string_view text, std::string* out, std::string* error);

// One line of an import file, without its line break. Every column is
// returned as the table stores it: cut to its field's width without
// splitting a character (the catalog name also without trailing blanks),
// and each cut that loses more than blanks is told in `notes` (which
// column, to how many bytes). A path is never cut, since a shortened path
// would name another file: a path longer than its field makes the line
// fail. False, with a reason, for a line that cannot be imported.
bool ParseImportLine(std::string_view line, Row* row, std::string* error,
                     std::vector<std::string>* notes = nullptr);

// A column other than the description, for a tab-separated line: tabs and
// line breaks become spaces (and *altered is set), since they would split
// the line.
std::string PlainColumn(std::string_view text, bool* altered);
void AppendPlainColumn(std::string_view text, std::string& out, bool* altered);

// The tab-separated line of a row, with its line break. *altered is set when
// a column other than the description had to be changed.
std::string TsvLine(const Row& row, bool* altered);
void AppendTsvLine(const RowView& row, std::string& out, bool* altered);
// The CSV line of a row, ending in CRLF; fields are quoted when they hold a
// comma, a double quote or a line break.
std::string CsvLine(const Row& row);
void AppendCsvLine(const RowView& row, std::string& out);

}  // namespace vdb

#include "textformat.h"

#include "text.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <xbase.h>

#include "schema.h"
#include "sizetext.h"

namespace vdb {

std::string EscapeDescription(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

bool UnescapeDescription(std::string_view text, std::string* out, std::string* error) {
  out->clear();
  out->reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (i + 1 == text.size()) {
      *error = "the description ends in a lone backslash (write \\\\ for a backslash)";
      return false;
    }
    switch (text[++i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      default:
        *error = std::string("unknown escape \\") + text[i] +
                 " in the description (known: \\t \\n \\r \\\\)";
        return false;
    }
  }
  return true;
}

namespace {

std::string_view TrimmedRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Whether the text holds a tab or a line break (or, with `backslash`, a
// backslash): sixteen bytes at a time where the processor offers it, as
// columns are mostly free of them.
bool HasBreaks(std::string_view text, bool backslash) {
  const char* p = text.data();
  size_t n = text.size();
#if defined(__SSE2__) || defined(_M_X64)
  const __m128i tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  const __m128i bs = _mm_set1_epi8(backslash ? '\\' : '\t');
  const auto found = [&](const char* at) {
    const __m128i v = _mm_loadu_si128((const __m128i*)at);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, bs)));
    return _mm_movemask_epi8(any) != 0;
  };
  if (n >= 16) {
    // The last sixteen bytes are tested in one piece, overlapping the ones before.
    for (; n > 16; p += 16, n -= 16)
      if (found(p)) return true;
    return found(p + n - 16);
  }
#endif
  for (; n > 0; ++p, --n) {
    const char c = *p;
    if (c == '\t' || c == '\n' || c == '\r' || (backslash && c == '\\')) return true;
  }
  return false;
}

}  // namespace

bool ParseImportLine(std::string_view line, Row* row, std::string* error,
                     std::vector<std::string>* notes) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  if (parts.size() != kColumns) {
    *error = "expected 6 tab-separated fields (catalog, title, path, size, date, description), "
             "found " + std::to_string(parts.size());
    return false;
  }
  if (line.find('\0') != std::string_view::npos) {
    *error = "the line holds a NUL character";
    return false;
  }
  if (!xbase::ValidUtf8(line)) {
    *error = "the line is not UTF-8 text";
    return false;
  }
  row->catalog = store::StoredCatalogName(parts[0]);
  if (row->catalog.empty()) {
    *error = "the catalog name is empty";
    return false;
  }
  // A catalog name is never cut: two names that share their first bytes
  // would meet as one catalog.
  const std::string_view catalog = TrimmedRight(parts[0]);
  if (catalog.size() > size_t(store::kCatalogWidth)) {
    *error = "the catalog name is " + std::to_string(catalog.size()) + " bytes long, but " + store::kFieldCatalog +
             " holds at most " + std::to_string(store::kCatalogWidth) +
             "; a shortened name could be another catalog, so the line is not imported";
    return false;
  }
  const std::string_view path = TrimmedRight(parts[2]);
  if (path.size() > size_t(store::kNameWidth)) {
    *error = "the path is " + std::to_string(path.size()) + " bytes long, but " + store::kFieldName +
             " holds at most " + std::to_string(store::kNameWidth) +
             "; a shortened path would name another file, so the line is not imported";
    return false;
  }
  // A size that does not fit is written shorter as the window writes it;
  // anything else would be cut into another size.
  std::vector<std::string> cuts;
  const std::string_view size = TrimmedRight(parts[3]);
  if (!store::SizeFieldTextOf(size, &row->size)) {
    *error = "the size \"" + std::string(size) + "\" is " + std::to_string(size.size()) + " bytes long, but " +
             store::kFieldSize + " holds at most " + std::to_string(store::kSizeWidth) +
             " and it is no number of bytes that could be written shorter; a shortened size would read as another "
             "size, so the line is not imported";
    return false;
  }
  if (row->size != size)
    cuts.push_back("the size \"" + std::string(size) + "\" does not fit the " + std::to_string(store::kSizeWidth) +
                   " bytes of " + store::kFieldSize + ": it is stored as \"" + row->size + "\"");
  row->path = parts[2];
  // Blanks at the end are the field's padding; losing only them is no cut.
  auto cut = [&](std::string_view text, int width, const char* what, const char* field) {
    const std::string_view kept = xbase::CutToWidth(text, size_t(width));
    if (TrimmedRight(text).size() > kept.size())
      cuts.push_back(std::string("the ") + what + " is cut to the " + std::to_string(width) + " bytes of " + field +
                     " (the line gives " + std::to_string(TrimmedRight(text).size()) + ")");
    return std::string(kept);
  };
  row->title = cut(parts[1], store::kTitleWidth, "title", store::kFieldTitle);
  row->date = cut(parts[4], store::kDateWidth, "date", store::kFieldDate);
  if (!UnescapeDescription(parts[5], &row->description, error)) return false;
  if (notes) *notes = std::move(cuts);
  return true;
}

void AppendPlainColumn(std::string_view text, std::string& out, bool* altered) {
  const size_t at = out.size();
  out += text;
  if (!HasBreaks(text, false)) return;
  for (size_t i = at; i < out.size(); ++i) {
    char& c = out[i];
    if (c == '\t' || c == '\n' || c == '\r') {
      c = ' ';
      *altered = true;
    }
  }
}

std::string PlainColumn(std::string_view text, bool* altered) {
  std::string out;
  AppendPlainColumn(text, out, altered);
  return out;
}

void AppendTsvLine(const RowView& row, std::string& out, bool* altered) {
  for (std::string_view col : {row.catalog, row.title, row.path, row.size, row.date}) {
    AppendPlainColumn(col, out, altered);
    out += '\t';
  }
  if (!HasBreaks(row.description, true)) {
    out += row.description;
  } else {
    out += EscapeDescription(row.description);
  }
  out += '\n';
}

std::string TsvLine(const Row& row, bool* altered) {
  std::string line;
  AppendTsvLine(View(row), line, altered);
  return line;
}

namespace {

void AppendCsvField(std::string_view text, std::string& out) {
  bool plain = true;
  for (char c : text)
    if (c == ',' || c == '"' || c == '\r' || c == '\n') {
      plain = false;
      break;
    }
  if (plain) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

void AppendCsvLine(const RowView& row, std::string& out) {
  AppendCsvField(row.catalog, out);
  for (std::string_view col : {row.title, row.path, row.size, row.date, row.description}) {
    out += ',';
    AppendCsvField(col, out);
  }
  out += "\r\n";
}

std::string CsvLine(const Row& row) {
  std::string line;
  AppendCsvLine(View(row), line);
  return line;
}

}  // namespace vdb

// vantrell-db import DATADIR FILE: records appended from tab-separated
// lines, with the catalogs they name.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "database.h"

namespace vdb {
namespace {

// The file an import reads; closed at the end unless it is standard input.
struct Input {
  std::FILE* file = nullptr;
  Input() = default;
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input() {
    if (file && file != stdin) std::fclose(file);
  }
  void Open(const std::string& path) {
#ifdef _WIN32
    file = _wfopen(Wide(path).c_str(), L"rb");
#else
    file = std::fopen(path.c_str(), "rb");
#endif
  }
};

// Nothing of a half-built record may reach the file: closing a table posts
// a changed record.
void CancelPending(xbase::Table& t) {
  try {
    if (t.Active() && (t.GetState() == xbase::State::Edit || t.GetState() == xbase::State::Insert))
      t.Cancel();
  } catch (const std::exception&) {
  }
}

// What an import that stopped has stored: "3 records imported before line
// 7 are kept (1 catalog added)".
std::string KeptNote(int64_t records, int64_t catalogs, const char* when, int64_t line) {
  std::string text = std::to_string(records) + (records == 1 ? " record" : " records") + " imported " + when +
                     std::to_string(line) + (records == 1 ? " is" : " are") + " kept";
  if (catalogs > 0) text += " (" + std::to_string(catalogs) + (catalogs == 1 ? " catalog" : " catalogs") + " added)";
  return text;
}

// The lines of an input, read in large blocks into one reused buffer.
class LineReader {
 public:
  explicit LineReader(std::FILE* in) : in_(in), buf_(1u << 20) {}
  // The next line without its line feed (valid until the next call); false
  // at the end or when reading fails (ferror then tells).
  bool Next(std::string_view& line) {
    for (;;) {
      const char* start = buf_.data() + pos_;
      if (const void* nl = std::memchr(start, '\n', len_ - pos_)) {
        const size_t n = size_t(static_cast<const char*>(nl) - start);
        line = std::string_view(start, n);
        pos_ += n + 1;
        return true;
      }
      if (ended_) {
        if (pos_ == len_) return false;
        line = std::string_view(start, len_ - pos_);
        pos_ = len_;
        return true;
      }
      std::memmove(buf_.data(), start, len_ - pos_);
      len_ -= pos_;
      pos_ = 0;
      if (len_ == buf_.size()) buf_.resize(buf_.size() * 2);  // a line longer than the buffer
      const size_t got = std::fread(buf_.data() + len_, 1, buf_.size() - len_, in_);
      if (got == 0)
        ended_ = true;
      else
        len_ += got;
    }
  }

 private:
  std::FILE* in_;
  std::vector<char> buf_;
  size_t pos_ = 0, len_ = 0;
  bool ended_ = false;
};

}  // namespace

int CmdImport(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 2, 2);
  const std::string& dir = a.positional[0];
  const std::string& inputName = a.positional[1];
  const bool fromStdin = inputName == "-";
  const std::string source = fromStdin ? "standard input" : Native(inputName);

  // The input is opened first: a file that cannot be read changes nothing.
  Input input;
  if (fromStdin) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    input.file = stdin;
  } else {
    if (store::IsFolder(inputName)) throw Problem("cannot read " + source + ": it is a folder");
    input.Open(inputName);
    if (!input.file) throw Problem("cannot read " + source + ": " + std::strerror(errno));
  }

  Database db(dir);
  xbase::Table& records = db.dm.ApTable1;
  xbase::Table& catalogs = db.dm.ApTable2;
  records.SetExclusive(true);
  catalogs.SetExclusive(true);
  records.Open();
  catalogs.Open();
  // Nothing shows the records while they go in: no change is announced
  // field by field.
  records.DisableControls();
  catalogs.DisableControls();
  // Every file the import writes must take the writes before the first
  // one: a record without its catalog, or a catalog without its records,
  // is never left behind by a file that refuses.
  try {
    records.RequireWritable();
    catalogs.RequireWritable();
  } catch (const xbase::Error& e) {
    db.Close();
    throw Problem(std::string(e.what()) + "; nothing was imported");
  }

  std::set<std::string> known;
  for (catalogs.First(); !catalogs.Eof(); catalogs.Next())
    known.insert(catalogs.FieldByName(store::kFieldCatalog));
  const int64_t recordsBefore = records.RecordCount();

  int64_t imported = 0, added = 0, lineNo = 0;
  // The catalog that the line being stored adds, until its record is stored.
  std::optional<std::string> newCatalog;
  std::string failure;
  const auto where = [&] { return source + ", line " + std::to_string(lineNo); };
  // The records go in as a load: with many of them the index is built
  // once at the end instead of taking them one by one.
  records.BeginLoad();
  catalogs.BeginBatch();
  try {
    LineReader lines(input.file);
    vdb::Row row;
    std::string why;
    std::vector<std::string> cuts;
    std::string_view raw;
    while (lines.Next(raw)) {
      ++lineNo;
      if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
      if (lineNo == 1 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
      if (raw.empty()) continue;

      cuts.clear();
      if (!vdb::ParseImportLine(raw, &row, &why, &cuts)) {
        failure = where() + ": " + why;
        break;
      }
      if (!known.count(row.catalog)) {
        if (known.size() >= size_t(store::kMaxCatalogs)) {
          failure = where() + ": catalog \"" + row.catalog + "\" would be catalog number " +
                    std::to_string(known.size() + 1) + "; at most " + std::to_string(store::kMaxCatalogs) +
                    " catalogs are kept";
          break;
        }
        newCatalog = row.catalog;
        catalogs.Append();
        catalogs.SetFieldByName(store::kFieldCatalog, row.catalog);
        catalogs.Post();
        known.insert(row.catalog);
        ++added;
      }
      records.Append();
      records.SetFieldByName(store::kFieldCatalog, row.catalog);
      records.SetFieldByName(store::kFieldTitle, row.title);
      records.SetFieldByName(store::kFieldName, row.path);
      records.SetFieldByName(store::kFieldSize, row.size);
      records.SetFieldByName(store::kFieldDate, row.date);
      records.SetFieldByName(store::kFieldDesc, row.description);
      records.Post();
      ++imported;
      newCatalog.reset();
      for (const std::string& c : cuts) ErrLine(where() + ": " + c);
    }
    if (failure.empty() && std::ferror(input.file))
      failure = "reading " + source + " failed after line " + std::to_string(lineNo) + ": " + std::strerror(errno);
    catalogs.EndBatch();
    records.EndBatch();
    db.Close();
  } catch (const std::exception& e) {
    // An engine failure on the way (disk full, a damaged file). What the
    // files hold is what is told: the records table's count says whether
    // the record of the failing line reached it; a catalog that line added
    // goes again when its record did not.
    CancelPending(records);
    CancelPending(catalogs);
    int64_t kept = imported;
    try {
      // Ends the load first, so that the count below comes from an index
      // that holds every stored record.
      records.EndBatch();
    } catch (const std::exception&) {
    }
    try {
      if (records.Active()) kept = records.RecordCount() - recordsBefore;
      if (kept == imported && newCatalog) {
        if (known.count(*newCatalog)) --added;  // its Post had returned
        if (catalogs.Locate(store::kFieldCatalog, *newCatalog)) catalogs.Delete();
      }
    } catch (const std::exception&) {
    }
    try {
      catalogs.EndBatch();
      records.EndBatch();
      db.Close();
    } catch (const std::exception&) {
    }
    ErrLine(e.what());
    if (kept < imported) {
      // The records of a load reach the file a piece at a time: a failure
      // can cost the piece that was still in memory.
      ErrLine(KeptNote(kept, added, "from the first lines, before line ", lineNo) + "; the " +
              std::to_string(imported - kept) + " records of the lines after them did not reach the file");
    } else {
      ErrLine(KeptNote(kept, added, kept > imported ? "up to and including line " : "before line ", lineNo));
    }
    return kExitProblem;
  }

  if (!failure.empty()) {
    ErrLine(failure);
    if (imported > 0) ErrLine(KeptNote(imported, added, "before line ", lineNo));
    return kExitProblem;
  }
  Out(std::to_string(imported) + " records imported");
  if (added > 0) Out(", " + std::to_string(added) + (added == 1 ? " catalog" : " catalogs") + " added");
  Out("\n");
  return kExitOk;
}

}  // namespace vdb

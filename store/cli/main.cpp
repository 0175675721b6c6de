// vantrell-db: the catalog database from the command line.
//
// Exit status: 0 done, 1 bad input or a problem found (message on standard
// error), 2 wrong usage. Commands that write (import, pack, reindex, repair) use the
// tables exclusively, so they refuse to run while the program has them
// open; the others open them for reading only, beside the program.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <filesystem>
#endif

#include <xbase.h>

#include "datatables.h"
#include "folder.h"
#include "schema.h"
#include "setup.h"
#include "textformat.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitProblem = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage:\n"
    "  vantrell-db create DATADIR                      create the missing database files\n"
    "  vantrell-db import DATADIR FILE                 append records (FILE - = standard input)\n"
    "  vantrell-db export DATADIR [--catalog NAME] [--csv]\n"
    "  vantrell-db count DATADIR [CATALOG]             number of records\n"
    "  vantrell-db search DATADIR TEXT [--title]       records whose path (or title) holds TEXT\n"
    "  vantrell-db pack DATADIR                        remove deleted records for good\n"
    "  vantrell-db reindex DATADIR                     rebuild the index files\n"
    "  vantrell-db check DATADIR                       verify the files\n"
    "  vantrell-db repair DATADIR                      set the record counts to the records the tables\n"
    "                                                  hold, and rebuild the index files\n"
    "  vantrell-db --version                           the program's version\n"
    "  vantrell-db --help                              this text\n"
    "\n"
    "Records are lines of six tab-separated fields: catalog, title, path, size, date,\n"
    "description (in the description \\t, \\n, \\r and \\\\ stand for tab, line feed,\n"
    "carriage return and backslash). --csv writes RFC 4180 CSV instead. Put -- before a\n"
    "search text that begins with a dash.\n";

// Wrong usage: exit 2 with the usage text.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Bad input or a problem found: exit 1 with the message.
struct Problem : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Native(const std::string& path) { return store::NativeSeparators(path); }

// Standard output. A reading command's output is held back until the read
// is known to have met one state of the files (see FilesSeen), so that a
// read met by a change can be done again unseen; beyond kHeldBytes it is
// written as it comes, and a change found at the end can only be told.
struct HeldOutput {
  static constexpr size_t kHeldBytes = 8u << 20;
  bool holding = false;
  bool written = false;  // some of the held output went out already
  std::string text;
  std::string errors;  // standard error, held to the end of the read
};
HeldOutput held;

void Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void Out(std::string_view text) {
  if (!held.holding) {
    Write(text);
    return;
  }
  held.text += text;
  if (held.text.size() >= HeldOutput::kHeldBytes) {
    Write(held.text);
    held.text.clear();
    held.written = true;
  }
}

// The index pages kept in memory by a command that walks the index once
// (export, search): each page is used once, so keeping them all would only
// grow the program's memory with the table.
constexpr size_t kOnePassIndexCache = 4u << 20;

// Lines gathered in one reused buffer and written in large pieces.
class OutBuffer {
 public:
  OutBuffer() { text_.reserve(kFlushAt + 64 * 1024); }
  ~OutBuffer() { Flush(); }
  std::string& text() { return text_; }
  // Called after each line: writes once enough has gathered.
  void LineDone() {
    if (text_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    Out(text_);
    text_.clear();
  }

 private:
  static constexpr size_t kFlushAt = 1u << 20;
  std::string text_;
};

// The columns of the records table by number, looked up once.
struct RecordColumns {
  explicit RecordColumns(const xbase::Table& t)
      : catalog(Field(t, store::kFieldCatalog)),
        title(Field(t, store::kFieldTitle)),
        path(Field(t, store::kFieldName)),
        size(Field(t, store::kFieldSize)),
        date(Field(t, store::kFieldDate)),
        description(Field(t, store::kFieldDesc)) {}
  static int Field(const xbase::Table& t, const char* name) {
    const int i = t.FieldIndex(name);
    if (i < 0) throw Problem("table " + t.Path() + " has no field " + name);
    return i;
  }
  // Every column but the description.
  vdb::RowView Row(const xbase::RecordRef& r) const {
    return {r.Text(catalog), r.Text(title), r.Text(path), r.Text(size), r.Text(date), {}};
  }
  int catalog, title, path, size, date, description;
};
void Err(std::string_view text) {
  if (held.holding)
    held.errors += text;
  else
    std::fwrite(text.data(), 1, text.size(), stderr);
}
// A message on standard error, each of its lines made printable: what it
// quotes of a file or an input line never reaches the terminal raw.
void ErrLine(const std::string& text) {
  size_t at = 0;
  for (;;) {
    const size_t end = text.find('\n', at);
    Err("vantrell-db: " + xbase::Printable(std::string_view(text).substr(at, end - at)) + "\n");
    if (end == std::string::npos) break;
    at = end + 1;
  }
}

// --- the system ------------------------------------------------------------------

using Strings = std::vector<std::string>;

#ifdef _WIN32
std::wstring Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w((size_t)n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
  return w;
}
std::string Utf8(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s((size_t)std::max(n, 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}
#endif

// The arguments after the program's name, in UTF-8 (on Linux as the bytes
// were given).
Strings Arguments(int argc, char** argv) {
  Strings out;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int n = 0;
  if (wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int i = 1; i < n; ++i) out.push_back(Utf8(w[i]));
    LocalFree(w);
  }
#else
  for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
#endif
  return out;
}

// The folder this program was started from.
std::string ExecutableFolder() {
#ifdef _WIN32
  wchar_t buf[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
  std::string path = n > 0 && n < 32768 ? Utf8(buf) : std::string(".");
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
#else
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
#endif
}

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

// --- arguments -------------------------------------------------------------------

struct Args {
  std::vector<std::string> positional;
  std::set<std::string> flags;
  std::optional<std::string> catalog;
};

// Positional arguments and the options a command allows, in any order;
// everything after "--" is positional.
Args ParseArgs(const Strings& in, const std::set<std::string>& allowedFlags, bool allowCatalog) {
  Args a;
  bool optionsEnded = false;
  for (size_t i = 0; i < in.size(); ++i) {
    const std::string& s = in[i];
    if (optionsEnded || s.empty() || s[0] != '-' || s == "-") {
      a.positional.push_back(s);
    } else if (s == "--") {
      optionsEnded = true;
    } else if (allowCatalog && (s == "--catalog" || s.rfind("--catalog=", 0) == 0)) {
      if (s == "--catalog") {
        if (i + 1 == in.size()) throw UsageError("--catalog needs a catalog name");
        a.catalog = in[++i];
      } else {
        a.catalog = s.substr(10);
      }
    } else if (allowedFlags.count(s)) {
      a.flags.insert(s);
    } else {
      throw UsageError("unknown option " + s);
    }
  }
  return a;
}

void ExpectPositional(const Args& a, size_t min, size_t max) {
  if (a.positional.size() < min) throw UsageError("missing argument");
  if (a.positional.size() > max)
    throw UsageError("unexpected argument " + a.positional[max]);
}

// --- the database ------------------------------------------------------------------

// A missing folder or database file is reported before the engine sees
// anything.
void RequireDatabaseFiles(const std::string& dir) {
  if (!store::Exists(dir)) throw Problem("the data folder " + Native(dir) + " does not exist");
  if (!store::IsFolder(dir)) throw Problem(Native(dir) + " is not a folder");
  const Strings missing = store::FilesToCreateUtf8(dir);
  if (!missing.empty()) {
    std::string text;
    for (const std::string& m : missing)
      text += (text.empty() ? "" : ", ") + Native(store::DataFilePathUtf8(dir, m.c_str()));
    throw Problem("missing database file" + std::string(missing.size() > 1 ? "s " : " ") + text +
                  " (run: vantrell-db create " + Native(dir) + ")");
  }
}

// The program's tables over an existing database. An index file that
// cannot serve its table is recreated as the program does at start-up; the
// status text of each goes to standard error.
// `readOnly`: the tables are opened for reading only (the reading
// commands), so nothing is written and the program may go on writing
// beside them.
class Database {
 public:
  explicit Database(const std::string& dir, bool readOnly = false) : folder(dir) {
    // The files are there before anything is configured: this tool does not
    // create anything behind a reading command's back.
    RequireDatabaseFiles(dir);
    std::string error;
    try {
      Strings problems;
      for (const std::string& text : store::ConfigureDataTables(dm, dir, problems)) ErrLine(text);
      for (const std::string& p : problems) error += (error.empty() ? "" : "\n") + p;
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (!error.empty()) throw Problem(error);
    for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable2, &dm.ApTable3}) t->SetReadOnly(readOnly);
  }

  // What the open tables passed over in their headers (a record count
  // higher than the records there are), each with the command that
  // repairs it.
  Strings HeaderProblems() const {
    Strings out;
    for (const xbase::Table* t : {&dm.ApTable1, &dm.ApTable3, &dm.ApTable2}) {
      std::string p = t->HeaderProblem();
      if (p.empty()) continue;
      p += " (run: vantrell-db repair " + Native(folder) + ")";
      if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(std::move(p));
    }
    return out;
  }

  // Closes every table, so that a failure to write out is reported here.
  void Close() {
    dm.ApTable3.Close();
    dm.ApTable1.Close();
    dm.ApTable2.Close();
  }

  const std::string folder;
  store::DataTables dm;
};

// The database files as a reading command found them, before its first
// read: what every change a writer makes leaves in them (the tables'
// change counters and record counts, the memo header, the index files'
// state pages). A reader beside the program may meet the files in the
// middle of a change: a record listed twice as an index page splits, an
// index page rewritten while it walks the tree. The same state after the
// last read means the reader saw one state of the database; another state
// means the read is done again, or, once output has gone out or after a
// few tries, that the reader says so and fails.
class FilesSeen {
 public:
  explicit FilesSeen(const std::string& dir) : dir_(dir) {}

  // Runs a reading command's body, which opens the tables it reads; they
  // are closed before each try. (The database is made ready, an index file
  // of the wrong tags rebuilt, before the first.)
  template <class Body>
  int Read(Database& db, Body&& body) {
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
      try {
        db.Close();
      } catch (const std::exception&) {
      }
      const std::string before = Look();
      held = HeldOutput{};
      held.holding = true;
      int status = kExitOk;
      bool failed = false;
      try {
        status = body();
      } catch (const xbase::Error&) {
        // An error met while the files changed is no sign of damage.
        if (Look() == before) {
          Release();
          throw;
        }
        failed = true;
      } catch (...) {
        Release();
        throw;
      }
      if (!failed && Look() == before) {
        Release();
        return status;
      }
      const bool wrote = held.written;
      held = HeldOutput{};  // what it read of a changing database is dropped
      if (!wrote && attempt < kAttempts) {
        // The program writes in short bursts (a post, a batch): a moment
        // later the files are most likely still.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
        continue;
      }
      throw Problem("the database in " + Native(dir_) +
                    " changed while it was being read (the program is writing to it)" +
                    (wrote ? "; the output above is not complete" : "") + "; try again");
    }
  }

 private:
  // Writes out what was held back and stops holding.
  static void Release() {
    held.holding = false;
    Write(held.text);
    Err(held.errors);
    held = HeldOutput{};
  }
  std::string Look() const {
    std::string v;
    for (const char* f : {store::kRecordsTable, store::kCatalogTable})
      v += xbase::TableFilesState(store::DataFilePathUtf8(dir_, f));
    return v;
  }
  std::string dir_;
};

// Whether the catalog-names table holds this name (letter case counts).
bool CatalogExists(store::DataTables& dm, const std::string& name) {
  if (!dm.ApTable2.Active()) dm.ApTable2.Open();
  return dm.ApTable2.Locate(store::kFieldCatalog, name);
}

// A catalog named on the command line, as the tables store it.
std::string CatalogArgument(const std::string& arg) {
  const std::string name = store::StoredCatalogName(arg);
  if (name.empty()) throw Problem("the catalog name is empty");
  // A longer name is no catalog's: cut, it could name another one.
  std::string_view given = arg;
  while (!given.empty() && given.back() == ' ') given.remove_suffix(1);
  if (given.size() > size_t(store::kCatalogWidth))
    throw Problem("the catalog name is " + std::to_string(given.size()) + " bytes long, but catalog names hold at most " +
                  std::to_string(store::kCatalogWidth) + "; no catalog has it");
  return name;
}

// A name that neither the catalog-names table nor any record knows is most
// likely a typing error; it is reported instead of answering "nothing".
void RequireKnownCatalog(Database& db, const std::string& name, int64_t records) {
  if (records == 0 && !CatalogExists(db.dm, name))
    throw Problem("no catalog named \"" + name + "\" in " + Native(store::DataFilePathUtf8(db.folder, store::kCatalogTable)));
}

// Nothing of a half-built record may reach the file: closing a table posts
// a changed record.
void CancelPending(xbase::Table& t) {
  try {
    if (t.Active() && (t.GetState() == xbase::State::Edit || t.GetState() == xbase::State::Insert))
      t.Cancel();
  } catch (const std::exception&) {
  }
}

std::string AlteredNote(int64_t count, bool csvHint) {
  return std::to_string(count) + (count == 1 ? " record holds" : " records hold") +
         " a tab or line break in its catalog, title, path, size or date; written with spaces "
         "in their place" +
         (csvHint ? " (--csv keeps them exactly)" : "");
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

// --- commands ----------------------------------------------------------------------

int CmdCreate(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  const std::string& dir = a.positional[0];
  std::string error;
  if (!store::EnsureDataFolderUtf8(dir, &error)) throw Problem(error);

  const store::CreationOutcome r = store::CreateDatabaseFilesUtf8(dir);
  const std::pair<const char*, const std::string*> outcome[] = {
      {store::kRecordsTable, &r.recordsTable},
      {store::kRecordsIndex, &r.recordsIndex},
      {store::kCatalogTable, &r.catalogTable},
      {store::kCatalogIndex, &r.catalogIndex},
  };
  for (const auto& [file, label] : outcome) {
    std::string text = *label;
    if (text.empty()) text = store::Exists(store::DataFilePathUtf8(dir, file)) ? "exists" : "not created";
    Out(std::string(file) + ": " + text + "\n");
  }
  for (const std::string& reason : r.reasons) ErrLine(reason);
  if (!r.failure.empty()) ErrLine(r.failure + " (in " + Native(dir) + ")");
  if (!r.error.empty()) ErrLine(r.error);
  return r.ok() ? kExitOk : kExitProblem;
}

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
    ErrLine(KeptNote(kept, added, kept > imported ? "up to and including line " : "before line ", lineNo));
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

int CmdExport(const Strings& argv) {
  const Args a = ParseArgs(argv, {"--csv"}, true);
  ExpectPositional(a, 1, 1);
  const bool csv = a.flags.count("--csv") > 0;
  Database db(a.positional[0], true);
  return FilesSeen(a.positional[0]).Read(db, [&] {
    xbase::Table& t = db.dm.ApTable1;
    db.dm.ApolloEnv1.SetIndexCacheBytes(kOnePassIndexCache);
    t.Open();
    if (a.catalog) {
      const std::string name = CatalogArgument(*a.catalog);
      t.SetQuery(store::CatalogQueryUtf8(name));
      RequireKnownCatalog(db, name, t.QueryRecCount());
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // A record whose description cannot be read is written without it and
    // told on standard error by its number; the export goes on, so that
    // everything readable gets out.
    int64_t altered = 0, unreadable = 0;
    const RecordColumns col(t);
    OutBuffer out;
    std::string description;
    t.ForEachRecord([&](const xbase::RecordRef& r) {
      vdb::RowView row = col.Row(r);
      try {
        description = r.Memo(col.description);
        row.description = description;
      } catch (const xbase::Error& e) {
        if (e.code() != xbase::ErrorCode::Corrupt) throw;
        out.Flush();
        ErrLine("record " + std::to_string(r.recno) + " is exported without its description: " + e.what());
        ++unreadable;
      }
      if (csv) {
        vdb::AppendCsvLine(row, out.text());
      } else {
        bool changed = false;
        vdb::AppendTsvLine(row, out.text(), &changed);
        altered += changed;
      }
      out.LineDone();
      return true;
    });
    out.Flush();
    const Strings damage = db.HeaderProblems();
    db.Close();
    for (const std::string& d : damage) ErrLine(d);
    if (altered > 0) ErrLine(AlteredNote(altered, true));
    if (unreadable > 0)
      ErrLine(std::to_string(unreadable) + (unreadable == 1 ? " record is" : " records are") +
              " exported without a damaged description (told above); run: vantrell-db check " +
              Native(a.positional[0]));
    return altered > 0 || unreadable > 0 || !damage.empty() ? kExitProblem : kExitOk;
  });
}

int CmdCount(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 2);
  Database db(a.positional[0], true);
  return FilesSeen(a.positional[0]).Read(db, [&] {
    xbase::Table& t = db.dm.ApTable1;
    t.Open();
    int64_t count;
    if (a.positional.size() == 2) {
      const std::string name = CatalogArgument(a.positional[1]);
      t.SetQuery(store::CatalogQueryUtf8(name));
      count = t.QueryRecCount();
      RequireKnownCatalog(db, name, count);
    } else {
      count = t.RecordCount();
    }
    const Strings damage = db.HeaderProblems();
    db.Close();
    Out(std::to_string(count) + "\n");
    for (const std::string& d : damage) ErrLine(d);
    return damage.empty() ? kExitOk : kExitProblem;
  });
}

int CmdSearch(const Strings& argv) {
  const Args a = ParseArgs(argv, {"--title"}, false);
  ExpectPositional(a, 2, 2);
  const char* field = a.flags.count("--title") ? store::kFieldTitle : store::kFieldName;
  const std::string& text = a.positional[1];
  Database db(a.positional[0], true);
  return FilesSeen(a.positional[0]).Read(db, [&] {
    // The search's own cursor, without any catalog restriction.
    xbase::Table& t = db.dm.ApTable3;
    db.dm.ApolloEnv1.SetIndexCacheBytes(kOnePassIndexCache);
    t.Open();
    // An empty text occurs in no text: it matches nothing.
    const std::vector<uint32_t> hits =
        text.empty() ? std::vector<uint32_t>{} : t.FindContaining(field, text, true);
    int64_t shown = 0, altered = 0;
    const RecordColumns col(t);
    OutBuffer out;
    t.ForEachRecordOf(hits, [&](const xbase::RecordRef& r) {
      const vdb::RowView row = col.Row(r);
      bool changed = false;
      std::string& line = out.text();
      vdb::AppendPlainColumn(row.catalog, line, &changed);
      for (std::string_view c : {row.title, row.path, row.size, row.date}) {
        line += '\t';
        vdb::AppendPlainColumn(c, line, &changed);
      }
      line += '\n';
      out.LineDone();
      altered += changed;
      ++shown;
      return true;
    });
    out.Flush();
    const Strings damage = db.HeaderProblems();
    db.Close();
    Out(std::to_string(shown) + "\n");
    for (const std::string& d : damage) ErrLine(d);
    if (altered > 0) ErrLine(AlteredNote(altered, false));
    return altered > 0 || !damage.empty() ? kExitProblem : kExitOk;
  });
}

int CmdPack(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  Database db(a.positional[0]);
  const int64_t saved = store::PackRecordsOf(db.dm);
  db.Close();
  Out(std::to_string(saved) + "\n");
  return kExitOk;
}

int CmdReindex(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  Database db(a.positional[0]);
  for (const std::string& text : store::ReindexTablesOf(db.dm)) ErrLine(text);
  db.Close();
  return kExitOk;
}

int CmdRepair(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  const std::string& dir = a.positional[0];
  RequireDatabaseFiles(dir);
  // The record counts first, with each table to itself: the program, the
  // index build and every other command refuse a header that counts
  // records the file does not hold. Then every index file is built anew
  // for the tables as they now are.
  const std::pair<const char*, std::vector<xbase::FieldDef>> tables[] = {
      {store::kRecordsTable, store::RecordsTableFields()}, {store::kCatalogTable, store::CatalogTableFields()}};
  for (const auto& [table, fields] : tables) {
    xbase::Environment env;
    const std::string note = xbase::RepairRecordCount(store::DataFilePathUtf8(dir, table), fields, env);
    if (!note.empty()) Out(xbase::Printable(note) + "\n");
  }
  Database db(dir);
  for (const std::string& text : store::ReindexTablesOf(db.dm)) ErrLine(text);
  db.Close();
  Out("index files rebuilt\n");
  return kExitOk;
}

int CmdCheck(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  const std::string& dir = a.positional[0];
  // Only the presence of the files is tested up front; the engine reads
  // them itself, read-only, and repairs nothing.
  RequireDatabaseFiles(dir);
  std::vector<std::string> problems;
  bool repairable = false;
  const std::pair<const char*, std::vector<xbase::FieldDef>> tables[] = {
      {store::kRecordsTable, store::RecordsTableFields()}, {store::kCatalogTable, store::CatalogTableFields()}};
  for (const auto& [table, fields] : tables) {
    bool canRepair = false;
    for (std::string& p : xbase::CheckTable(store::DataFilePathUtf8(dir, table), fields, &canRepair))
      problems.push_back(std::move(p));
    repairable = repairable || canRepair;
  }
  if (problems.empty()) {
    Out("ok\n");
    return kExitOk;
  }
  for (const std::string& p : problems) Out(xbase::Printable(p) + "\n");
  if (repairable)
    Out("to put the record counts and the index files right, run: vantrell-db repair " + Native(dir) + "\n");
  return kExitProblem;
}

// Where the program in this folder keeps its database when started without
// --data-dir (used by the start script).
int CmdDefaultDataDir(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 0, 0);
  Out(Native(store::DefaultDataFolderUtf8(ExecutableFolder(), store::UserAppDataFolder())) + "\n");
  return kExitOk;
}

int Run(Strings args) {
  if (args.empty()) throw UsageError("no command given");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "-h" || command == "--help" || command == "help") {
    Out(kUsage);
    return kExitOk;
  }
  if (command == "--version" || command == "version") {
    Out("vantrell-db " VANTRELL_VERSION "\n");
    return kExitOk;
  }
  if (command == "create") return CmdCreate(args);
  if (command == "import" || command == "pack" || command == "reindex") {
    // A command that writes refuses a damaged table; check tells what is
    // damaged and which command, if any, repairs it.
    try {
      return command == "import" ? CmdImport(args) : command == "pack" ? CmdPack(args) : CmdReindex(args);
    } catch (const xbase::Error& e) {
      if (e.code() != xbase::ErrorCode::Corrupt || args.empty()) throw;
      throw Problem(std::string(e.what()) + "\nrun: vantrell-db check " + Native(args.front()));
    }
  }
  if (command == "export") return CmdExport(args);
  if (command == "count") return CmdCount(args);
  if (command == "search") return CmdSearch(args);
  if (command == "repair") return CmdRepair(args);
  if (command == "check") return CmdCheck(args);
  if (command == "default-data-dir") return CmdDefaultDataDir(args);
  throw UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  try {
    status = Run(Arguments(argc, argv));
  } catch (const UsageError& e) {
    ErrLine(e.what());
    Err(kUsage);
    return kExitUsage;
  } catch (const Problem& e) {
    ErrLine(e.what());
    status = kExitProblem;
  } catch (const std::exception& e) {
    ErrLine(e.what());
    status = kExitProblem;
  } catch (...) {
    ErrLine("unexpected failure");
    status = kExitProblem;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    ErrLine("could not write to standard output");
    return kExitProblem;
  }
  return status;
}

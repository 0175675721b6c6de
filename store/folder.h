// The data folder and the paths of its files, in UTF-8 and free of Qt (the
// command-line tool uses these alone; the window's QString forms in
// datafiles.h call them).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// "<folder>/<file>" with forward slashes on every platform.
std::string DataFilePathUtf8(const std::string& dataDir, const char* file);

// A path with the platform's own separators, for messages.
std::string NativeSeparators(std::string path);
// The system's separator in paths, and whether a character separates (on
// Windows "/" as well as "\\").
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }
#else
inline constexpr char kPathSeparator = '/';
inline bool IsPathSeparator(char c) { return c == '/'; }
#endif

// `folder` as the start of the paths below it: with one separator at its end.
inline std::string FolderPrefix(std::string_view folder) {
  std::string p(folder);
  if (p.empty() || !IsPathSeparator(p.back())) p += kPathSeparator;
  return p;
}
// The last part of a path: the file's own name.
inline std::string_view FileNameOfPath(std::string_view path) {
  size_t at = path.size();
  while (at > 0 && !IsPathSeparator(path[at - 1])) --at;
  return path.substr(at);
}

bool IsFolder(const std::string& path);
// Whether a file can be created in the folder (tried, not guessed).
bool CanWriteInUtf8(const std::string& dir);
bool Exists(const std::string& path);  // a file, a folder or anything else
int64_t FileSize(const std::string& path);  // -1 when it cannot be found
// The file's last change in the file system's own ticks; 0 when unknown.
int64_t ModifiedTicks(const std::string& path);

// The names of the four files of the database (table and index of each
// table) that are missing from `dataDir`, in creation order.
std::vector<std::string> MissingDatabaseFilesUtf8(const std::string& dataDir);

// The missing files the program creates before it opens the database: all
// of them, except index files beside both tables in a folder that cannot
// be written (a catalogue on a read-only medium), which are read through
// private indexes instead.
std::vector<std::string> FilesToCreateUtf8(const std::string& dataDir);

// The data folder used when none is given: "<appDataDir>/data", the
// user's own folder, unless a file named "portable" beside the executable
// asks for "<executableDir>/data" (a portable install). A build folder is
// never a home for a catalogue: cleaning it would delete the catalogue.
std::string DefaultDataFolderUtf8(const std::string& executableDir, const std::string& appDataDir);

// A catalogue left where earlier versions kept it when they could write
// there: "<executableDir>/data" holding a records table, without the
// "portable" marker. "" when there is none.
std::string LegacyDataFolderUtf8(const std::string& executableDir);

// Moves the data folder `from` to `to` (which must not hold a database):
// renamed where both are on one file system, else each file copied,
// checked and only then the old ones removed. On failure nothing of the old
// folder is lost, what was copied is removed again, and `error` says why.
bool MoveDataFolderUtf8(const std::string& from, const std::string& to, std::string* error);

// The per-user application data folder of the program, as the window's
// toolkit names it ($XDG_DATA_HOME or ~/.local/share, then
// "Brannock/Vantrell"; %APPDATA%\Brannock\Vantrell on Windows).
std::string UserAppDataFolder();

// Makes sure the data folder exists, creating it (and missing parents) when
// needed, and that a folder still without its database can be written. On
// failure returns false and, when `error` is given, a sentence naming the
// folder.
bool EnsureDataFolderUtf8(const std::string& dir, std::string* error);

}  // namespace store

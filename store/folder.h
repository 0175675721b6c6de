// The data folder and the paths of its files, in UTF-8 and free of Qt (the
// command-line tool uses these alone; the window's QString forms in
// datafiles.h call them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace store {

// "<folder>/<file>" with forward slashes on every platform.
std::string DataFilePathUtf8(const std::string& dataDir, const char* file);

// A path with the platform's own separators, for messages.
std::string NativeSeparators(std::string path);

bool IsFolder(const std::string& path);
bool Exists(const std::string& path);  // a file, a folder or anything else
int64_t FileSize(const std::string& path);  // -1 when it cannot be found
// The file's last change in the file system's own ticks; 0 when unknown.
int64_t ModifiedTicks(const std::string& path);

// The names of the four files of the database (table and index of each
// table) that are missing from `dataDir`, in creation order.
std::vector<std::string> MissingDatabaseFilesUtf8(const std::string& dataDir);

// The data folder used when none is given: "<executableDir>/data" when that
// folder, or `executableDir` if it does not exist yet, can be written
// (portable use); otherwise "<appDataDir>/data".
std::string DefaultDataFolderUtf8(const std::string& executableDir, const std::string& appDataDir);

// The per-user application data folder of the program, as the window's
// toolkit names it ($XDG_DATA_HOME or ~/.local/share, then
// "Brannock/Vantrell"; %APPDATA%\Brannock\Vantrell on Windows).
std::string UserAppDataFolder();

// Makes sure the data folder exists, creating it (and missing parents) when
// needed. On failure returns false and, when `error` is given, a sentence
// naming the folder.
bool EnsureDataFolderUtf8(const std::string& dir, std::string* error);

}  // namespace store

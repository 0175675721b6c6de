#include "folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "schema.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace store {

namespace fs = std::filesystem;

namespace {

fs::path Fs(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8(const fs::path& p) {
  const std::u8string s = p.generic_u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::string ForwardSlashes(std::string path) {
#ifdef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

// "a//b/./c/../d/" as "a/b/d": the path without redundant parts or a
// trailing slash (the root stays "/").
std::string CleanPath(const std::string& path) {
  if (path.empty()) return path;
  std::string out = Utf8(Fs(ForwardSlashes(path)).lexically_normal());
  while (out.size() > 1 && out.back() == '/' && !(out.size() == 3 && out[1] == ':')) out.pop_back();
  return out.empty() ? "." : out;
}

// Permission bits do not tell the whole story (ACLs, read-only mounts,
// Windows' protected program folders), so writability is tested by creating
// and removing a file there.
bool CanWriteIn(const std::string& dir) {
  if (!IsFolder(dir)) return false;
#ifdef _WIN32
  for (int attempt = 0; attempt < 16; ++attempt) {
    const fs::path probe = Fs(dir) / ("." "vantrell-write-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(GetTickCount64() + attempt));
    FILE* f = _wfopen(probe.c_str(), L"wx");
    if (!f) {
      if (errno == EEXIST) continue;
      return false;
    }
    std::fclose(f);
    std::error_code ec;
    fs::remove(probe, ec);
    return true;
  }
  return false;
#else
  std::string probe = dir + "/.vantrell-write-test-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
#endif
}

}  // namespace

std::string DataFilePathUtf8(const std::string& dataDir, const char* file) {
  std::string dir = ForwardSlashes(dataDir);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty()) return file;
  if (dir.back() == '/') return dir + file;
  return dir + '/' + file;
}

std::string NativeSeparators(std::string path) {
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(Fs(path), ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(Fs(path), ec);
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(Fs(path), ec);
  return ec ? -1 : (int64_t)size;
}

int64_t ModifiedTicks(const std::string& path) {
  std::error_code ec;
  const auto t = fs::last_write_time(Fs(path), ec);
  return ec ? 0 : (int64_t)t.time_since_epoch().count();
}

std::vector<std::string> MissingDatabaseFilesUtf8(const std::string& dataDir) {
  std::vector<std::string> missing;
  for (const char* file : {kRecordsTable, kRecordsIndex, kCatalogTable, kCatalogIndex})
    if (!Exists(DataFilePathUtf8(dataDir, file))) missing.emplace_back(file);
  return missing;
}

std::vector<std::string> FilesToCreateUtf8(const std::string& dataDir) {
  std::vector<std::string> missing = MissingDatabaseFilesUtf8(dataDir);
  const bool tablesThere = std::find(missing.begin(), missing.end(), kRecordsTable) == missing.end() &&
                           std::find(missing.begin(), missing.end(), kCatalogTable) == missing.end();
  if (tablesThere && !missing.empty() && !CanWriteIn(dataDir)) missing.clear();
  return missing;
}

bool CanWriteInUtf8(const std::string& dir) { return CanWriteIn(dir); }

std::string DefaultDataFolderUtf8(const std::string& executableDir, const std::string& appDataDir) {
  const std::string exeDir = CleanPath(executableDir);
  if (Exists(exeDir + "/portable")) return exeDir + "/data";
  return CleanPath(appDataDir) + "/data";
}

std::string LegacyDataFolderUtf8(const std::string& executableDir) {
  const std::string exeDir = CleanPath(executableDir);
  if (Exists(exeDir + "/portable")) return {};
  const std::string beside = exeDir + "/data";
  return Exists(DataFilePathUtf8(beside, kRecordsTable)) ? beside : std::string();
}

bool MoveDataFolderUtf8(const std::string& from, const std::string& to, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  std::error_code ec;
  if (Exists(DataFilePathUtf8(to, kRecordsTable)))
    return fail("The folder " + NativeSeparators(to) + " already holds a catalogue.");
  fs::create_directories(Fs(to).parent_path(), ec);
  // An empty folder in the way is taken away; anything else stays.
  if (IsFolder(to)) fs::remove(Fs(to), ec);
  fs::rename(Fs(from), Fs(to), ec);
  if (!ec) return true;
  if (ec != std::errc::cross_device_link && Exists(to))
    return fail("The catalogue could not be moved to " + NativeSeparators(to) + ": " + ec.message() + ".");
  // Another file system: every file copied and its size checked before any
  // old file is removed.
  fs::create_directories(Fs(to), ec);
  std::vector<fs::path> copied;
  for (const fs::directory_entry& e : fs::directory_iterator(Fs(from), ec)) {
    if (!e.is_regular_file()) continue;
    const fs::path target = Fs(to) / e.path().filename();
    std::error_code copyError;
    fs::copy_file(e.path(), target, fs::copy_options::overwrite_existing, copyError);
    if (copyError || fs::file_size(target, copyError) != fs::file_size(e.path(), copyError)) {
      for (const fs::path& c : copied) fs::remove(c, copyError);
      fs::remove(target, copyError);
      return fail("The catalogue could not be copied to " + NativeSeparators(to) + ": " +
                  (copyError ? copyError.message() : std::string("a copy came out short")) + ".");
    }
    copied.push_back(target);
  }
  if (ec) return fail("The folder " + NativeSeparators(from) + " could not be read: " + ec.message() + ".");
  for (const fs::path& c : copied) fs::remove(Fs(from) / c.filename(), ec);
  fs::remove(Fs(from), ec);  // only when nothing else was in it
  return true;
}

std::string UserAppDataFolder() {
  std::string base;
#ifdef _WIN32
  if (const wchar_t* v = _wgetenv(L"APPDATA")) base = Utf8(fs::path(v));
#else
  if (const char* v = std::getenv("XDG_DATA_HOME"); v && v[0] == '/') {
    base = v;
  } else if (const char* home = std::getenv("HOME"); home && home[0]) {
    base = std::string(home) + "/.local/share";
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
    base = std::string(pw->pw_dir) + "/.local/share";
  }
#endif
  return CleanPath(base) + "/Brannock/Vantrell";
}

bool EnsureDataFolderUtf8(const std::string& dir, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  if (dir.empty()) return fail("No data folder was given.");
  // A folder without its database that cannot be written is said once,
  // naming it, rather than by each file that cannot be created in it.
  if (IsFolder(dir))
    return FilesToCreateUtf8(dir).empty() || CanWriteIn(dir) ||
           fail("The data folder " + NativeSeparators(dir) +
                " cannot be written, so the catalogue cannot be created there.\n"
                "Choose another folder, or give yourself write permission on this one.");
  if (Exists(dir))
    return fail("The data folder " + NativeSeparators(dir) + " cannot be used: it is a file, not a folder.");
  std::error_code ec;
  fs::create_directories(Fs(dir), ec);
  if (!IsFolder(dir))
    return fail("The data folder " + NativeSeparators(dir) +
                " could not be created (check that its parent folder exists and can be written).");
  return true;
}

}  // namespace store

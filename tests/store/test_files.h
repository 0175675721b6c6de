// Files for the store's tests without Qt: a private temporary folder that
// goes with its owner, and whole files read, written and patched in place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "tempfolder.h"

namespace testfiles {

// A new empty folder under the system's temporary folder, removed with
// everything in it when this goes.
class TempFolder {
 public:
  TempFolder() : path_(testsupport::MakeTempFolder("test")) {}
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  bool Valid() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The whole file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content (creating it when missing).
inline bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out.flush());
}

// Writes `bytes` over the file from byte `at` on, the rest staying as it is.
inline bool Overwrite(const std::string& path, int64_t at, const std::string& bytes) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  if (!file || !file.seekp(std::streamoff(at))) return false;
  file.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(file.flush());
}

// The folder and its missing parents; true also when it was there.
inline bool MakeFolders(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

}  // namespace testfiles

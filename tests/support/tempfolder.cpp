#include "tempfolder.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace testsupport {

std::string MakeTempFolder(std::string_view tag) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return {};
  // A random name; create_directory refuses one that is already there, so
  // two processes never share a folder.
  static std::mt19937_64 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::filesystem::path p = base / ("vantrell-" + std::string(tag) + "-" + std::to_string(rng() % 1000000000));
    if (std::filesystem::create_directory(p, ec)) return p.string();
  }
  return {};
}

}  // namespace testsupport

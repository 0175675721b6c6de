// A private temporary folder for a test, made the same way on every system.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// Makes a new folder "vantrell-TAG-<random>" under the system's temporary
// folder; its path, empty when none could be made.
std::string MakeTempFolder(std::string_view tag);

}  // namespace testsupport

// The engine settings of a process and its registry of open tables.
#include <memory>
#include <string>

#include "shared.h"
#include "xbase.h"

namespace xbase {

Environment::Environment() : registry_(std::make_unique<Registry>()) {}
Environment::~Environment() = default;

Environment& Environment::Default() {
  static Environment env;
  return env;
}

bool Environment::IsOpen(const std::string& dbfPath) const {
  auto it = registry_->open.find(CanonicalPath(dbfPath));
  return it != registry_->open.end() && !it->second.expired();
}

}  // namespace xbase

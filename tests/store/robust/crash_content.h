// What the crash writer posts: every field of a record follows from its
// identity and version, so a log line "id version" says all of its content.
#pragma once

#include <cstdint>
#include <string>

#include "robust_support.h"

namespace crash {

struct Content {
  std::string catalog, title, name, size, date, desc;
};

inline std::string NameOf(uint32_t id) { return "/crash/file-" + std::to_string(id); }

inline Content ContentOf(uint32_t id, uint32_t version) {
  static const char* const kWords[] = {"alpha", "Bravo", "charlie", "Delta", "echo",
                                       "Foxtrot", "golf", "Hotel"};
  const uint32_t h = id * 2654435761u ^ version * 40503u;
  Content c;
  // The catalog moves with the version, so an edit moves the record in the tag.
  c.catalog = "Cat" + std::to_string((id + version) % 5);
  c.title = std::string(kWords[h % 8]) + " " + std::to_string(id) + " v" + std::to_string(version);
  c.name = NameOf(id);
  c.size = std::to_string(version);
  c.date = "id " + std::to_string(id);
  // Memos from empty to several blocks; a version's memo differs in length
  // from the one before it, so an edit moves memos around the memo file.
  const uint32_t len = (h >> 8) % 10 == 0 ? 0 : (h >> 4) % 2600;
  c.desc = robust::MixedText(len, h);
  return c;
}

}  // namespace crash

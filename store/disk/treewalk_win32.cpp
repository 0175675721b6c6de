// The tree walk on Windows. Each folder is read once with the basic form of
// the directory search and large fetches; the sizes and times come with the
// names, so a file costs no look of its own (a symbolic link to a file is
// opened once, for its target's). Folders that are reparse points (symbolic
// links, junctions, volumes mounted in a folder) are not walked into, so a
// walk stays on its drive. Paths go to the system in their "\\?\" form and
// may be longer than 260 characters. Hidden entries are those with the
// hidden attribute, as in the add-files dialog.
#include "treewalk.h"

#include <algorithm>

#include "widetext_win32.h"

namespace disk {

namespace {

constexpr int kCheckEvery = 256;  // entries between two questions whether to stop

int64_t UnixSecondsOf(const FILETIME& t) {
  const int64_t ticks = (int64_t)((uint64_t)t.dwHighDateTime << 32 | t.dwLowDateTime) - 116444736000000000LL;
  return ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
}

std::string Join(const std::string& folder, const std::string& name) {
  std::string out = folder;
  if (out.empty() || (out.back() != '\\' && out.back() != '/')) out += '\\';
  return out + name;
}

struct Entry {
  std::string name;  // UTF-8, the order of the walk
  std::wstring wide;
  DWORD attributes = 0;
  int64_t size = 0, mtime = 0;
};

struct Frame {
  std::wstring longPath;  // "\\?\..." without a separator at its end
  std::string path;       // as the files below are named
  std::vector<Entry> folders;  // still to visit, the next one last
};

class Walk {
 public:
  Walk(const WalkOptions& options, const std::function<void(const WalkedFile&)>& onFile,
       std::vector<WalkSkip>* skipped)
      : options_(options), onFile_(onFile), skipped_(skipped) {}

  bool Run(const std::string& folder, std::string* error) {
    std::wstring longPath = LongPath(folder);
    const DWORD attributes = GetFileAttributesW(longPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (error) *error = folder + " cannot be read: it is no folder that can be found.";
      return false;
    }
    while (!longPath.empty() && longPath.back() == L'\\') longPath.pop_back();
    // As the user named it, made full: "C:\Music", "\\server\share\x".
    std::string path = Utf8(longPath.rfind(L"\\\\?\\UNC\\", 0) == 0 ? L"\\\\" + longPath.substr(8) : longPath.substr(4));
    if (path.size() == 2 && path[1] == ':') path += '\\';
    std::vector<Frame> stack;
    stack.push_back({longPath, path, {}});
    bool readable = true;
    if (!Read(stack.back(), &readable)) return false;
    if (!readable) {
      if (error) *error = folder + " cannot be read.";
      return false;
    }
    while (!stack.empty()) {
      if (stack.back().folders.empty()) {
        stack.pop_back();
        continue;
      }
      const Entry next = std::move(stack.back().folders.back());
      stack.back().folders.pop_back();
      Frame child{stack.back().longPath + L'\\' + next.wide, Join(stack.back().path, next.name), {}};
      stack.push_back(std::move(child));
      if (!Read(stack.back(), &readable)) return false;
      if (!readable) Skip(stack.back().path, "cannot be read");
    }
    return true;
  }

 private:
  void Skip(const std::string& path, const char* reason) {
    if (skipped_ != nullptr) skipped_->push_back({path, reason});
  }

  bool Stopped() { return ++count_ % kCheckEvery == 0 && options_.stopped && options_.stopped(); }

  // Reads one folder: its files are reported in name order, its
  // subfolders kept on the frame. False when stopped.
  bool Read(Frame& frame, bool* readable) {
    *readable = true;
    WIN32_FIND_DATAW data;
    const std::wstring pattern = frame.longPath + L"\\*";
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      // An empty drive's root has no entries at all, not even "." and "..".
      *readable = GetLastError() == ERROR_FILE_NOT_FOUND;
      return true;
    }
    std::vector<Entry> entries;
    do {
      if (Stopped()) {
        FindClose(find);
        return false;
      }
      const wchar_t* name = data.cFileName;
      if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) continue;
      Entry e;
      e.wide = name;
      e.attributes = data.dwFileAttributes;
      e.size = (int64_t)((uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow);
      e.mtime = UnixSecondsOf(data.ftLastWriteTime);
      if (!Utf8Of(e.wide.data(), e.wide.size(), &e.name)) {
        Skip(Join(frame.path, Utf8(e.wide)), "its name is not UTF-8 text");
        continue;
      }
      entries.push_back(std::move(e));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (Entry& e : entries) {
      if (Stopped()) return false;
      const bool reparse = e.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
      if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!reparse) frame.folders.push_back(std::move(e));
        continue;
      }
      if (reparse) {
        // A link to a file stands for that file: its target's size and
        // time; a dangling one is nothing.
        HANDLE h = CreateFileW((frame.longPath + L'\\' + e.wide).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        BY_HANDLE_FILE_INFORMATION info;
        const bool ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        e.size = (int64_t)((uint64_t)info.nFileSizeHigh << 32 | info.nFileSizeLow);
        e.mtime = UnixSecondsOf(info.ftLastWriteTime);
      }
      onFile_({Join(frame.path, e.name), e.size, e.mtime});
    }
    std::reverse(frame.folders.begin(), frame.folders.end());
    return true;
  }

  const WalkOptions& options_;
  const std::function<void(const WalkedFile&)>& onFile_;
  std::vector<WalkSkip>* skipped_;
  int64_t count_ = 0;
};

}  // namespace

bool WalkTree(const std::string& folder, const WalkOptions& options,
              const std::function<void(const WalkedFile&)>& onFile, std::vector<WalkSkip>* skipped,
              std::string* error) {
  if (folder.empty()) {
    if (error) *error = "No folder was given.";
    return false;
  }
  Walk walk(options, onFile, skipped);
  return walk.Run(folder, error);
}

}  // namespace disk

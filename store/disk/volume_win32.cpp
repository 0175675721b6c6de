// The volumes on Windows: a volume is known by its serial number, mounted at
// a drive letter (or in a folder of another volume). The system is asked
// with its critical-error box turned off, so a drive without a medium
// answers at once instead of asking the user for a disk.
#include "volume.h"

#include <algorithm>
#include <cstdio>

#include "widetext_win32.h"

namespace disk {

namespace {

// Turns the system's "insert a disk" box off for one query.
class QuietErrors {
 public:
  QuietErrors() : old_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~QuietErrors() { SetErrorMode(old_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  UINT old_;
};

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ' || w.back() == L'.'))
    w.pop_back();
  if (w.empty()) return "error " + std::to_string(code);
  return Utf8(w);
}

// A root without its "\\?\" prefix, as people write it: "C:\", "\\server\share\".
std::wstring PlainRoot(const std::wstring& root) {
  if (root.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + root.substr(8);
  if (root.rfind(L"\\\\?\\", 0) == 0 && root.size() >= 6 && root[5] == L':') return root.substr(4);
  return root;
}

// The volume mounted at `root` ("C:\", with its separator); false when
// there is none or no medium is in the drive.
bool Describe(const std::wstring& root, Volume* out, DWORD* code) {
  QuietErrors quiet;
  wchar_t label[MAX_PATH + 1] = {}, fsName[MAX_PATH + 1] = {};
  DWORD serial = 0;
  if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr, fsName, MAX_PATH + 1)) {
    if (code) *code = GetLastError();
    return false;
  }
  Volume v;
  char id[32];
  if (serial != 0) {
    std::snprintf(id, sizeof id, "%04X-%04X", unsigned(serial >> 16), unsigned(serial & 0xFFFF));
  } else {
    // No serial (some network shares): the root's name, hashed, tells the
    // volume apart for as long as it is mounted there.
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : root) hash = (hash ^ (uint64_t)towupper(c)) * 1099511628211ull;
    std::snprintf(id, sizeof id, "fsid:%llx", (unsigned long long)hash);
  }
  v.id = id;
  v.label = Utf8(label);
  v.fsType = Utf8(fsName);
  v.mountPoint = Utf8(root);
  wchar_t name[64] = {};
  v.device = GetVolumeNameForVolumeMountPointW(root.c_str(), name, 64) ? Utf8(name) : v.mountPoint;
  ULARGE_INTEGER available, total, totalFree;
  if (GetDiskFreeSpaceExW(root.c_str(), &available, &total, &totalFree)) {
    v.totalBytes = total.QuadPart;
    v.freeBytes = available.QuadPart;
  }
  *out = std::move(v);
  return true;
}

// The drive roots that can hold a user's files and have a medium now.
std::vector<std::wstring> DriveRoots() {
  std::vector<std::wstring> out;
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::wstring root = {wchar_t(L'A' + i), L':', L'\\'};
    const UINT type = GetDriveTypeW(root.c_str());
    if (type == DRIVE_FIXED || type == DRIVE_REMOVABLE || type == DRIVE_REMOTE || type == DRIVE_CDROM ||
        type == DRIVE_RAMDISK)
      out.push_back(root);
  }
  return out;
}

}  // namespace

bool VolumeOf(const std::string& path, Volume* out, std::string* error) {
  QuietErrors quiet;
  const std::wstring longPath = LongPath(path);
  if (GetFileAttributesW(longPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (error) *error = path + " cannot be found: " + SystemMessage(GetLastError()) + ".";
    return false;
  }
  std::wstring plain = PlainRoot(longPath);
  wchar_t root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(plain.c_str(), root, MAX_PATH + 1) &&
      !GetVolumePathNameW(longPath.c_str(), root, MAX_PATH + 1)) {
    if (error) *error = "The volume of " + path + " cannot be told: " + SystemMessage(GetLastError()) + ".";
    return false;
  }
  std::wstring mount = PlainRoot(root);
  if (mount.empty() || mount.back() != L'\\') mount += L'\\';
  DWORD code = 0;
  if (!Describe(mount, out, &code)) {
    if (error) *error = "The volume of " + path + " cannot be told: " + SystemMessage(code) + ".";
    return false;
  }
  return true;
}

std::vector<Volume> MountedVolumes() {
  std::vector<Volume> out;
  for (const std::wstring& root : DriveRoots()) {
    Volume v;
    if (!Describe(root, &v, nullptr)) continue;
    if (std::none_of(out.begin(), out.end(), [&](const Volume& o) { return o.id == v.id; })) out.push_back(std::move(v));
  }
  return out;
}

std::vector<std::string> MountPointsOf(const std::string& id) {
  std::vector<std::string> out;
  if (id.empty()) return out;
  const auto add = [&](const std::string& place) {
    if (std::find(out.begin(), out.end(), place) == out.end()) out.push_back(place);
  };
  for (const std::wstring& root : DriveRoots()) {
    Volume v;
    if (!Describe(root, &v, nullptr) || v.id != id) continue;
    add(v.mountPoint);
    // The same volume mounted in folders of other volumes as well.
    if (v.device.rfind("\\\\?\\Volume", 0) != 0) continue;
    std::vector<wchar_t> names(1024);
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameW(Wide(v.device).c_str(), names.data(), (DWORD)names.size(), &length)) continue;
    for (const wchar_t* p = names.data(); *p != L'\0'; p += wcslen(p) + 1) add(Utf8(p));
  }
  return out;
}

}  // namespace disk

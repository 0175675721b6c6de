#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "filetexts.h"
#include "tempfolder.h"
#include "treewalk.h"
#include "volume.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

std::string Join(const std::string& a, const std::string& b) { return a + kSep + b; }

void WriteFile(const std::string& path, size_t size, int64_t mtime) {
  std::ofstream(fs::u8path(path), std::ios::binary) << std::string(size, 'x');
#ifdef _WIN32
  HANDLE h = CreateFileW(fs::u8path(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const uint64_t ticks = (uint64_t)(mtime * 10000000 + 116444736000000000LL);
  FILETIME ft{(DWORD)ticks, (DWORD)(ticks >> 32)};
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  CloseHandle(h);
#else
  const timespec times[2] = {{mtime, 0}, {mtime, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
#endif
}

struct Walked {
  bool ok = false;
  std::vector<disk::WalkedFile> files;
  std::vector<disk::WalkSkip> skipped;
  std::string error;
};

Walked WalkOf(const std::string& folder, disk::WalkOptions options = {}) {
  Walked w;
  w.ok = disk::WalkTree(folder, options, [&](const disk::WalkedFile& f) { w.files.push_back(f); }, &w.skipped,
                        &w.error);
  return w;
}

// The walk lists what adding the folder with its subfolders takes in: every
// ordinary file with its size and time, folder by folder in name order,
// hidden entries and links to folders left out, and says what it passed over.
TEST(DiskWalk, ListsEveryFileBelowAFolderWithItsSizeAndTime) {
  const std::string root = testsupport::MakeTempFolder("walk");
  ASSERT_FALSE(root.empty());
#ifndef _WIN32
  // Readable to all (the walk may run as another user below).
  ::umask(022);
  ::chmod(root.c_str(), 0755);
#endif
  fs::create_directories(fs::u8path(Join(Join(root, "sub"), "deeper")));
  fs::create_directories(fs::u8path(Join(root, ".hiddendir")));
  WriteFile(Join(root, "b.txt"), 3, 1400000000);
  WriteFile(Join(root, "a.txt"), 5, 1300000001);
  WriteFile(Join(root, "\xC3\xBCn\xC3\xAF"), 1, 1200000000);
  WriteFile(Join(root, ".hidden"), 1, 1200000000);
  WriteFile(Join(Join(root, ".hiddendir"), "x.txt"), 1, 1200000000);
  WriteFile(Join(Join(root, "sub"), "c.txt"), 7, 1100000000);
  WriteFile(Join(Join(Join(root, "sub"), "deeper"), "d.txt"), 9, 1000000000);
  std::error_code ec;
  fs::create_symlink(fs::u8path(Join(root, "a.txt")), fs::u8path(Join(root, "linkfile")), ec);
  const bool links = !ec;
  if (links) fs::create_directory_symlink(fs::u8path(Join(root, "sub")), fs::u8path(Join(root, "linkdir")), ec);
  // A chain deeper than the descriptors the walk keeps open, and a file
  // beside its top, reached after the walk comes back up.
  std::string deep = Join(Join(root, "tree"), "a");
  for (int i = 0; i < 100; ++i) deep = Join(deep, "n");
  fs::create_directories(fs::u8path(deep));
  fs::create_directories(fs::u8path(Join(Join(root, "tree"), "b")));
  WriteFile(Join(deep, "bottom.txt"), 2, 1000000000);
  WriteFile(Join(Join(Join(root, "tree"), "b"), "beside.txt"), 4, 1000000000);
  std::vector<std::string> expectedSkips;
#ifndef _WIN32
  // Names the system gives as bytes that are no UTF-8: a stray byte, an
  // overlong form, a surrogate.
  for (const char* bad : {"bad\xFF", "bad\xC0\xAF", "bad\xED\xA0\x80"}) WriteFile(Join(root, bad), 1, 1000000000);
  fs::create_directory(Join(root, "locked"));
  ::chmod(Join(root, "locked").c_str(), 0);
  // Root reads every folder: the walk runs as nobody then (when root may
  // become nobody).
  const bool asRoot = ::geteuid() == 0;
  const bool canLock = !asRoot || ::seteuid(65534) == 0;
  if (asRoot && canLock && ::seteuid(0) != 0) FAIL() << "cannot become root again";
  if (canLock) expectedSkips.push_back(Join(root, "locked") + ": cannot be read");
  // Shown with a replacement character for each byte that is no character.
  std::string shown = "bad";
  for (int i = 0; i < 3; ++i)
    expectedSkips.push_back(Join(root, shown += "\xEF\xBF\xBD") + ": its name is not UTF-8 text");
#endif

#ifndef _WIN32
  if (asRoot && canLock) {
    ASSERT_EQ(::seteuid(65534), 0);
  }
#endif
  const Walked w = WalkOf(root);
#ifndef _WIN32
  if (asRoot && canLock) {
    ASSERT_EQ(::seteuid(0), 0);
  }
#endif
  ASSERT_TRUE(w.ok) << w.error;
  std::vector<std::string> got;
  for (const disk::WalkedFile& f : w.files)
    got.push_back(f.path.substr(root.size()) + " " + std::to_string(f.size) + " " + std::to_string(f.mtime));
  const std::string s(1, kSep);
  std::vector<std::string> expected = {s + "a.txt 5 1300000001", s + "b.txt 3 1400000000"};
  if (links) expected.push_back(s + "linkfile 5 1300000001");
  expected.push_back(s + "\xC3\xBCn\xC3\xAF 1 1200000000");
  expected.push_back(s + "sub" + s + "c.txt 7 1100000000");
  expected.push_back(s + "sub" + s + "deeper" + s + "d.txt 9 1000000000");
  expected.push_back(deep.substr(root.size()) + s + "bottom.txt 2 1000000000");
  expected.push_back(s + "tree" + s + "b" + s + "beside.txt 4 1000000000");
  EXPECT_EQ(got, expected);
  std::vector<std::string> skips;
  for (const disk::WalkSkip& k : w.skipped)
    if (k.reason != "another file system") skips.push_back(k.path + ": " + k.reason);
  // The byte order of names puts "bad..." before "locked".
  std::sort(skips.begin(), skips.end());
  std::sort(expectedSkips.begin(), expectedSkips.end());
  EXPECT_EQ(skips, expectedSkips);
#ifndef _WIN32
  if (!canLock) std::cout << "[ SKIPPED  ] the unreadable folder: root reads every folder and cannot become nobody\n";
  ::chmod(Join(root, "locked").c_str(), 0755);
#endif

  // A missing folder is an error, not an empty walk.
  const Walked missing = WalkOf(Join(root, "missing"));
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("missing"), std::string::npos) << missing.error;

  // Asked to stop, the walk ends early and says so.
  for (int i = 0; i < 600; ++i) WriteFile(Join(Join(root, "sub"), "m" + std::to_string(i)), 0, 1000000000);
  disk::WalkOptions stopping;
  stopping.stopped = [] { return true; };
  const Walked stopped = WalkOf(root, stopping);
  EXPECT_FALSE(stopped.ok);
  EXPECT_LT(stopped.files.size(), size_t(600));
  fs::remove_all(fs::u8path(root), ec);
}

// The volume of a folder names the file system it is on; a bind mount shows
// the same volume at another place.
TEST(DiskVolume, FolderHasAVolumeSeenAtEachPlaceItIsMounted) {
  const std::string root = testsupport::MakeTempFolder("volume");
  ASSERT_FALSE(root.empty());
  disk::Volume v;
  std::string error;
  ASSERT_TRUE(disk::VolumeOf(root, &v, &error)) << error;
  EXPECT_FALSE(v.id.empty());
  EXPECT_FALSE(v.fsType.empty());
  EXPECT_FALSE(v.mountPoint.empty());
  EXPECT_GE(v.totalBytes, v.freeBytes);
  EXPECT_GT(v.totalBytes, 0u);
  const std::vector<std::string> places = disk::MountPointsOf(v.id);
  EXPECT_NE(std::find(places.begin(), places.end(), v.mountPoint), places.end()) << v.id << " at " << v.mountPoint;
  const std::vector<disk::Volume> mounted = disk::MountedVolumes();
  EXPECT_EQ(std::count_if(mounted.begin(), mounted.end(), [&](const disk::Volume& m) { return m.id == v.id; }), 1);
  EXPECT_FALSE(disk::VolumeOf(Join(root, "missing"), &v, &error));
  EXPECT_FALSE(error.empty());

#ifdef _WIN32
  GTEST_SKIP() << "bind mounts are a POSIX facility";
#else
  // A blank in the mount point: the mount table writes it escaped.
  const std::string source = Join(root, "source"), target = Join(root, "bound here");
  fs::create_directory(source);
  fs::create_directory(target);
  if (::geteuid() != 0 || ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    fs::remove_all(root);
    GTEST_SKIP() << "a bind mount needs root and a system that allows it here";
  }
  disk::Volume bound;
  const bool found = disk::VolumeOf(target, &bound, &error);
  const std::vector<std::string> both = disk::MountPointsOf(v.id);
  const std::vector<disk::Volume> listed = disk::MountedVolumes();
  const std::string place = fs::canonical(target).string();
  ::umount2(target.c_str(), MNT_DETACH);
  fs::remove_all(root);
  ASSERT_TRUE(found) << error;
  EXPECT_EQ(bound.id, v.id);
  EXPECT_EQ(bound.mountPoint, place);
  EXPECT_NE(std::find(both.begin(), both.end(), v.mountPoint), both.end());
  EXPECT_NE(std::find(both.begin(), both.end(), bound.mountPoint), both.end());
  EXPECT_EQ(std::count_if(listed.begin(), listed.end(), [&](const disk::Volume& m) { return m.id == v.id; }), 1);

  // Another file system below a folder is walked into only when asked, a
  // pseudo one never.
  const std::string walked = testsupport::MakeTempFolder("mounts");
  const std::string other = Join(walked, "other"), system = Join(walked, "system");
  fs::create_directory(other);
  fs::create_directory(system);
  ASSERT_EQ(::mount("tmpfs", other.c_str(), "tmpfs", 0, nullptr), 0);
  WriteFile(Join(other, "f.txt"), 1, 1000000000);
  const bool proc = ::mount("proc", system.c_str(), "proc", 0, nullptr) == 0;
  const Walked staying = WalkOf(walked);
  disk::WalkOptions across;
  across.otherFileSystems = true;
  const Walked crossing = WalkOf(walked, across);
  if (proc) ::umount2(system.c_str(), MNT_DETACH);
  ::umount2(other.c_str(), MNT_DETACH);
  fs::remove_all(walked);
  std::vector<std::string> skips;
  for (const disk::WalkSkip& k : staying.skipped) skips.push_back(k.path + ": " + k.reason);
  std::vector<std::string> expected = {other + ": another file system"};
  if (proc) expected.push_back(system + ": system file system");
  EXPECT_EQ(skips, expected);
  EXPECT_TRUE(staying.files.empty());
  ASSERT_EQ(crossing.files.size(), 1u);
  EXPECT_EQ(crossing.files[0].path, Join(other, "f.txt"));
  EXPECT_EQ(crossing.skipped.size(), proc ? 1u : 0u);
  if (!proc) std::cout << "[ SKIPPED  ] the pseudo file system: proc cannot be mounted here\n";
#endif
}

#ifdef __linux__
bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string RandomUuid() {
  std::mt19937_64 rng{std::random_device{}()};
  const uint64_t a = rng(), b = rng();
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", unsigned(a >> 32), unsigned(a >> 16) & 0xffff,
                unsigned(a) & 0xffff, unsigned(b >> 48), (unsigned long long)(b & 0xffffffffffffULL));
  return text;
}

// A disk image mounted through a loop device is known by its file system's
// UUID, in the form /dev/disk/by-uuid names it, and shows its label,
// whether or not udev keeps links for it; a user who may not read the
// device is told them by the system's blkid cache.
TEST(DiskVolume, LoopMountedImageIsKnownByItsUuidAndLabel) {
  if (::geteuid() != 0) GTEST_SKIP() << "a loop mount needs root";
  const std::string root = testsupport::MakeTempFolder("loop");
  ASSERT_FALSE(root.empty());
  ::chmod(root.c_str(), 0755);
  const std::string image = Join(root, "disk.img"), place = Join(root, "mounted");
  fs::create_directory(place);
  std::ofstream(image).close();
  fs::resize_file(image, 8 << 20);
  const std::string uuid = RandomUuid(), label = "Vantrell d\xC3\xAFsk";
  if (!Succeeds("mkfs.ext4 -q -F -L '" + label + "' -U " + uuid + " '" + image + "'")) {
    fs::remove_all(root);
    GTEST_SKIP() << "mkfs.ext4 cannot make an image here";
  }
  if (!Succeeds("mount -o loop '" + image + "' '" + place + "'")) {
    fs::remove_all(root);
    GTEST_SKIP() << "a loop mount is not allowed here";
  }
  fs::create_directory(Join(place, "sub"));
  disk::Volume v;
  std::string error;
  const bool found = disk::VolumeOf(Join(place, "sub"), &v, &error);
  const std::vector<std::string> places = disk::MountPointsOf(uuid);
  const std::vector<disk::Volume> mounted = disk::MountedVolumes();

  // A process that cannot open the device (root without its capabilities,
  // the device's mode taken away for the while: Debian's libblkid reads
  // BLKID_FILE for root only) is told what the blkid cache says, here
  // other things than the image holds.
  const std::string cacheUuid = RandomUuid(), cache = Join(root, "blkid.tab");
  std::ofstream(cache) << "<device DEVNO=\"0x0700\" TIME=\"1700000000.0\" LABEL=\"cached\" UUID=\"" << cacheUuid
                       << "\" TYPE=\"ext4\">" << v.device << "</device>\n";
  ::chmod(cache.c_str(), 0644);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  struct stat node{};
  ::stat(v.device.c_str(), &node);
  ::chmod(v.device.c_str(), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // libblkid reads no variable in a process marked undumpable, as one is
    // that has changed its user (the walk's test does).
    ::prctl(PR_SET_DUMPABLE, 1);
    ::setenv("BLKID_FILE", cache.c_str(), 1);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2]{};
    std::string told = "cannot drop its capabilities";
    if (::syscall(SYS_capset, &header, none) == 0) {
      disk::Volume seen;
      const int fd = ::open(v.device.c_str(), O_RDONLY);
      told = fd >= 0 ? "can still read the device"
             : disk::VolumeOf(place, &seen, &told) ? seen.id + " " + seen.label
                                                   : told;
    }
    (void)!::write(out[1], told.data(), told.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string told;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) told.append(buffer, size_t(n));
  ::close(out[0]);
  ::waitpid(child, nullptr, 0);
  ::chmod(v.device.c_str(), node.st_mode & 07777);
  const bool udev = fs::exists("/dev/disk/by-uuid/" + uuid);
  const std::string expectedPlace = fs::canonical(place).string();

  if (::umount2(place.c_str(), 0) != 0) ::umount2(place.c_str(), MNT_DETACH);
  fs::remove_all(root);
  ASSERT_TRUE(found) << error;
  EXPECT_EQ(v.id, uuid);
  EXPECT_EQ(v.label, label);
  EXPECT_EQ(v.fsType, "ext4");
  EXPECT_EQ(v.mountPoint, expectedPlace);
  EXPECT_EQ(places, std::vector<std::string>{v.mountPoint});
  EXPECT_EQ(std::count_if(mounted.begin(), mounted.end(),
                          [&](const disk::Volume& m) { return m.id == uuid && m.label == label; }),
            1);
  if (udev || told == "cannot drop its capabilities" || told == "can still read the device")
    std::cout << "[ SKIPPED  ] the blkid cache: " << (udev ? "udev keeps links for the image" : told) << "\n";
  else
    EXPECT_EQ(told, cacheUuid + " cached");
}
#endif

int64_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (int64_t)(y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s / 2;
}

// The date texts the window writes in the locales' forms, and the tool's,
// read back to the two seconds a DOS date keeps.
TEST(DiskFileTexts, StoredDatesAreReadInEveryFormTheProgramWrites) {
  const int64_t d = Dos(2014, 3, 9, 11, 12, 15);
  EXPECT_EQ(disk::DateFieldText(d), "2014-03-09 11:12:14");
  for (const char* yes : {"2014-03-09 11:12:15", "2014-03-09 11:12:14", "03/09/2014 11:12:15", "09/03/2014 11:12:15",
                          "09.03.14 11:12:15", "3/9/14 11:12:15 AM", "3/9/14 11:12:15\xE2\x80\xAF" "am",
                          "2014/3/9 11:12:15", "09-03-2014 11:12:15", "  2014-03-09 11:12:15  "})
    EXPECT_TRUE(disk::SameStoredDate(yes, d)) << yes;
  for (const char* no : {"3/9/14 11:12:15 PM", "2014-03-09 11:12:16", "2014-03-09", "10/03/2014 11:12:15",
                         "31/31/2014 11:12:15", "garbage", "", "11:12:15", "2014-03-09 11", "3/9/1914 11:12:15"})
    EXPECT_FALSE(disk::SameStoredDate(no, d)) << no;
  // Midnight is written without a time; 12 AM and 12 PM; a year before the
  // day.
  EXPECT_TRUE(disk::SameStoredDate("09.03.14", Dos(2014, 3, 9, 0, 0, 0)));
  EXPECT_TRUE(disk::SameStoredDate("3/9/14 12:30:00 a.m.", Dos(2014, 3, 9, 0, 30, 0)));
  EXPECT_TRUE(disk::SameStoredDate("3/9/14 12:30 PM", Dos(2014, 3, 9, 12, 30, 0)));
  EXPECT_TRUE(disk::SameStoredDate("3/9/14 11:05 p.m.", Dos(2014, 3, 9, 23, 5, 0)));
  EXPECT_FALSE(disk::SameStoredDate("09.03.14 5", Dos(2014, 3, 9, 0, 0, 0)));
  EXPECT_TRUE(disk::SameStoredDate("01.01.69", Dos(2069, 1, 1, 0, 0, 0)));
  EXPECT_FALSE(disk::SameStoredDate("01.01.70", Dos(2070, 1, 1, 0, 0, 0)));
  EXPECT_TRUE(disk::SameStoredDate("98-03-09", Dos(1998, 3, 9, 0, 0, 0)));
  // Forms of other locales: a month's name (the C locale), the year first
  // with two digits, a marker of the afternoon in another language, digits
  // of another script.
  EXPECT_TRUE(disk::SameStoredDate("9 Mar 2014 11:12:15", d));
  EXPECT_TRUE(disk::SameStoredDate("14. 3. 9.", Dos(2014, 3, 9, 0, 0, 0)));
  EXPECT_TRUE(disk::SameStoredDate("31/12/03 11:59:58 GD", Dos(2003, 12, 31, 23, 59, 58)));
  EXPECT_FALSE(disk::SameStoredDate("31/12/03 11:59:58 GD", Dos(2003, 12, 31, 23, 59, 56)));
  EXPECT_TRUE(disk::SameStoredDate("\xE0\xA5\xA7\xE0\xA5\xAA/\xE0\xA5\xA9/\xE0\xA5\xAF", Dos(2014, 3, 9, 0, 0, 0)));
  EXPECT_TRUE(disk::SameStoredDate("09.03.98", Dos(1998, 3, 9, 0, 0, 0)));
  // The local time of a file's time, packed.
  struct tm local{};
  local.tm_year = 2014 - 1900, local.tm_mon = 2, local.tm_mday = 9, local.tm_hour = 11, local.tm_min = 12;
  local.tm_sec = 15, local.tm_isdst = -1;
  EXPECT_EQ(disk::DosDateOf((int64_t)mktime(&local)), d);
  EXPECT_EQ(disk::DosDateOf(0), Dos(1980, 1, 1, 0, 0, 0));
}

TEST(DiskFileTexts, StoredSizesAreReadExactOrAsRounded) {
  EXPECT_EQ(disk::SizeFieldTextOf(3624352), "3,624,352");
  EXPECT_EQ(disk::SizeFieldTextOf(12348030976), "11.5 GB");
  for (const char* yes : {"3,624,352", "3.624.352", "3 624 352", "3'624'352", "3\xC2\xA0" "624\xC2\xA0" "352",
                          "3\xE2\x80\xAF" "624\xE2\x80\xAF" "352", "3624352", "3624352   "})
    EXPECT_TRUE(disk::SameStoredSize(yes, 3624352)) << yes;
  for (const char* no : {"3,624,353", "3,624.352", "36,24,352,", "3,6243,52", "garbage", "", "3.4 MB"})
    EXPECT_FALSE(disk::SameStoredSize(no, 3624352)) << no;
  EXPECT_TRUE(disk::SameStoredSize("12", 12));
  EXPECT_FALSE(disk::SameStoredSize("12", 13));
  // 11.5 GB names what rounds to it, and nothing else.
  const int64_t gb = int64_t(1) << 30;
  for (const char* text : {"11.5 GB", "11,5 GB"}) {
    EXPECT_TRUE(disk::SameStoredSize(text, 12348030976)) << text;
    EXPECT_TRUE(disk::SameStoredSize(text, gb * 1146 / 100)) << text;
    EXPECT_FALSE(disk::SameStoredSize(text, gb * 1144 / 100)) << text;
    EXPECT_FALSE(disk::SameStoredSize(text, 12348030976 / 1024)) << text;
  }
  EXPECT_TRUE(disk::SameStoredSize("12.0 GB", 12 * gb));
  EXPECT_TRUE(disk::SameStoredSize("3.5 MB", 3624352));
  EXPECT_FALSE(disk::SameStoredSize("11.5 XB", 12348030976));
}

}  // namespace

#include "fuzz_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "robust_support.h"
#include "xbase.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

std::string MakeFolder() {
  std::error_code ec;
  // VANTRELL_FUZZ_TMP (set by run.sh) gathers the folders of one run, so
  // that those of processes the fuzzer stopped are removed with it.
  const char* given = std::getenv("VANTRELL_FUZZ_TMP");
  fs::path base = given && *given                    ? fs::path(given)
                  : fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                     : fs::temp_directory_path();
  // The process id keeps parallel fuzzing jobs apart.
  fs::path dir = base / ("vantrell-fuzz-" + std::to_string(static_cast<long>(::getpid())));
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  std::atexit([] {
    std::error_code e;
    fs::remove_all(Folder(), e);
  });
  return dir.string();
}

fs::file_time_type FixedTime() {
  return std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(1704067200)));
}

}  // namespace

const std::string& Folder() {
  // Never destroyed: the exit handler that removes the folder runs after the
  // destructors of statics made before it was registered.
  static const std::string& folder = *new std::string(MakeFolder());
  return folder;
}

std::string PathOf(std::string_view name) { return Folder() + "/" + std::string(name); }

void Put(std::string_view name, std::string_view bytes) { robust::WriteFile(PathOf(name), bytes); }

void Drop(std::string_view name) {
  std::error_code ec;
  fs::remove(PathOf(name), ec);
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz: %s\n", what.c_str());
  std::abort();
}

const SoundTable& Sound() {
  static const SoundTable sound = [] {
    const std::string dir = PathOf("sound");
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    // Sixty records with long titles, so the tag has a branch page above two
    // leaves; memos from empty to a few blocks.
    std::vector<robust::Rec> recs;
    static const char* const kCatalogs[] = {"Music", "Documents", "Photos"};
    for (int i = 0; i < 60; ++i) {
      robust::Rec r;
      r.catalog = kCatalogs[i % 3];
      r.title = std::string(1, static_cast<char>('A' + (i * 11) % 26)) + std::to_string(i) +
                " a title long enough to fill the index pages with few entries";
      r.name = "/f/" + std::to_string(i);
      r.size = std::to_string(i * 100);
      r.date = "01/01/2024";
      r.desc = i % 5 == 0 ? "" : robust::MixedText(static_cast<size_t>(i * 13 % 200), static_cast<uint32_t>(i));
      recs.push_back(r);
    }
    robust::BuildRecordsTable(dir, recs, {3, 30});
    // A fixed header date and modification time, so that the files are the
    // same on any day; one open then brings the index up to that state.
    const std::string dbf = dir + "/VTLDataA.dbf";
    std::string bytes = robust::ReadFile(dbf);
    bytes[1] = 124, bytes[2] = 1, bytes[3] = 1;
    robust::WriteFile(dbf, bytes);
    fs::last_write_time(dbf, FixedTime());
    {
      xbase::Environment env;
      xbase::Table t(env);
      t.SetDatabaseName(dir);
      t.SetTableName("VTLDataA.dbf");
      t.SetIndexTag("CatFlTl");
      t.Open();
      t.Close();
    }
    if (!xbase::CheckTable(dbf).empty()) Fail("the sound table does not check clean");
    SoundTable s{robust::ReadFile(dbf), robust::ReadFile(dir + "/VTLDataA.SMT"),
                 robust::ReadFile(dir + "/VTLDataA.nsx")};
    fs::remove_all(dir, ec);
    return s;
  }();
  return sound;
}

void PutSoundTable(std::string_view name) {
  Put(name, Sound().dbf);
  fs::last_write_time(PathOf(name), FixedTime());
}

bool WalkTable(std::string_view table, std::string_view tag, bool showDeleted) {
  const size_t limit = 1u << 20;
  try {
    (void)xbase::CheckTable(PathOf(table));
  } catch (const xbase::Error&) {
  }
  try {
    xbase::Environment env;
    env.SetDeleted(!showDeleted);
    xbase::Table t(env);
    t.SetDatabaseName(Folder());
    t.SetTableName(std::string(table));
    t.SetIndexTag(std::string(tag));
    t.Open();
    std::vector<uint32_t> forth, back;
    for (t.First(); !t.Eof(); t.Next()) {
      for (const xbase::FieldDef& f : t.Fields()) (void)t.FieldByName(f.name);
      (void)t.IsDeletedRecord();
      forth.push_back(t.RecNo());
      if (forth.size() > limit) Fail("Next never reaches the end");
    }
    if (t.RecordCount() != static_cast<int64_t>(forth.size()))
      Fail("RecordCount " + std::to_string(t.RecordCount()) + " but " + std::to_string(forth.size()) + " walked");
    for (t.Last(); !t.Bof(); t.Prior()) {
      back.push_back(t.RecNo());
      if (back.size() > limit) Fail("Prior never reaches the beginning");
    }
    std::reverse(back.begin(), back.end());
    if (back != forth) Fail("walking back gives other records than walking forth");
    if (!forth.empty()) {
      const size_t mid = forth.size() / 2;
      if (!t.MoveToIndex(static_cast<int64_t>(mid)) || t.RecNo() != forth[mid]) Fail("MoveToIndex lands elsewhere");
    }
    t.Close();
    return true;
  } catch (const xbase::Error&) {
    return false;
  }
}

}  // namespace fuzz

// The victim of the crash test: works on the records table the way the
// program does (shared open, tag CatFlTl) until it is killed.
//
//   crash_writer FOLDER LOG SEED FIRST_ID BATCH
//
// Appends new records (identities from FIRST_ID up), edits and deletes
// existing ones, and with BATCH=1 groups its posts in BeginBatch/EndBatch.
// Each change is logged around the call that makes it, with single write()s
// that reach the kernel at once:
//   R                 the table is open
//   P id version      about to post that version of record `id`
//   D id version      Post returned
//   X id / Y id       about to delete / Delete returned
//   B / E             BeginBatch returned / EndBatch returned
// After 20000 changes (far more than a round allows) it waits to be killed.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "crash_content.h"
#include "xbase.h"

namespace {

int logFd = -1;

void Log(const std::string& line) {
  const std::string l = line + "\n";
  if (::write(logFd, l.data(), l.size()) != static_cast<ssize_t>(l.size())) std::_Exit(3);
}

void Fill(xbase::Table& t, const crash::Content& c) {
  t.SetFieldByName("Catalog", c.catalog);
  t.SetFieldByName("FLTitle", c.title);
  t.SetFieldByName("FLNAME", c.name);
  t.SetFieldByName("FLSIZE", c.size);
  t.SetFieldByName("FLDate", c.date);
  t.SetFieldByName("FLDesc", c.desc);
}

uint32_t IdOf(const std::string& name) {
  const std::string prefix = crash::NameOf(0).substr(0, crash::NameOf(0).size() - 1);
  return static_cast<uint32_t>(std::strtoul(name.c_str() + prefix.size(), nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: crash_writer FOLDER LOG SEED FIRST_ID BATCH\n");
    return 2;
  }
  const std::string folder = argv[1];
#ifndef O_BINARY
#define O_BINARY 0
#endif
  logFd = ::open(argv[2], O_WRONLY | O_APPEND | O_CREAT | O_BINARY, 0644);
  if (logFd < 0) return 3;
  std::mt19937 rng(static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)));
  uint32_t nextId = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10));
  const bool batch = std::string(argv[5]) == "1";

  try {
    xbase::Environment env;
    xbase::Table t(env);
    t.SetDatabaseName(folder);
    t.SetTableName(robust::kRecordsFile);
    t.SetIndexTag(robust::kRecordsTag);
    t.Open();
    Log("R");

    int batchLeft = 0;
    for (int op = 0; op < 20000; ++op) {
      if (batch && batchLeft == 0) {
        t.BeginBatch();
        Log("B");
        batchLeft = 5 + static_cast<int>(rng() % 30);
      }
      const uint32_t dice = rng() % 10;
      const int64_t count = t.RecordCount();
      if (dice < 6 || count == 0) {
        const uint32_t id = nextId++;
        Log("P " + std::to_string(id) + " 1");
        t.Append();
        Fill(t, crash::ContentOf(id, 1));
        t.Post();
        Log("D " + std::to_string(id) + " 1");
      } else {
        if (!t.MoveToIndex(static_cast<int64_t>(rng() % count))) {
          std::fprintf(stderr, "MoveToIndex failed inside %lld records\n",
                       static_cast<long long>(count));
          return 4;
        }
        const uint32_t id = IdOf(t.FieldByName("FLNAME"));
        const uint32_t version = static_cast<uint32_t>(std::stoul(t.FieldByName("FLSIZE")));
        if (dice < 9) {
          Log("P " + std::to_string(id) + " " + std::to_string(version + 1));
          t.Edit();
          Fill(t, crash::ContentOf(id, version + 1));
          t.Post();
          Log("D " + std::to_string(id) + " " + std::to_string(version + 1));
        } else {
          Log("X " + std::to_string(id));
          t.Delete();
          Log("Y " + std::to_string(id));
        }
      }
      if (batch && --batchLeft == 0) {
        t.EndBatch();
        Log("E");
      }
    }
    if (batch && batchLeft > 0) {
      t.EndBatch();
      Log("E");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "crash_writer: %s\n", e.what());
    return 1;
  }
  Log("W");
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

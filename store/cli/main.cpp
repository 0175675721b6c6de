// vantrell-db: the catalog database from the command line.
//
// Exit status: 0 done, 1 bad input or a problem found (message on standard
// error), 2 wrong usage; diff answers as diff does (0 the same, 1 different,
// 2 trouble). Commands that write (import, scan, refresh, pack, reindex, repair) use the
// tables exclusively, so they refuse to run while the program has them
// open; the others open them for reading only, beside the program.

#include <cstdio>
#include <exception>
#include <string>

#include <xbase.h>

#include "cli.h"

using namespace vdb;

namespace {

const char kUsage[] =
    "usage:\n"
    "  vantrell-db create DATADIR                      create the missing database files\n"
    "  vantrell-db import DATADIR FILE                 append records (FILE - = standard input)\n"
    "  vantrell-db export DATADIR [--catalog NAME] [--csv]\n"
    "  vantrell-db scan DATADIR CATALOG FOLDER         add every file below FOLDER as a record\n"
    "  vantrell-db diff DATADIR CATALOG [FOLDER]       new, changed, missing and moved files\n"
    "  vantrell-db refresh DATADIR CATALOG [FOLDER] [--add] [--update] [--follow] [--delete]\n"
    "                                                  apply those kinds of difference\n"
    "  vantrell-db count DATADIR [CATALOG]             number of records\n"
    "  vantrell-db search DATADIR TEXT [--title]       records whose path (or title) holds TEXT\n"
    "  vantrell-db pack DATADIR                        remove deleted records for good\n"
    "  vantrell-db reindex DATADIR                     rebuild the index files\n"
    "  vantrell-db check DATADIR                       verify the files\n"
    "  vantrell-db repair DATADIR                      set the record counts to the records the tables\n"
    "                                                  hold, and rebuild the index files\n"
    "  vantrell-db --version                           the program's version\n"
    "  vantrell-db --help                              this text\n"
    "\n"
    "Records are lines of six tab-separated fields: catalog, title, path, size, date,\n"
    "description (in the description \\t, \\n, \\r and \\\\ stand for tab, line feed,\n"
    "carriage return and backslash). --csv writes RFC 4180 CSV instead. Put -- before a\n"
    "search text that begins with a dash.\n"
    "\n"
    "scan remembers the volume FOLDER is on; diff and refresh compare the folders the\n"
    "catalog remembers (or FOLDER), wherever their disks are mounted now. diff writes\n"
    "tab-separated lines: new, changed or missing, the path, size and date; moved, the\n"
    "new path, the record's path, size and date. It exits 0 when nothing differs, 1\n"
    "when something does, 2 on trouble. refresh --add adds the new files, --update\n"
    "takes the changed sizes and dates, --follow gives moved files' records their new\n"
    "paths, --delete deletes the records of missing files.\n";


// The commands by name. A command that writes refuses a damaged table;
// check tells what is damaged and which command, if any, repairs it, so
// such a refusal names check. A new command is a cmd_<name>.cpp of its
// own, declared in cli.h, with its row here and its line in kUsage.
struct Command {
  const char* name;
  int (*run)(const Strings& argv);
  bool namesCheckWhenDamaged;
};
constexpr Command kCommands[] = {
    {"create", CmdCreate, false},
    {"import", CmdImport, true},
    {"scan", CmdScan, true},
    {"refresh", CmdRefresh, true},
    {"pack", CmdPack, true},
    {"reindex", CmdReindex, true},
    {"export", CmdExport, false},
    {"count", CmdCount, false},
    {"search", CmdSearch, false},
    {"diff", CmdDiff, false},
    {"repair", CmdRepair, false},
    {"check", CmdCheck, false},
    {"default-data-dir", CmdDefaultDataDir, false},
};

int Run(Strings args) {
  if (args.empty()) throw UsageError("no command given");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "-h" || command == "--help" || command == "help") {
    Out(kUsage);
    return kExitOk;
  }
  if (command == "--version" || command == "version") {
    Out("vantrell-db " VANTRELL_VERSION "\n");
    return kExitOk;
  }
  for (const Command& c : kCommands) {
    if (command != c.name) continue;
    if (!c.namesCheckWhenDamaged) return c.run(args);
    try {
      return c.run(args);
    } catch (const xbase::Error& e) {
      if (e.code() != xbase::ErrorCode::Corrupt || args.empty()) throw;
      throw Problem(std::string(e.what()) + "\nrun: vantrell-db check " + Native(args.front()));
    }
  }
  throw UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  try {
    status = Run(Arguments(argc, argv));
  } catch (const UsageError& e) {
    ErrLine(e.what());
    Err(kUsage);
    return kExitUsage;
  } catch (const Problem& e) {
    ErrLine(e.what());
    status = kExitProblem;
  } catch (const std::exception& e) {
    ErrLine(e.what());
    status = kExitProblem;
  } catch (...) {
    ErrLine("unexpected failure");
    status = kExitProblem;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    ErrLine("could not write to standard output");
    return kExitProblem;
  }
  return status;
}

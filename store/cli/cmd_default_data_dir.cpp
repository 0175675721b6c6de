// vantrell-db default-data-dir: where the program keeps its database when
// started without a data folder.

#include "cli.h"
#include "folder.h"

namespace vdb {

// Where the program in this folder keeps its database when started without
// --data-dir (used by the start script).
int CmdDefaultDataDir(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 0, 0);
  Out(Native(store::DefaultDataFolderUtf8(ExecutableFolder(), store::UserAppDataFolder())) + "\n");
  return kExitOk;
}

}  // namespace vdb

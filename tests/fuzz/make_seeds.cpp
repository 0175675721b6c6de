// Writes the seed corpora of the fuzz targets from sound files the engine
// makes:  make_seeds CORPUS_FOLDER  (fills its dbf, memo and index folders;
// the expr seeds are plain text kept by hand). Run it again when a file
// format changes.
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "robust_support.h"
#include "xbase.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds CORPUS_FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = argv[1];
  try {
    const fuzz::SoundTable& s = fuzz::Sound();
    for (const char* d : {"dbf", "memo", "index"}) fs::create_directories(out / d);
    robust::WriteFile((out / "dbf" / "records.dbf").string(), s.dbf);
    robust::WriteFile((out / "memo" / "records.SMT").string(), s.smt);
    // The index target's first byte: 0 takes the file as it is, 1 gives
    // every page a valid checksum first.
    robust::WriteFile((out / "index" / "records.nsx").string(), std::string(1, '\0') + s.nsx);
    robust::WriteFile((out / "index" / "records_sealed.nsx").string(), std::string(1, '\1') + s.nsx);

    // A memo file with nothing in it yet.
    robust::WriteFile((out / "memo" / "empty.SMT").string(), s.smt.substr(0, 512));

    // The catalog-names table: one character field, no memo.
    const std::string dir = fuzz::PathOf("seeds");
    fs::remove_all(dir);
    fs::create_directories(dir);
    robust::BuildCatalogTable(dir, {"Music", "Documents", "Photos", "Temporary"}, {2});
    std::string cat = robust::ReadFile(dir + "/VTLCa.dbf");
    cat[1] = 124, cat[2] = 1, cat[3] = 1;  // a fixed date
    robust::WriteFile((out / "dbf" / "catalogs.dbf").string(), cat);
    fs::remove_all(dir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}

// The pack journal. A pack writes the new table, memo and index files
// beside the old ones (`VTLDataA.dbf.pack-dbf`, `VTLDataA.SMT.pack-memo`,
// `VTLDataA.nsx.pack-idx`), then the journal `VTLDataA.dbf.pack`, and only
// then renames the new files into place. Once the journal exists the pack
// is completed by whoever opens the table next, wherever the folder has been
// moved or copied to: each line names a new file and the file it replaces as
// plain names in the journal's own folder, "new<TAB>old".
#pragma once

#include <string>
#include <vector>

namespace xbase {

struct PackStep {
  std::string from, to;  // plain file names in the table's folder
};

std::string PackJournalPath(const std::string& dbfPath);

// The new file that replaces `target` in a pack: beside the file itself (a
// linked table's target), so that the rename keeps the link.
std::string PackFileFor(const std::string& target, const std::string& suffix);

// Reads a table's journal. Throws Error(Corrupt) naming the journal when it
// cannot be read or names anything but the table's own files: new files of
// this table replacing its own table, memo and index files.
std::vector<PackStep> ReadPackJournal(const std::string& dbfPath);

// For the check of a table: what an unfinished pack left, or "".
std::string PendingPackProblem(const std::string& dbfPath);

}  // namespace xbase

// Which commands of the main window are available, by the tag each command
// carries:
//   0  never switched by the record (exit, help, catalog and option commands)
//   1  browse-only (search, zip); the grid and the memo are writable only
//      while editing
//   2  edit-only (save, the clean-up commands)
//   3  record commands; their latching buttons go up when editing ends
//   4  commands on the catalogued file; only while the file is on disk
// The pass is worked out here from the state; the window applies it.
#pragma once

#include <QString>

#include <array>
#include <optional>

#include <xbase.h>

namespace browse {

inline constexpr int kTagAlways = 0;
inline constexpr int kTagBrowseOnly = 1;
inline constexpr int kTagEditOnly = 2;
inline constexpr int kTagRecord = 3;
inline constexpr int kTagFile = 4;

// What the check of the current record's file says so far.
enum class FileState {
  Unchecked,  // no path, or the check is skipped (packing): counts as present
  Pending,    // the check runs: the file commands wait for its answer
  Present,
  Missing,
};

struct TagSwitches {
  // By tag: switch the tag's buttons and menu items on or off; nullopt
  // leaves them as they are.
  std::array<std::optional<bool>, 5> enabled;
  // The grid and the memo (tag 1 data controls): writable or read-only.
  std::optional<bool> dataControlsWritable;
  // Every latching tag 3 button goes up.
  bool releaseLatched = false;
  // The zip commands, applied after the tags.
  std::optional<bool> zipEnabled;

  std::optional<bool> EnabledOf(int tag) const {
    return tag >= 0 && tag < (int)enabled.size() ? enabled[(size_t)tag] : std::nullopt;
  }
};

bool IsEditing(xbase::State state);

// A change of the records table's state: browse-only commands off and the
// data controls writable while editing, edit-only commands on; leaving the
// edit releases the latched record buttons.
TagSwitches ForState(xbase::State state);

// A change of the current record (or the answer of its file check): the
// file commands follow the file, the zip commands need a path holding
// ".zip" (any case, anywhere) and a file that is there. Record commands are
// never switched off by a record.
TagSwitches ForRecord(FileState file, const QString& path);

bool FileCountsAsPresent(FileState file);
bool IsZipPath(const QString& path);

}  // namespace browse

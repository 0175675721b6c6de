// The entries of a zip archive found by walking its local file headers from
// the start of the file: the listing of an archive whose central directory
// the unzip library cannot read (missing, cut off or damaged).
//
// A self-extracting archive (".exe") is searched from byte 14000, and the
// search for a first header tries at most 60000 bytes. Every size read from
// the file is checked against the file's size before it is trusted: a
// damaged or hostile file gives a message and the entries before the
// damage, never a crash, a hang or memory out of proportion to the file.
#pragma once

#include <QString>

#include "zipentry.h"

namespace zip {

// The messages of the walk.
inline constexpr const char* kNoEntriesFound = "No valid zip entries found";
inline constexpr const char* kReadError = "Error reading Zip File";     // the file ends between entries
inline constexpr const char* kReadError2 = "Error 2 reading Zip file";  // a header or its name is cut off
inline constexpr const char* kReadError3 = "Error 3 reading Zip file";  // an entry runs past the end
inline constexpr const char* kReadError4 = "Error 4 reading Zip file";  // its extra field cannot be read
inline constexpr const char* kReadError5 = "Error 5 reading Zip file";  // its data cannot be skipped

// Walks the local headers of the file at `path`, from byte 14000 when
// `selfExtracting`. A file that cannot be opened gives the reason.
Listing WalkLocalHeaders(const QString& path, bool selfExtracting);

}  // namespace zip

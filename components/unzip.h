// Extraction of zip archive entries into a folder, over libzip.
//
// Guarantees:
// - Nothing is written outside the chosen folder. Entries whose names climb
//   out of it (".." components), are absolute ("/..." or "\..."), start with
//   a drive letter ("C:"), or are symbolic links are refused with a message
//   and not written. No byte is written through a link already in the
//   folder: an entry whose path meets a symbolic link (or, on Windows, a
//   junction or other reparse point) below the folder, or whose own place is
//   one, is refused with a message. A backslash in a name separates folders like "/".
// - Each file is written to a temporary file beside its destination and
//   renamed over it only when it is complete and checked: a failed or
//   stopped extraction leaves an older file of that name as it was and no
//   temporary file behind.
// - An entry's data is counted while it is written: more than its declared
//   size stops that entry with a message, as does a CRC mismatch or too
//   little data. An encrypted entry is reported as needing a password.
// - Nothing throws out of Extract; every problem is a message or the error.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace zip {

struct ExtractOptions {
  bool dirNames = false;   // recreate the stored folders
  bool overwrite = false;  // replace existing files
};

// What the extraction reports while it runs; each returns false to stop it.
struct ExtractCallbacks {
  // A file starts (size = its uncompressed size), a step of it (about every 64 KiB), it ends.
  // For a step, size is the bytes written so far; when it ends, all it holds.
  enum class Step { FileStarts, Progress, FileEnds };
  std::function<bool(Step step, const QString& name, qint64 size)> progress;
  // A problem: code > 0 for errors (refused entry, bad data, write failure), 0 for notes.
  std::function<bool(int code, const QString& message)> message;
};

// The codes of the messages.
enum ExtractCode : int {
  kExtractNote = 0,         // an existing file left alone, a name not in the archive
  kExtractRefused = 1,      // a name that would land outside the folder, a link
  kExtractEncrypted = 2,    // a password is needed
  kExtractBadData = 3,      // CRC mismatch, wrong size, unreadable or unsupported data
  kExtractWriteFailed = 4,  // the file or its folder could not be written
};

struct ExtractResult {
  int extracted = 0;        // files written
  bool stopped = false;     // a callback stopped it
  QString error;            // the archive could not be opened at all ("" otherwise)
};

// Extracts `names` (all entries when empty) of `archive` into `folder`.
// Names are matched exactly against the entries' names as the listing gives
// them (letter case counts: "Read.txt" does not extract "read.txt").
// Without dirNames every file lands in the folder under its bare name;
// with it the stored folders are recreated (folder entries included, which
// are not counted as files). Without overwrite an existing file is left
// alone and not counted. Modification times come from the entries.
ExtractResult Extract(const QString& archive, const QString& folder, const QStringList& names,
                      const ExtractOptions& options, const ExtractCallbacks& callbacks = {});

}  // namespace zip

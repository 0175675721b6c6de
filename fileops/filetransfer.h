// The file work of the file commands, done so that a failure loses
// nothing: a file that is replaced stays until its replacement is complete
// on disk, a file that is moved leaves its place only once it has arrived,
// and a file that is deleted goes to the trash, from where it can be
// restored.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace fileops {

struct Outcome {
  enum class State {
    Done,
    Failed,      // nothing changed
    CopiedOnly,  // a move across file systems: the copy is complete, the source could not be removed
    Cancelled,   // stopped by the user; nothing changed
  };
  State state = State::Failed;
  QString why;  // the system's reason, for a message; "" when done
  bool ok() const { return state == State::Done; }
};

// Told the bytes copied so far and the size of the whole file while a copy
// runs; returning false stops the copy (Outcome::State::Cancelled).
using Progress = std::function<bool(int64_t done, int64_t total)>;

// Whether the two paths name the same file (through links too).
bool SameFile(const QString& a, const QString& b);

// Copies `source` to `destination`, replacing a file there. The copy is
// written beside the destination under a temporary name and synced, and
// only then takes the destination's name: a copy that fails leaves the
// destination's old file as it was. The copy keeps the source's permissions
// and modification time. A copy that is stopped through `progress` leaves
// nothing behind either.
Outcome CopyReplacing(const QString& source, const QString& destination, const Progress& progress = {});

// Moves `source` to `destination`, replacing a file there. Within one file
// system the file is renamed; across file systems it is copied as
// CopyReplacing does, and the source is removed only after its copy has
// taken the destination's place; a stopped copy leaves the source where it
// was.
Outcome MoveReplacing(const QString& source, const QString& destination, const Progress& progress = {});

// Runs `work` (a copy or a move) on a worker thread while the window stays
// alive: a progress dialog captioned `caption` shows the bytes done of all
// and its Cancel stops the work at its next piece. The dialog appears only
// when the work takes longer than a moment.
Outcome WithProgress(QWidget* parent, const QString& caption, const QString& text,
                     const std::function<Outcome(const Progress&)>& work);

// Creates one folder; its parent must exist.
Outcome MakeFolder(const QString& path);

// Moves a file to the user's trash. Done only when nothing is left at the
// path afterwards (a file that was already gone counts as done).
Outcome TrashFile(const QString& path);

}  // namespace fileops

#include "commandtags.h"

namespace browse {

bool IsEditing(xbase::State state) { return state == xbase::State::Edit || state == xbase::State::Insert; }

TagSwitches ForState(xbase::State state) {
  const bool editing = IsEditing(state);
  TagSwitches s;
  s.enabled[kTagBrowseOnly] = !editing;
  s.enabled[kTagEditOnly] = editing;
  s.dataControlsWritable = editing;
  s.releaseLatched = !editing;
  return s;
}

bool FileCountsAsPresent(FileState file) { return file == FileState::Unchecked || file == FileState::Present; }

bool IsZipPath(const QString& path) { return path.contains(QLatin1String(".zip"), Qt::CaseInsensitive); }

TagSwitches ForRecord(FileState file, const QString& path) {
  const bool present = FileCountsAsPresent(file);
  TagSwitches s;
  s.enabled[kTagFile] = present;
  s.zipEnabled = present && IsZipPath(path);
  return s;
}

}  // namespace browse

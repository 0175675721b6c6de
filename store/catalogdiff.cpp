// A catalog against its disks: the records below the folders of its
// volumes, read once, and a walk of each folder where its volume is
// mounted now; the applying of what was found is catalogrefresh.cpp.
#include "catalogdiff.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include <xbase.h>

#include "filetexts.h"
#include "folder.h"
#include "catalogview.h"
#include "schema.h"

namespace store {

namespace {

constexpr uint64_t kProgressEvery = 4096;  // files between two reports


// Whether a path below a folder passes through a name the walk leaves out
// (hidden: beginning with ".").
bool Hidden(std::string_view relative) {
  for (size_t at = 0; at < relative.size();) {
    if (relative[at] == '.') return true;
    size_t next = at;
    while (next < relative.size() && !IsPathSeparator(relative[next])) ++next;
    at = next + 1;
  }
  return false;
}

// A size text of digits grouped by "," in threes (the tool's form and
// many locales'): the size; -1 for any other text.
int64_t PlainSize(std::string_view text) {
  if (text.empty() || text.size() > 19) return -1;
  int64_t n = 0;
  size_t digitsInGroup = 0;
  bool grouped = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',') {
      if (digitsInGroup == 0 || (grouped && digitsInGroup != 3) || digitsInGroup > 3) return -1;
      grouped = true;
      digitsInGroup = 0;
      continue;
    }
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
    ++digitsInGroup;
  }
  if (grouped && digitsInGroup != 3) return -1;
  return n;
}

// The tool's date text "yyyy-MM-dd HH:mm:ss" (even seconds, from 1980 on,
// as a DOS date-time holds it): the packed date-time; -1 for any other text.
int64_t PlainDosDate(std::string_view t) {
  if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return -1;
  int v[6];
  const size_t at[6] = {0, 5, 8, 11, 14, 17}, width[6] = {4, 2, 2, 2, 2, 2};
  for (int f = 0; f < 6; ++f) {
    int n = 0;
    for (size_t i = 0; i < width[f]; ++i) {
      const char c = t[at[f] + i];
      if (c < '0' || c > '9') return -1;
      n = n * 10 + (c - '0');
    }
    v[f] = n;
  }
  if (v[0] < 1980 || v[0] > 2107 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 ||
      v[5] > 59 || v[5] % 2 != 0)
    return -1;
  return (int64_t(v[0] - 1980) << 25) | (int64_t(v[1]) << 21) | (int64_t(v[2]) << 16) | (int64_t(v[3]) << 11) |
         (int64_t(v[4]) << 5) | int64_t(v[5] / 2);
}

// "1,234,567": the inverse of PlainSize.
std::string GroupedSize(int64_t size) {
  std::string digits = std::to_string(size), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The packed DOS date-time of a time, the last one kept: files side by side
// mostly share their times.
struct DosDates {
  int64_t lastTime = INT64_MIN, lastDos = 0;
  int64_t Of(int64_t mtime) {
    if (mtime != lastTime) {
      lastTime = mtime;
      lastDos = disk::DosDateOf(mtime);
    }
    return lastDos;
  }
};

// A place compared: a folder as the records' paths begin, and where its
// files are walked now.
struct Place {
  std::string stored;     // with its separator at the end
  std::string walked;     // the same on the disk now, with its separator
  std::string volumeId;   // the volume it is on ("" when none is known)
  std::string mountedAt;  // where that volume is mounted now
  std::string label;      // the volume's label, for messages
  bool remembered = false;  // a volume of the catalog's (else the system's answer)
};

// The records below the places: their paths (relative to their place) in
// blocks of one arena, sizes and dates in compact arrays, and a hash index
// over (place, path). A size or date text of another form than the
// tool's is kept in the arena after the path, and read as the texts of
// the window's locales are read.
class RecordSet {
 public:
  static constexpr uint8_t kSizeText = 1, kDateText = 2;

  void Add(uint32_t recno, uint8_t place, std::string_view relative, std::string_view sizeText,
           std::string_view dateText) {
    const int64_t size = PlainSize(sizeText), dos = PlainDosDate(dateText);
    uint8_t flags = 0;
    size_t need = relative.size();
    if (size < 0) {
      flags |= kSizeText;
      need += 1 + sizeText.size();
    }
    if (dos < 0) {
      flags |= kDateText;
      need += 1 + dateText.size();
    }
    char* at = Reserve(need);
    offset_.push_back(uint64_t(at - blocks_.back().get()) + (uint64_t(blocks_.size() - 1) << kBlockBits));
    std::copy(relative.begin(), relative.end(), at);
    at += relative.size();
    if (flags & kSizeText) {
      *at++ = char(sizeText.size());
      at = std::copy(sizeText.begin(), sizeText.end(), at);
    }
    if (flags & kDateText) {
      *at++ = char(dateText.size());
      std::copy(dateText.begin(), dateText.end(), at);
    }
    length_.push_back(uint8_t(relative.size()));
    place_.push_back(place);
    flags_.push_back(flags);
    recno_.push_back(recno);
    size_.push_back(size);
    dos_.push_back(uint32_t(dos < 0 ? 0 : dos));
  }

  size_t Count() const { return recno_.size(); }
  uint32_t Recno(size_t i) const { return recno_[i]; }
  uint8_t PlaceOf(size_t i) const { return place_[i]; }
  std::string_view Path(size_t i) const { return {Data(i), length_[i]}; }
  std::string SizeText(size_t i) const {
    return (flags_[i] & kSizeText) ? std::string(Extra(i, 0)) : GroupedSize(size_[i]);
  }
  std::string DateText(size_t i) const {
    return (flags_[i] & kDateText) ? std::string(Extra(i, 1)) : disk::DateFieldText(dos_[i]);
  }
  bool SameSize(size_t i, int64_t size) const {
    return (flags_[i] & kSizeText) ? disk::SameStoredSize(Extra(i, 0), size) : size_[i] == size;
  }
  bool SameDate(size_t i, int64_t dos) const {
    return (flags_[i] & kDateText) ? disk::SameStoredDate(Extra(i, 1), dos) : int64_t(dos_[i]) == dos;
  }

  // The index, once every record is in.
  void Index() {
    size_t slots = 16;
    while (slots < Count() * 2) slots *= 2;
    slots_.assign(slots, kEmpty);
    for (size_t i = 0; i < Count(); ++i) {
      size_t s = Hash(place_[i], Path(i)) & (slots - 1);
      while (slots_[s] != kEmpty) s = (s + 1) & (slots - 1);
      slots_[s] = uint32_t(i);
    }
  }
  // The record of that place and path not yet found; -1 when there is none.
  int64_t Find(uint8_t place, std::string_view relative) const {
    const size_t mask = slots_.size() - 1;
    for (size_t s = Hash(place, relative) & mask; slots_[s] != kEmpty; s = (s + 1) & mask) {
      const uint32_t i = slots_[s];
      if (place_[i] == place && Path(i) == relative && !seen_[i]) return i;
    }
    return -1;
  }
  void MarkSeen(size_t i) {
    if (seen_.size() != Count()) seen_.assign(Count(), false);
    seen_[i] = true;
  }
  bool Seen(size_t i) const { return i < seen_.size() && seen_[i]; }
  void StartFinding() { seen_.assign(Count(), false); }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  static constexpr unsigned kBlockBits = 20;
  static constexpr size_t kBlock = size_t(1) << kBlockBits;  // a path with its texts is far shorter

  static size_t Hash(uint8_t place, std::string_view path) {
    return std::hash<std::string_view>()(path) * 31 + place;
  }
  char* Reserve(size_t n) {
    if (blocks_.empty() || used_ + n > kBlock) {
      blocks_.push_back(std::make_unique<char[]>(kBlock));
      used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    used_ += n;
    return at;
  }
  const char* Data(size_t i) const {
    return blocks_[offset_[i] >> kBlockBits].get() + (offset_[i] & (kBlock - 1));
  }
  // The size text (which 0) or the date text (which 1) after the path.
  std::string_view Extra(size_t i, int which) const {
    const char* at = Data(i) + length_[i];
    if (which == 1 && (flags_[i] & kSizeText)) at += 1 + uint8_t(*at);
    return {at + 1, uint8_t(*at)};
  }

  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0;
  std::vector<uint64_t> offset_;
  std::vector<uint8_t> length_, place_, flags_;
  std::vector<uint32_t> recno_, dos_;
  std::vector<int64_t> size_;
  std::vector<uint32_t> slots_;
  std::vector<bool> seen_;
};

// A file of the disk that no record names, kept until the end.
struct NewFile {
  std::string relative;
  int64_t size, mtime;
  uint8_t place;
};

using MountPoints = std::function<std::vector<std::string>(const std::string& id)>;

// Whether the volume a place is on is still mounted where it is walked.
bool StillMounted(const Place& p, const MountPoints& mountPointsOf) {
  if (p.volumeId.empty()) return true;
  const std::vector<std::string> now = p.remembered ? mountPointsOf(p.volumeId) : disk::MountPointsOf(p.volumeId);
  return std::find(now.begin(), now.end(), p.mountedAt) != now.end();
}

// The folders to compare, each the first of those that hold it: a folder
// within another is walked with it.
std::vector<std::string> OutermostFolders(std::vector<std::string> folders) {
  for (std::string& f : folders) {
    while (f.size() > 1 && IsPathSeparator(f.back()) && !(f.size() == 3 && f[1] == ':')) f.pop_back();
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  std::vector<std::string> out;
  for (const std::string& f : folders) {
    const bool within = std::any_of(out.begin(), out.end(), [&](const std::string& o) {
      const std::string prefix = FolderPrefix(o);
      return f.compare(0, prefix.size(), prefix) == 0;
    });
    if (!within && !f.empty()) out.push_back(f);
  }
  return out;
}

}  // namespace

std::string_view DiffKindWord(DiffKind kind) {
  switch (kind) {
    case DiffKind::New: return "new";
    case DiffKind::Changed: return "changed";
    case DiffKind::Missing: return "missing";
    case DiffKind::Moved: return "moved";
  }
  return "";
}

DiffResult CompareCatalog(xbase::Table& records, VolumeTable& volumes, std::string_view catalog,
                          const DiffOptions& options) {
  DiffResult result;
  const MountPoints mountPointsOf = options.mountPointsOf ? options.mountPointsOf : MountPoints(disk::MountPointsOf);
  const std::vector<VolumeRow> rows = volumes.Rows(catalog);

  // The places: each folder where its volume is now; a volume not mounted
  // is named, and its records are left alone.
  std::vector<std::string> folders = options.folders;
  if (folders.empty())
    for (const VolumeRow& r : rows) folders.push_back(r.folder);
  std::vector<Place> places;
  for (const std::string& folder : OutermostFolders(folders)) {
    const ResolvedPath where = ResolvePath(rows, folder, mountPointsOf);
    if (where.state == ResolvedPath::State::NotConnected) {
      if (std::find(result.notConnected.begin(), result.notConnected.end(), where.label) == result.notConnected.end())
        result.notConnected.push_back(where.label);
      continue;
    }
    Place p;
    p.stored = FolderPrefix(folder);
    p.walked = FolderPrefix(where.path);
    p.volumeId = where.volumeId;
    p.mountedAt = where.mountedAt;
    p.remembered = !p.volumeId.empty();
    for (const VolumeRow& r : rows)
      if (r.volume.id == p.volumeId) p.label = r.volume.label.empty() ? r.volume.id : r.volume.label;
    if (p.volumeId.empty()) {
      // A folder of no remembered volume: the one that holds it now is
      // watched while it is walked.
      disk::Volume v;
      std::string error;
      if (disk::VolumeOf(where.path, &v, &error)) {
        p.volumeId = v.id;
        p.mountedAt = v.mountPoint;
        p.label = v.label.empty() ? v.id : v.label;
      }
    }
    places.push_back(std::move(p));
    if (places.size() == 255) break;
  }
  if (places.empty()) return result;

  // The records below the places.
  RecordSet set;
  {
    CatalogView view(records, catalog);
    const int nameField = records.FieldIndex(kFieldName), sizeField = records.FieldIndex(kFieldSize),
              dateField = records.FieldIndex(kFieldDate);
    records.ForEachRecord([&](const xbase::RecordRef& r) {
      const std::string_view path = r.Text(nameField);
      for (size_t p = 0; p < places.size(); ++p) {
        const std::string& prefix = places[p].stored;
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
          set.Add(r.recno, uint8_t(p), path.substr(prefix.size()), r.Text(sizeField), r.Text(dateField));
          break;
        }
      }
      return true;
    });
  }
  result.recordsCompared = set.Count();
  set.Index();
  set.StartFinding();

  // The walks: each file found is looked up at once; only the files no
  // record names are kept.
  std::vector<NewFile> found;
  std::vector<DiffEntry> changed;
  DosDates dates;
  bool stopped = false;
  std::string gone;  // the label of a volume that went away meanwhile
  for (size_t p = 0; p < places.size() && !stopped && gone.empty(); ++p) {
    Place& place = places[p];
    const std::string root = place.walked.size() > 1 ? place.walked.substr(0, place.walked.size() - 1) : place.walked;
    if (!IsFolder(root)) {
      // A folder gone from a volume that is there: its files are missing.
      // Without a volume to tell, it is passed over, not called missing.
      if (place.volumeId.empty() || !Exists(place.mountedAt) || !StillMounted(place, mountPointsOf))
        result.skipped.push_back({NativeSeparators(root), "cannot be read"});
      continue;
    }
    size_t skipsLooked = result.skipped.size();
    disk::WalkOptions walk;
    walk.otherFileSystems = options.otherFileSystems;
    walk.stopped = [&] {
      if (options.progress && !options.progress(result.filesSeen)) stopped = true;
      // A folder that cannot be read may be a disk taken away.
      for (; skipsLooked < result.skipped.size(); ++skipsLooked)
        if (result.skipped[skipsLooked].reason == "cannot be read" && !StillMounted(place, mountPointsOf))
          gone = place.label;
      return stopped || !gone.empty();
    };
    std::string error;
    const bool walked = disk::WalkTree(
        root, walk,
        [&](const disk::WalkedFile& f) {
          if (++result.filesSeen % kProgressEvery == 0 && options.progress && !options.progress(result.filesSeen))
            stopped = true;
          if (f.path.size() <= place.walked.size() || f.path.compare(0, place.walked.size(), place.walked) != 0)
            return;
          const std::string_view relative = std::string_view(f.path).substr(place.walked.size());
          const int64_t i = set.Find(uint8_t(p), relative);
          if (i < 0) {
            found.push_back({std::string(relative), f.size, f.mtime, uint8_t(p)});
            if (options.found) {
              DiffEntry e;
              e.kind = DiffKind::New;
              e.path = f.path;
              e.newStoredPath = place.stored + std::string(relative);
              e.size = f.size;
              e.mtime = f.mtime;
              options.found(e);
            }
            return;
          }
          set.MarkSeen(size_t(i));
          if (set.SameSize(size_t(i), f.size) && set.SameDate(size_t(i), dates.Of(f.mtime))) return;
          DiffEntry e;
          e.kind = DiffKind::Changed;
          e.recno = set.Recno(size_t(i));
          e.path = f.path;
          e.storedPath = place.stored + std::string(relative);
          e.size = f.size;
          e.mtime = f.mtime;
          e.storedSize = set.SizeText(size_t(i));
          e.storedDate = set.DateText(size_t(i));
          if (options.found) options.found(e);
          changed.push_back(std::move(e));
        },
        &result.skipped, &error);
    if (!walked && !stopped && gone.empty()) result.skipped.push_back({NativeSeparators(root), "cannot be read"});
    if (gone.empty() && !stopped && !StillMounted(place, mountPointsOf)) gone = place.label;
  }
  if (!gone.empty()) {
    result.error = "the volume '" + gone +
                   "' was disconnected while it was compared; nothing is reported, as its files could not all be seen";
    return result;
  }

  std::vector<DiffEntry> added;
  const auto newEntry = [&](const NewFile& f) {
    DiffEntry e;
    e.kind = DiffKind::New;
    e.path = places[f.place].walked + f.relative;
    e.newStoredPath = places[f.place].stored + f.relative;
    e.size = f.size;
    e.mtime = f.mtime;
    return e;
  };
  if (stopped) {
    result.stopped = true;
    for (const NewFile& f : found) added.push_back(newEntry(f));
    std::sort(added.begin(), added.end(), [](const DiffEntry& a, const DiffEntry& b) { return a.path < b.path; });
    std::sort(changed.begin(), changed.end(), [](const DiffEntry& a, const DiffEntry& b) { return a.path < b.path; });
    result.entries = std::move(added);
    for (DiffEntry& e : changed) result.entries.push_back(std::move(e));
    return result;
  }

  // The records not found: below a folder that was not read, or hidden
  // from the walk, they were not compared; the others are missing.
  std::vector<std::vector<std::string>> notRead(places.size());
  for (const disk::WalkSkip& s : result.skipped) {
    for (size_t p = 0; p < places.size(); ++p) {
      const std::string& w = places[p].walked;
      const std::string native = NativeSeparators(s.path);
      if (native.size() >= w.size() && native.compare(0, w.size(), w) == 0)
        notRead[p].push_back(FolderPrefix(native.substr(w.size())));
      else if (FolderPrefix(native) == w)
        notRead[p].push_back(std::string());
    }
  }
  std::vector<size_t> missing;
  for (size_t i = 0; i < set.Count(); ++i) {
    if (set.Seen(i)) continue;
    const std::string_view relative = set.Path(i);
    if (Hidden(relative)) continue;
    const std::vector<std::string>& unread = notRead[set.PlaceOf(i)];
    if (std::any_of(unread.begin(), unread.end(),
                    [&](const std::string& f) { return relative.compare(0, f.size(), f) == 0; }))
      continue;
    missing.push_back(i);
  }

  // Moved: a missing record and a new file of the same name, size and
  // date, each the only one of its kind for the other.
  std::unordered_map<std::string_view, std::vector<size_t>> missingByName;
  for (size_t k = 0; k < missing.size(); ++k) missingByName[FileNameOfPath(set.Path(missing[k]))].push_back(k);
  std::vector<int> newMatches(found.size(), 0), missingMatches(missing.size(), 0);
  std::vector<size_t> partner(found.size(), SIZE_MAX);
  for (size_t n = 0; n < found.size(); ++n) {
    const auto it = missingByName.find(FileNameOfPath(found[n].relative));
    if (it == missingByName.end()) continue;
    const int64_t dos = dates.Of(found[n].mtime);
    for (size_t k : it->second) {
      const size_t i = missing[k];
      if (!set.SameSize(i, found[n].size) || !set.SameDate(i, dos)) continue;
      ++newMatches[n];
      ++missingMatches[k];
      partner[n] = k;
    }
  }
  std::vector<DiffEntry> moved, gone_;
  std::vector<bool> followed(missing.size(), false);
  for (size_t n = 0; n < found.size(); ++n) {
    if (newMatches[n] != 1 || missingMatches[partner[n]] != 1) {
      added.push_back(newEntry(found[n]));
      continue;
    }
    const size_t k = partner[n], i = missing[k];
    followed[k] = true;
    DiffEntry e = newEntry(found[n]);
    e.kind = DiffKind::Moved;
    e.recno = set.Recno(i);
    e.storedPath = places[set.PlaceOf(i)].stored + std::string(set.Path(i));
    e.storedSize = set.SizeText(i);
    e.storedDate = set.DateText(i);
    moved.push_back(std::move(e));
  }
  for (size_t k = 0; k < missing.size(); ++k) {
    if (followed[k]) continue;
    const size_t i = missing[k];
    DiffEntry e;
    e.kind = DiffKind::Missing;
    e.recno = set.Recno(i);
    e.storedPath = places[set.PlaceOf(i)].stored + std::string(set.Path(i));
    e.path = e.storedPath;
    e.storedSize = set.SizeText(i);
    e.storedDate = set.DateText(i);
    gone_.push_back(std::move(e));
  }
  const auto byPath = [](const DiffEntry& a, const DiffEntry& b) { return a.path < b.path; };
  for (std::vector<DiffEntry>* list : {&added, &changed, &gone_, &moved}) {
    std::sort(list->begin(), list->end(), byPath);
    for (DiffEntry& e : *list) result.entries.push_back(std::move(e));
  }
  return result;
}

}  // namespace store

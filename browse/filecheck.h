// Whether the current record's file is on disk. The check can block for a
// long time on a volume that does not answer (a network share that is gone,
// a removable drive without its medium), so it runs on a worker thread and
// the window shows its answer when it comes.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "volumetable.h"

namespace browse {

inline constexpr char kFileNotFound[] = "File not found.";
inline constexpr char kFileNotFoundOrNoDisk[] = "File not found or No disk in drive.";
// Followed by " (" + the volume's label + ")".
inline constexpr char kVolumeNotConnected[] = "Volume not connected";

struct FileCheck {
  QString path;         // as asked for: the path the record holds
  QString foundAt;      // where the file was looked for: `path`, or the place its volume is mounted now
  bool present = true;
  bool notConnected = false;  // the volume the catalog remembers for it is not mounted
  QString message;      // "" when present; else one of the texts above
  QString volumeLabel;  // the name of the volume that holds the path; "" when none
};

// A path on the volume of a record whose file `stored` was found at
// `foundAt` (its volume mounted at another place), put the way the
// catalog's paths name that volume: the mount point of now replaced by the
// one the record's path has. Other paths are returned as they are.
QString StoredFormOf(const QString& path, const QString& stored, const QString& foundAt);

// The check of one path (CheckFile, or a test's stand-in).
using FileProbe = std::function<FileCheck(const QString& path, bool checkExistence)>;

// Where a stored path is now (store::ResolvePath over the rows of its
// catalog); runs on the checker's worker.
using PathResolver = std::function<store::ResolvedPath(const std::string& storedPath)>;

// The resolver over the volume rows of a catalog, with `mountPointsOf`
// telling where a volume is mounted now; none (an empty function) for a
// catalog without rows, whose paths are taken as stored.
PathResolver ResolverOver(std::shared_ptr<const std::vector<store::VolumeRow>> rows,
                          std::function<std::vector<std::string>(const std::string& id)> mountPointsOf);

// The file of `path` checked where `resolve` finds it: a volume not
// mounted answers at once ("Volume not connected (LABEL)", nothing of the
// path touched), one mounted elsewhere is checked there.
FileCheck CheckResolved(const FileProbe& probe, const QString& path, bool checkExistence, const PathResolver& resolve);

// The check itself; touches only the file system, so it runs on any thread.
// With `checkExistence` false only the volume label is read. On a removable
// or optical drive a missing medium and a missing file both give
// "File not found or No disk in drive."; elsewhere a missing file gives
// "File not found.".
FileCheck CheckFile(const QString& path, bool checkExistence);

// Whether the drive with this letter holds a readable medium. Throws
// std::runtime_error("Not a valid drive ID.") for a character that is not a
// letter.
bool IsDriveReady(QChar drive);

// Runs one check at a time for the window: the answer to the latest request
// is delivered on the checker's thread; answers to earlier requests are
// dropped. A check that does not answer within the timeout is reported as
// such (and its answer, should it come later, still delivered). At most
// kMaxWorkers threads check at once, however many volumes hang; further
// requests wait for a free one, the latest replacing any earlier waiting
// request. Destroying the checker never waits for a worker.
class TFileChecker : public QObject {
  Q_OBJECT

 public:
  using Probe = FileProbe;
  static constexpr int kMaxWorkers = 4;
  static constexpr int kDefaultTimeoutMs = 3000;

  // `probe` is the check to run (CheckFile unless a test gives another).
  explicit TFileChecker(QObject* parent = nullptr, Probe probe = CheckFile);
  ~TFileChecker() override;

  // Asks for the check of a path, found through `resolve` when given;
  // earlier requests are forgotten.
  void Request(const QString& path, bool checkExistence, PathResolver resolve = {});
  // Forgets the current request (a record without a path).
  void Forget();
  // A request whose answer has not come yet.
  bool Pending() const { return pending_; }
  void SetTimeout(int ms) { timeout_.setInterval(ms); }
  // Threads running a check now.
  int RunningWorkers() const;

 signals:
  // The answer to the latest request.
  void Checked(const browse::FileCheck& result);
  // The latest request got no answer within the timeout.
  void TimedOut(const QString& path);

 private:
  struct Channel;
  void Deliver(uint64_t ticket, const FileCheck& result);

  std::shared_ptr<Channel> channel_;
  uint64_t ticket_ = 0;
  bool pending_ = false;
  QString pendingPath_;
  QTimer timeout_;
};

}  // namespace browse

Q_DECLARE_METATYPE(browse::FileCheck)

#include "filecheck.h"

#include <QFileInfo>

#include <mutex>
#include <stdexcept>
#include <thread>

#include "volumes.h"

namespace browse {

bool IsDriveReady(QChar drive) {
  QChar d = drive.toUpper();
  if (d < u'A' || d > u'Z') throw std::runtime_error("Not a valid drive ID.");
  return volumes::IsReady(QString(d) + QStringLiteral(":\\"));
}

FileCheck CheckFile(const QString& path, bool checkExistence) {
  FileCheck r;
  r.path = path;
  if (path.isEmpty()) return r;
  const QString root = volumes::RootOf(path);
  if (checkExistence) {
    const volumes::DriveType type = root.isEmpty() ? volumes::DriveType::Unknown : volumes::TypeOf(root);
    const bool exists = QFileInfo::exists(path);
    if (type == volumes::DriveType::Removable || type == volumes::DriveType::CDRom) {
      const bool ready = volumes::HasDriveLetter(path) ? IsDriveReady(path.at(0)) : volumes::IsReady(root);
      if (!(ready && exists)) {
        r.present = false;
        r.message = QString::fromLatin1(kFileNotFoundOrNoDisk);
      }
    } else if (!exists) {
      r.present = false;
      r.message = QString::fromLatin1(kFileNotFound);
    }
  }
  r.volumeLabel = root.isEmpty() ? QString() : volumes::Label(root);
  return r;
}

QString StoredFormOf(const QString& path, const QString& stored, const QString& foundAt) {
  if (stored == foundAt || foundAt.isEmpty()) return path;
  // The part the two have in common at their ends, from a separator on, is
  // the place on the volume; what comes before it are the two mount points.
  qsizetype common = 0;
  while (common < stored.size() && common < foundAt.size() &&
         stored[stored.size() - 1 - common] == foundAt[foundAt.size() - 1 - common])
    ++common;
  const auto separator = [](QChar c) { return c == u'/' || c == u'\\'; };
  while (common > 0 && !separator(stored[stored.size() - common])) --common;
  const QString storedRoot = stored.left(stored.size() - common), foundRoot = foundAt.left(foundAt.size() - common);
  if (foundRoot.isEmpty() || !path.startsWith(foundRoot) ||
      (path.size() > foundRoot.size() && !separator(path[foundRoot.size()])))
    return path;
  return storedRoot + path.mid(foundRoot.size());
}

PathResolver ResolverOver(std::shared_ptr<const std::vector<store::VolumeRow>> rows,
                          std::function<std::vector<std::string>(const std::string& id)> mountPointsOf) {
  if (!rows || rows->empty()) return {};
  return [rows = std::move(rows), lookup = std::move(mountPointsOf)](const std::string& stored) {
    return store::ResolvePath(*rows, stored, lookup);
  };
}

FileCheck CheckResolved(const FileProbe& probe, const QString& path, bool checkExistence, const PathResolver& resolve) {
  if (!resolve || path.isEmpty()) {
    FileCheck r = probe(path, checkExistence);
    r.foundAt = path;
    return r;
  }
  const store::ResolvedPath where = resolve(path.toStdString());
  if (where.state == store::ResolvedPath::State::NotConnected) {
    // The disk is not there: its label says which one to connect, and
    // nothing on the path is asked (it may be another disk's place now).
    FileCheck r;
    r.path = path;
    r.present = false;
    r.notConnected = true;
    r.volumeLabel = QString::fromStdString(where.label);
    r.message = QString::fromLatin1(kVolumeNotConnected) + " (" + r.volumeLabel + ")";
    return r;
  }
  const QString at = where.state == store::ResolvedPath::State::Elsewhere ? QString::fromStdString(where.path) : path;
  FileCheck r = probe(at, checkExistence);
  r.path = path;
  r.foundAt = at;
  return r;
}

// Shared by the checker and its workers; a worker keeps it alive after the
// checker is gone and then delivers nothing.
struct TFileChecker::Channel {
  std::mutex mutex;
  TFileChecker* owner = nullptr;  // null once the checker is destroyed
  Probe probe;
  int running = 0;
  // The request waiting for a free worker (the latest one only).
  bool waiting = false;
  uint64_t waitTicket = 0;
  QString waitPath;
  bool waitCheck = true;
  PathResolver waitResolve;
};

namespace {

struct Job {
  uint64_t ticket;
  QString path;
  bool check;
  PathResolver resolve;
};

}  // namespace

TFileChecker::TFileChecker(QObject* parent, Probe probe) : QObject(parent), channel_(std::make_shared<Channel>()) {
  channel_->owner = this;
  channel_->probe = std::move(probe);
  timeout_.setSingleShot(true);
  timeout_.setInterval(kDefaultTimeoutMs);
  connect(&timeout_, &QTimer::timeout, this, [this] {
    if (pending_) emit TimedOut(pendingPath_);
  });
}

TFileChecker::~TFileChecker() {
  std::lock_guard<std::mutex> lock(channel_->mutex);
  channel_->owner = nullptr;
  channel_->waiting = false;
  channel_->waitResolve = nullptr;
}

int TFileChecker::RunningWorkers() const {
  std::lock_guard<std::mutex> lock(channel_->mutex);
  return channel_->running;
}

void TFileChecker::Forget() {
  ++ticket_;
  pending_ = false;
  timeout_.stop();
  std::lock_guard<std::mutex> lock(channel_->mutex);
  channel_->waiting = false;
}

void TFileChecker::Request(const QString& path, bool checkExistence, PathResolver resolve) {
  const uint64_t ticket = ++ticket_;
  pending_ = true;
  pendingPath_ = path;
  timeout_.start();

  std::shared_ptr<Channel> ch = channel_;
  std::lock_guard<std::mutex> lock(ch->mutex);
  if (ch->running >= kMaxWorkers) {
    ch->waiting = true;
    ch->waitTicket = ticket;
    ch->waitPath = path;
    ch->waitCheck = checkExistence;
    ch->waitResolve = std::move(resolve);
    return;
  }
  ch->waiting = false;
  ++ch->running;
  // Only the path crosses to the worker; it never touches the tables.
  std::thread([ch, job = Job{ticket, path, checkExistence, std::move(resolve)}]() mutable {
    for (;;) {
      FileCheck result;
      try {
        result = CheckResolved(ch->probe, job.path, job.check, job.resolve);
      } catch (const std::exception&) {
        // A path the drive queries cannot make sense of: not reachable.
        result.path = job.path;
        result.present = false;
        result.message = QString::fromLatin1(kFileNotFoundOrNoDisk);
      }
      std::lock_guard<std::mutex> guard(ch->mutex);
      if (TFileChecker* owner = ch->owner) {
        QMetaObject::invokeMethod(
            owner, [owner, ticket = job.ticket, result] { owner->Deliver(ticket, result); },
            Qt::QueuedConnection);
      }
      if (!ch->waiting || !ch->owner) {
        --ch->running;
        return;
      }
      ch->waiting = false;
      job = Job{ch->waitTicket, ch->waitPath, ch->waitCheck, std::move(ch->waitResolve)};
      ch->waitResolve = nullptr;
    }
  }).detach();
}

void TFileChecker::Deliver(uint64_t ticket, const FileCheck& result) {
  if (ticket != ticket_) return;  // asked for another record since
  pending_ = false;
  timeout_.stop();
  emit Checked(result);
}

}  // namespace browse

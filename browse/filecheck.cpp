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
};

namespace {

struct Job {
  uint64_t ticket;
  QString path;
  bool check;
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

void TFileChecker::Request(const QString& path, bool checkExistence) {
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
    return;
  }
  ch->waiting = false;
  ++ch->running;
  // Only the path crosses to the worker; it never touches the tables.
  std::thread([ch, job = Job{ticket, path, checkExistence}]() mutable {
    for (;;) {
      FileCheck result;
      try {
        result = ch->probe(job.path, job.check);
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
      job = Job{ch->waitTicket, ch->waitPath, ch->waitCheck};
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

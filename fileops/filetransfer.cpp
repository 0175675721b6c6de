#include "filetransfer.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "trashcheck.h"

namespace fileops {

namespace {

namespace fs = std::filesystem;

constexpr qint64 kChunk = 1 << 20;

fs::path Fs(const QString& path) {
#ifdef Q_OS_WIN
  return fs::path(path.toStdWString());
#else
  return fs::path(QFile::encodeName(path).toStdString());
#endif
}

Outcome Done() { return {Outcome::State::Done, QString()}; }
Outcome Failed(const QString& why) { return {Outcome::State::Failed, why}; }
Outcome Failed(const std::error_code& ec) { return Failed(QString::fromLocal8Bit(ec.message().c_str())); }

// Whether anything is at the path, a dangling link included.
bool Occupied(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

}  // namespace

bool SameFile(const QString& a, const QString& b) {
  std::error_code ec;
  const bool same = fs::equivalent(Fs(a), Fs(b), ec);
  return !ec && same;
}

Outcome CopyReplacing(const QString& source, const QString& destination, const Progress& progress) {
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) return Failed(in.errorString());
  const int64_t total = in.size();
  int64_t done = 0;
  if (progress && !progress(0, total)) return {Outcome::State::Cancelled, QString()};
  // Written under a temporary name beside the destination and synced;
  // commit renames it into place.
  QSaveFile out(destination);
  out.setDirectWriteFallback(false);
  if (!out.open(QIODevice::WriteOnly)) return Failed(out.errorString());
  QByteArray buffer;
  for (;;) {
    buffer = in.read(kChunk);
    if (buffer.isEmpty()) break;
    if (out.write(buffer) != buffer.size()) {
      const QString why = out.errorString();
      out.cancelWriting();
      return Failed(why);
    }
    done += buffer.size();
    if (progress && !progress(done, total)) {
      out.cancelWriting();  // the temporary file goes
      return {Outcome::State::Cancelled, QString()};
    }
  }
  if (in.error() != QFileDevice::NoError) {
    const QString why = in.errorString();
    out.cancelWriting();
    return Failed(why);
  }
  if (!out.commit()) return Failed(out.errorString());
  // What the copy carries of its original; a file system that cannot keep
  // them does not make the copy fail.
  std::error_code ec;
  fs::permissions(Fs(destination), fs::status(Fs(source), ec).permissions(), ec);
  const auto time = fs::last_write_time(Fs(source), ec);
  if (!ec) fs::last_write_time(Fs(destination), time, ec);
  return Done();
}

Outcome MoveReplacing(const QString& source, const QString& destination, const Progress& progress) {
  std::error_code ec;
  fs::rename(Fs(source), Fs(destination), ec);
  if (!ec) return Done();
  if (ec != std::errc::cross_device_link) return Failed(ec);
  // Another file system: a copy that replaces the destination only once it
  // is complete; the source goes only after that.
  Outcome copied = CopyReplacing(source, destination, progress);
  if (!copied.ok()) return copied;
  QFile original(source);
  if (!original.remove()) return {Outcome::State::CopiedOnly, original.errorString()};
  return Done();
}

Outcome WithProgress(QWidget* parent, const QString& caption, const QString& text,
                     const std::function<Outcome(const Progress&)>& work) {
  struct Shared {
    std::atomic<int64_t> done{0}, total{0};
    std::atomic<bool> cancel{false};
  };
  const auto shared = std::make_shared<Shared>();
  Outcome result;
  QEventLoop loop;
  std::unique_ptr<QThread> worker(QThread::create([&result, &work, shared] {
    result = work([shared](int64_t done, int64_t total) {
      shared->done = done;
      shared->total = total;
      return !shared->cancel.load();
    });
  }));
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);

  QProgressDialog dialog(text, QStringLiteral("Cancel"), 0, 1000, parent);
  dialog.setWindowTitle(caption);
  dialog.setObjectName(QStringLiteral("TransferProgress"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumDuration(400);
  dialog.setValue(0);
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
    shared->cancel = true;
    dialog.setLabelText(text + QStringLiteral("\n\nStopping..."));
  });
  const QLocale locale;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &dialog, [&] {
    if (dialog.wasCanceled()) shared->cancel = true;
    if (shared->cancel) return;
    const int64_t done = shared->done, total = shared->total;
    dialog.setLabelText(text + u'\n' + u'\n' + locale.formattedDataSize(done) + QStringLiteral(" of ") +
                        locale.formattedDataSize(total));
    dialog.setValue(total > 0 ? (int)(done * 1000 / total) : 0);
  });
  tick.start(100);
  worker->start();
  loop.exec();
  worker->wait();
  return result;
}

Outcome MakeFolder(const QString& path) {
  std::error_code ec;
  if (fs::create_directory(Fs(path), ec)) return Done();
  if (ec) return Failed(ec);
  return Failed(QFileInfo(path).isDir() ? QStringLiteral("It exists already.")
                                         : QStringLiteral("Something else of that name is there."));
}

Outcome TrashFile(const QString& path) {
  if (const QString problem = TrashProblem(path, Occupied(path)); !problem.isEmpty()) return Failed(problem);
  QFile file(path);
  const bool moved = file.moveToTrash();
  if (!Occupied(path)) return Done();
  return Failed(moved ? QStringLiteral("It is still there.") : file.errorString());
}

}  // namespace fileops

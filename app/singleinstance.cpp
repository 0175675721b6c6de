#include "singleinstance.h"

#include <QApplication>
#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QWidget>

#include "instancechannel.h"
#include "prompts.h"

namespace {

// What a second instance sends, and what the first answers.
constexpr char kShowRequest[] = "show\n";
constexpr char kShowAnswer[] = "ok\n";
// A request is one short line; anything longer is not from us.
constexpr qsizetype kMaxRequest = 64;
// An answer holds a data folder's path.
constexpr qsizetype kMaxAnswer = 64 * 1024;

constexpr int kConnectTimeoutMs = 2000;
constexpr int kAnswerTimeoutMs = 3000;
constexpr int kLockTimeoutMs = 5000;

// Socket and pipe names, and the lock file beside them, must be plain file
// names on every platform: letters, digits, '.', '-' and '_' only.
QString SafeName(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    const char16_t u = c.unicode();
    const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                       (u >= '0' && u <= '9') || u == '.' || u == '-' || u == '_';
    out += plain ? c : QChar(u'_');
  }
  // Unix socket paths are limited to about a hundred bytes; a very long
  // caption keeps a readable start and a hash of the whole.
  constexpr qsizetype kMaxName = 64;
  if (out.size() > kMaxName) {
    const QByteArray hash =
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    out = out.left(kMaxName - 17) + u'_' + QString::fromLatin1(hash);
  }
  return out;
}

}  // namespace

QString TSingleInstance::CaptionFromExecutable(const QString& executablePath) {
  const QString base = QFileInfo(executablePath).completeBaseName();
  if (base.isEmpty()) return base;
  return base.left(1) + base.mid(1).toLower();
}

TSingleInstance::TSingleInstance(const QString& caption, QObject* parent) : QObject(parent) {
  const InstanceChannel channel =
      ChannelNamed(SafeName(QStringLiteral("PREVINST:") + caption + u'_' + CurrentUserId()));
  serverName_ = channel.serverName;
  lockPath_ = channel.lockPath;
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::IsFirst() {
  if (server_ && server_->isListening()) return true;

  // Two copies started at the same moment must not both decide they are
  // first, so the look-and-take below runs under a lock file. A lock left by
  // a crashed copy is recognised as stale and taken over. Without the lock
  // (a folder we cannot write) the check still runs, only unprotected.
  QLockFile lock(lockPath_);
  (void)lock.tryLock(kLockTimeoutMs);

  {
    QLocalSocket probe;
    probe.connectToServer(serverName_);
    if (probe.waitForConnected(kConnectTimeoutMs)) {
      probe.disconnectFromServer();
      return false;
    }
  }

  // Nobody answers: whatever is left under the name belongs to a copy that
  // is gone.
  QLocalServer::removeServer(serverName_);
  if (!server_) {
    server_ = new QLocalServer(this);
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::OnNewConnection);
  }
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(serverName_)) {
    // No socket can be made here (read-only or full temporary folder): run
    // all the same; a later copy will simply start as well.
    qWarning("Single instance: cannot listen on %s: %s", qPrintable(serverName_),
             qPrintable(server_->errorString()));
  }
  return true;
}

void TSingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      QByteArray buffer = socket->property("request").toByteArray();
      buffer += socket->readAll();
      if (buffer.contains('\n')) {
        const bool show = buffer.startsWith(kShowRequest);
        if (show) {
          // The answer names the data folder this copy works on, so a copy
          // started for another folder can say why it did not open it.
          if (dataFolder_.isEmpty()) {
            socket->write(kShowAnswer);
          } else {
            socket->write("ok\t" + dataFolder_.toUtf8() + "\n");
          }
          socket->flush();
        }
        socket->disconnectFromServer();
        if (show) emit ShowRequested();
        return;
      }
      if (buffer.size() > kMaxRequest) {
        socket->abort();
        return;
      }
      socket->setProperty("request", buffer);
    });
  }
}

bool TSingleInstance::ActivateFirst() {
  QLocalSocket socket;
  socket.connectToServer(serverName_);
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(kConnectTimeoutMs) && socket.bytesToWrite() > 0) return false;

  QByteArray answer;
  const QDeadlineTimer deadline(kAnswerTimeoutMs);
  while (!answer.contains('\n')) {
    if (socket.bytesAvailable() == 0 &&
        !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
      break;
    answer += socket.readAll();
    if (answer.size() > kMaxAnswer) break;
  }
  firstDataFolder_.clear();
  if (answer.startsWith("ok\t") && answer.endsWith('\n'))
    firstDataFolder_ = QString::fromUtf8(answer.mid(3, answer.size() - 4));
  return answer.startsWith(kShowAnswer) || !firstDataFolder_.isEmpty();
}

bool TSingleInstance::HandOverTo(const QString& dataFolder) {
  if (!ActivateFirst()) return false;
  if (!firstDataFolder_.isEmpty() && QDir::cleanPath(firstDataFolder_) != QDir::cleanPath(dataFolder))
    prompts::Current().Message(
        nullptr, prompts::Kind::Information,
        "Vantrell is already running, with the catalogue in\n" + QDir::toNativeSeparators(firstDataFolder_) +
            "\n\nOnly one copy runs at a time: it has been brought forward, and\n" +
            QDir::toNativeSeparators(dataFolder) + "\nwas not opened. Close it first to work on that folder.");
  return true;
}

namespace {

void Restore(QWidget* w) {
  if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
  if (w->isHidden()) w->show();
}

}  // namespace

void BringForward(QWidget* mainWindow) {
  if (!mainWindow) return;
  Restore(mainWindow);
  QWidget* target = QApplication::activeModalWidget();
  if (target)
    Restore(target);
  else
    target = mainWindow;
  target->raise();
  target->activateWindow();
}

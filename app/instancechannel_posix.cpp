// On POSIX systems the channel is a local socket in the file system, in the
// user's private runtime folder when there is one, else in the temporary
// folder (the socket is made readable by its owner only either way); the
// lock file sits beside it.
#include "instancechannel.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString SocketFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
    return runtime;
  return QDir::tempPath();
}

}  // namespace

QString CurrentUserId() { return QString::number(static_cast<qulonglong>(::getuid())); }

InstanceChannel ChannelNamed(const QString& name) {
  const QString folder = SocketFolder();
  return {folder + u'/' + name, folder + u'/' + name + QStringLiteral(".lock")};
}

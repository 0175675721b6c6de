// On Windows the channel is a named pipe: pipes live in the system's own
// namespace and vanish with their process, so the name alone is enough. The
// lock file is in the user's temporary folder.
#include "instancechannel.h"

#include <QDir>

QString CurrentUserId() { return qEnvironmentVariable("USERNAME"); }

InstanceChannel ChannelNamed(const QString& name) {
  return {name, QDir::tempPath() + u'/' + name + QStringLiteral(".lock")};
}

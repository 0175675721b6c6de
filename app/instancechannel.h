// Where this system keeps the channel of the single instance: the name the
// first copy listens on and the lock file that orders two copies started at
// the same moment. instancechannel_posix.cpp and instancechannel_win32.cpp
// answer for each system.
#pragma once

#include <QString>

struct InstanceChannel {
  QString serverName;  // for QLocalServer::listen and QLocalSocket::connectToServer
  QString lockPath;    // for QLockFile
};

// The user's id, part of the channel's name, so that every user of the
// machine has a channel of their own.
QString CurrentUserId();

// The channel named `name`, a plain file name (letters, digits, '.', '-'
// and '_' only).
InstanceChannel ChannelNamed(const QString& name);

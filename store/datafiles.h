// Names and place of the database files, in the window's QString form.
#pragma once

#include <QString>

#include <string>

#include "folder.h"
#include "schema.h"

namespace store {

// "<folder>/<file>" with forward slashes on every platform.
QString DataFilePath(const QString& dataDir, const char* file);

// The data folder used when none is given: "<executable folder>/data" when
// that folder, or the executable folder if it does not exist yet, can be
// written (portable use); otherwise "data" in the per-user application data
// folder, which depends on the application and organization names set on
// the QCoreApplication. `executableDir` empty means the running program's
// folder.
QString DefaultDataFolder(const QString& executableDir = {});

// Makes sure the data folder exists, creating it (and missing parents) when
// needed. On failure returns false and, when `error` is given, a sentence
// naming the folder.
bool EnsureDataFolder(const QString& dir, QString* error);

// A path in the form the engine takes (UTF-8).
std::string EnginePath(const QString& path);
QString FromEnginePath(const std::string& path);

// Text from the engine (UTF-8) and back.
inline QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::string ToUtf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace store

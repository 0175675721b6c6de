// The target folder and the files of an extraction on Windows: each folder
// below the target is looked at before it is used, and one that is a
// reparse point (a symbolic link or a junction) is refused. A file is
// written under a temporary name and renamed over the old one.
#include "unzipfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimeZone>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <system_error>

namespace zip {

Folder::~Folder() {
  CloseCurrent();
}

bool Folder::OpenRoot(const QString& root, QString* error) {
  rootPath_ = root;
  (void)error;
  return true;
}

bool Folder::Enter(const QStringList& parts, QString* refused, QString* error) {
  const QString relative = parts.join(u'/');
  if (entered_ && relative == relative_) return true;
  CloseCurrent();
  QString path = rootPath_;
  for (const QString& part : parts) {
    path += u'/' + part;
    DWORD attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!::CreateDirectoryW(reinterpret_cast<const wchar_t*>(path.utf16()), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(path));
        return false;
      }
      attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()));
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      *refused = QStringLiteral("its path meets the link %1").arg(QDir::toNativeSeparators(path));
      return false;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *refused = QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(path));
      return false;
    }
  }
  path_ = path;
  relative_ = relative;
  entered_ = true;
  return true;
}

Folder::Kind Folder::Look(const QString& name) const {
  const DWORD attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>((path_ + u'/' + name).utf16()));
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::None;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::Link : Kind::Other;
}

void Folder::CloseCurrent() {
  entered_ = false;
}

PartFile::~PartFile() {
  if (name_.isEmpty()) return;
  file_.close();
  QFile::remove(file_.fileName());
}

bool PartFile::Create(const QString& finalName, QString* error) {
  (void)finalName;
  for (int attempt = 0; attempt < 16; ++attempt) {
    name_ = ".unzip-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
    file_.setFileName(folder_.path() + u'/' + QString::fromLatin1(name_));
    if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) return true;
    if (QFileInfo::exists(file_.fileName())) continue;  // a name taken: another one
    *error = file_.errorString();
    break;
  }
  if (error->isEmpty()) *error = QStringLiteral("no free temporary name");
  name_.clear();
  return false;
}

bool PartFile::Write(const char* data, qint64 n, QString* error) {
  if (file_.write(data, n) == n) return true;
  *error = file_.errorString();
  return false;
}

void PartFile::Finish(qint64 mtime, bool hasTime, uint32_t unixMode) {
  if (hasTime)
    file_.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, QTimeZone::utc()), QFileDevice::FileModificationTime);
}

bool PartFile::Commit(const QString& name, QString* error) {
  file_.close();
  if (file_.error() != QFileDevice::NoError) {
    *error = file_.errorString();
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(std::filesystem::path(file_.fileName().toStdWString()),
                          std::filesystem::path((folder_.path() + u'/' + name).toStdWString()), ec);
  if (ec) {
    *error = QString::fromLocal8Bit(ec.message().c_str());
    return false;
  }
  name_.clear();
  return true;
}

}  // namespace zip

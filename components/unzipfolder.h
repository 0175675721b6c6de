// Where an extraction writes: the checks that keep an entry's name inside
// the chosen folder, the folder reached without following links, and the
// file written under a temporary name until it is complete.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

#ifdef _WIN32
#include <QFile>
#endif

namespace zip {

// The parts of an entry's name that may be written below the folder, or
// why it may not be written at all. A backslash separates folders like
// "/"; names that climb out (".."), are absolute or start with a drive
// letter are refused.
struct SafeName {
  QStringList parts;  // folders, then the file (empty for the archive's root)
  bool directory = false;
  QString refusal;
};
SafeName CheckName(QString name);

// The target folder and the folders below it. No step of a path below the
// target follows a symbolic link (or, on Windows, any reparse point such as
// a junction): an entry whose path meets one is refused, so nothing is
// written anywhere but inside the folder the user chose. On POSIX systems
// the target is held open and every folder below it is reached name by name
// from it (openat with O_NOFOLLOW | O_DIRECTORY, mkdirat for a missing one);
// the folder of the last file stays open, as one folder usually holds many
// files in a row.
class Folder {
 public:
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder();

  // Opens the target folder itself (a link the user chose as the target is
  // followed: it is where the user pointed).
  bool OpenRoot(const QString& root, QString* error);

  // Makes the folder `parts` below the target the current one, making the
  // missing folders on the way. Returns false with *refused set when a step
  // is a link (or not a folder), or with *error when it cannot be made.
  bool Enter(const QStringList& parts, QString* refused, QString* error);

  // The full path of the current folder.
  const QString& path() const { return path_; }

  // What is at `name` in the current folder, the link itself for a link.
  enum class Kind { None, Link, Other };
  Kind Look(const QString& name) const;

#ifndef _WIN32
  int fd() const { return fd_; }
#endif

 private:
  void CloseCurrent();

  QString rootPath_;
  QString path_;      // the current folder
  QString relative_;  // the current folder below the target
  bool entered_ = false;
#ifndef _WIN32
  int root_ = -1;
  int fd_ = -1;
#endif
};

// A file being written in a folder under a temporary name. It takes its
// own name only through Commit; otherwise it is removed when it goes out of
// scope. On POSIX systems it is written with the plain system calls (one
// open, the writes, one time stamp, one close, one rename: creating many
// small files is most of an extraction's cost).
class PartFile {
 public:
  explicit PartFile(const Folder& folder) : folder_(folder) {}
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile();

  // A name that nothing holds yet is written under that name at once:
  // there is no old file to spoil, and a failed or stopped file is removed
  // all the same. Otherwise the file is written under a temporary name and
  // takes its own only through Commit.
  bool Create(const QString& finalName, QString* error);

  bool Write(const char* data, qint64 n, QString* error);

  // The modification time (seconds since the epoch) and, on POSIX systems,
  // the execute permissions of a program (unixMode with execute bits).
  void Finish(qint64 mtime, bool hasTime, uint32_t unixMode);

  // Closes the file and renames it to `name` in its folder (replacing a
  // file there).
  bool Commit(const QString& name, QString* error);

  // Whether the file is written under its own name.
  bool Direct() const { return direct_; }

 private:
  const Folder& folder_;
  QByteArray name_;  // the name it is written under
  bool direct_ = false;
#ifdef _WIN32
  QFile file_;
#else
  int fd_ = -1;
#endif
};

}  // namespace zip

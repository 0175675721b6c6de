#include "filecommand.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "datafiles.h"
#include "destination.h"
#include "filetransfer.h"
#include "mainwindowservices.h"
#include "prompts.h"
#include "recordsession.h"
#include "schema.h"

namespace fileops {

namespace {

QString FolderNotCreated(const QString& folder, const QString& why) {
  return "The folder\n[" + folder + "]\ncould not be created.\n" + why;
}

}  // namespace

TFileCommand::TFileCommand(MainWindowServices& window, StatusWriter status)
    : window_(window), status_(std::move(status)) {}

void TFileCommand::CommonEnd() { window_.ShowStatus(QStringLiteral(" Operation complete...")); }

void TFileCommand::Run(Operation op) {
  const std::optional<QString> path = window_.Record().FilePath();
  if (!path) return;
  const QString& source = *path;
  if (source.isEmpty() && op != Operation::CreateFolder) {
    // An empty catalog, or a record without a path: no file to work on.
    prompts::Current().Message(window_.Window(), prompts::Kind::Information,
                               QStringLiteral("The current record names no file."));
    return;
  }
  const std::optional<QString> entered = TfrmFileOperations::SetUp(window_, status_, op, source);
  if (!entered) {
    CommonEnd();
    return;
  }
  QCoreApplication::processEvents();
  End end = End::Common;
  switch (op) {
    case Operation::Copy:
    case Operation::Move:
    case Operation::Rename:
      end = Transfer(op, source, *entered);
      break;
    case Operation::Delete:
      end = Delete(source);
      break;
    case Operation::CreateFolder:
      end = CreateFolder(*entered);
      break;
  }
  if (end == End::Common) CommonEnd();
}

TFileCommand::End TFileCommand::Transfer(Operation op, const QString& source, QString destination) {
  prompts::Prompts& p = prompts::Current();
  QWidget* parent = window_.Window();
  // A folder as the destination takes the file under its own name.
  if (QFileInfo(destination).isDir()) destination = JoinPath(destination, NamePart(source));
  const bool occupied = QFileInfo::exists(destination) || QFileInfo(destination).isSymLink();
  if (occupied && SameFile(source, destination)) {
    // Replacing a file by itself would only lose it.
    p.Message(parent, prompts::Kind::Error, "The source and the destination are the same file:\n" + destination);
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  // The record must be able to follow the file: a path cut to the field
  // would name another file.
  if (op != Operation::Copy && store::ToUtf8(destination).size() > (size_t)store::kNameWidth) {
    p.Message(parent, prompts::Kind::Error,
              "The path of this file is longer than " + QString::number(store::kNameWidth) +
                  " bytes and cannot be stored:\n" + destination);
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  if (occupied &&
      p.Message(parent, prompts::Kind::Warning,
                NamePart(destination).toUpper() + " exists on the destination drive.\nDo want to overwrite it?",
                prompts::Yes | prompts::No, prompts::Yes) != prompts::Yes) {
    status_(QStringLiteral("Operation cancelled..."));
    return End::Common;
  }
  if (!DestinationFolderReady(destination)) {
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  QCoreApplication::processEvents();
  // A large file, or one on a slow disk, is copied on a worker while the
  // window shows how far it is and offers Cancel.
  const Outcome done = WithProgress(
      parent, OperationName(op) + QStringLiteral(" File"),
      (op == Operation::Copy ? QStringLiteral("Copying ") : QStringLiteral("Moving ")) + source + "\nto " + destination,
      [&](const Progress& progress) {
        return op == Operation::Copy ? CopyReplacing(source, destination, progress)
                                     : MoveReplacing(source, destination, progress);
      });
  if (done.state == Outcome::State::Cancelled) {
    status_(QStringLiteral("Operation cancelled..."));
    return End::Common;
  }
  if (done.state == Outcome::State::CopiedOnly) {
    p.Message(parent, prompts::Kind::Error,
              "The file was copied to\n" + destination + "\nbut could not be removed from\n" + source + "\n" +
                  done.why);
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  if (!done.ok() || !QFileInfo::exists(destination)) {
    p.Message(parent, prompts::Kind::Error, "Operation failed.\n" + done.why);
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  if (op == Operation::Copy) {
    status_(" Copied..." + destination);
    return End::Common;
  }
  // The record follows the file; its title, size and date stay.
  if (!window_.Record().FollowFile(destination)) {
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  status_((op == Operation::Move ? " Moved..." : " Renamed...") + destination);
  return End::Common;
}

bool TFileCommand::DestinationFolderReady(const QString& destination) {
  const QString folder = FolderPart(destination);
  if (folder.isEmpty() || QFileInfo(folder).isDir()) return true;
  prompts::Prompts& p = prompts::Current();
  if (p.Message(window_.Window(), prompts::Kind::Error, QStringLiteral("Directory does not exist\nDo you want to create it?"),
                prompts::Yes | prompts::No, prompts::Yes) != prompts::Yes)
    return false;
  const Outcome made = MakeFolder(folder);
  if (made.ok()) return true;
  p.Message(window_.Window(), prompts::Kind::Error, FolderNotCreated(folder, made.why));
  return false;
}

TFileCommand::End TFileCommand::Delete(const QString& path) {
  prompts::Prompts& p = prompts::Current();
  RecordSession& record = window_.Record();
  p.Beep();
  if (p.Message(window_.Window(), prompts::Kind::Confirmation,
                "Are you sure you want to DELETE this file?\n\nFile: [" + path + "]", prompts::Yes | prompts::Cancel,
                prompts::Yes) != prompts::Yes) {
    record.DropEdit();
    status_(QStringLiteral("Delete cancelled..."));
    return End::Common;
  }
  // The record goes only with its file: a file that stays where it was
  // keeps its record.
  const Outcome trashed = TrashFile(path);
  if (!trashed.ok()) {
    p.Message(window_.Window(), prompts::Kind::Error,
              "The file could not be moved to the trash:\n" + path + "\n" + trashed.why);
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  if (!record.Delete()) {
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  status_(" Deleted..." + path);
  return End::Common;
}

TFileCommand::End TFileCommand::CreateFolder(const QString& path) {
  prompts::Prompts& p = prompts::Current();
  if (QFileInfo(path).isDir()) {
    p.Beep();
    p.Message(window_.Window(), prompts::Kind::Confirmation,
              "A directory named\n[" + path + "]\nalready exists.This operation is cancelled.", prompts::Ok,
              prompts::Ok);
    return End::Stop;
  }
  const Outcome made = MakeFolder(path);
  if (!made.ok()) {
    p.Message(window_.Window(), prompts::Kind::Error, FolderNotCreated(path, made.why));
    status_(QStringLiteral(" "));
    return End::Stop;
  }
  status_(" Created folder..." + path);
  return End::Common;
}

void LaunchFile(QWidget* parent, const QString& path) {
  if (path.isEmpty()) return;
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
  prompts::Current().Message(parent, prompts::Kind::Error,
                             "The file could not be opened:\n" + path +
                                 "\nNo program may be set to open files of its kind.");
}

}  // namespace fileops

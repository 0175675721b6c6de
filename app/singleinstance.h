// One running copy of the program per user. The first copy listens on a local
// socket named after the program; a later copy connects, asks the first to
// show its window, and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QWidget;

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  // The socket name is "PREVINST:" + caption + the user's id, reduced to
  // characters every platform accepts in a socket or pipe name.
  explicit TSingleInstance(const QString& caption, QObject* parent = nullptr);
  ~TSingleInstance() override;

  // Tries to become the first instance. A socket left behind by a copy that
  // crashed is removed and taken over. Returns false only when another live
  // copy answers on the name. When no socket can be made at all the program
  // still runs as the first instance (it just cannot be activated).
  bool IsFirst();

  // For a second instance: asks the first one to show itself and waits
  // briefly for its answer. Returns whether the first instance answered.
  bool ActivateFirst();
  // For a second instance started for `dataFolder`: brings the first copy
  // forward and, when that copy works on another folder, says in a box that
  // this folder was not opened. Returns whether the first instance answered.
  bool HandOverTo(const QString& dataFolder);
  // After ActivateFirst: the data folder the first copy said it works on
  // ("" when it did not say).
  const QString& FirstDataFolder() const { return firstDataFolder_; }

  // For the first instance: the data folder it names to later copies.
  void SetDataFolder(const QString& folder) { dataFolder_ = folder; }

  // The name the server listens on (a full socket path where the platform
  // keeps sockets in the file system).
  QString ServerName() const { return serverName_; }

  // The caption the name is built from: the executable's file name without
  // its extension, the first character as it is and the rest in lower case.
  static QString CaptionFromExecutable(const QString& executablePath);

 signals:
  // In the first instance, when another copy asks it to show itself.
  void ShowRequested();

 private:
  void OnNewConnection();

  QString serverName_;
  QString dataFolder_, firstDataFolder_;
  QString lockPath_;
  QLocalServer* server_ = nullptr;
};

// Brings a window forward as the first instance does when asked: shows it if
// hidden (it may sit in the tray), restores it if minimised, then raises and
// activates it; when a modal dialog is open, that dialog is raised and
// activated instead, since it is the window the user has to answer.
void BringForward(QWidget* mainWindow);

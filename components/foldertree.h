// The folder tree of the file choosers: every folder of this machine's file
// system (hidden ones included), each read every time it is opened, so a
// folder made or a disk mounted meanwhile shows. Refresh (also F5) reads
// again all that is shown. Only folders are read, so a folder of many files
// costs nothing here.
#pragma once

#include <QString>
#include <QTreeView>

class QStandardItem;
class QStandardItemModel;

class Tdirtree : public QTreeView {
  Q_OBJECT

 public:
  explicit Tdirtree(QWidget* parent = nullptr);

  // The selected folder's full path with a trailing separator; "?" when no
  // folder is selected.
  QString Directory() const;
  // Opens the folders along the path and selects the last one. A path
  // whose folder does not exist, and "?", change nothing.
  void SetDirectory(const QString& path);
  // Reads the folders again and selects the same folder, or its nearest
  // existing parent, or the home folder.
  void Reload();
  // Reads again the drives and every opened folder, keeping what is open
  // and the selection (or, when the selected folder is gone, selecting its
  // nearest parent still there).
  void Refresh();

 signals:
  // The selected folder changed.
  void DirectoryChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Roots();
  void Read(QStandardItem* item);
  void RefreshBelow(QStandardItem* item);

  QStandardItemModel* model_;
  bool quiet_ = false;  // rows are being read again: no change notices
};

// The folder tree of the file choosers: every folder of this machine's file
// system (hidden ones included), each read when it is opened. Only folders
// are read, so a folder of many files costs nothing here.
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

 signals:
  // The selected folder changed.
  void DirectoryChanged();

 private:
  void Roots();
  void Read(QStandardItem* item);

  QStandardItemModel* model_;
};

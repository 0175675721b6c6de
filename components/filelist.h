// The file list of the file choosers: the ordinary files of one folder that
// match a mask ("*.txt;*.doc", letter case aside), hidden files left out.
// The folder is read off the window's thread, so a folder of a hundred
// thousand files lists without freezing it.
#pragma once

#include <QListView>
#include <QString>
#include <QStringList>

class QFileSystemModel;
class QSortFilterProxyModel;

class TRzFileListBox : public QListView {
  Q_OBJECT

 public:
  explicit TRzFileListBox(QWidget* parent = nullptr);

  QString Directory() const { return directory_; }
  void SetDirectory(const QString& folder);
  QString Mask() const { return mask_; }
  void SetMask(const QString& mask);
  // Reads the folder again; no file stays selected.
  void Reread();

  // The selected names (without folder), in list order.
  QStringList SelectedNames() const;
  int SelectedCount() const;
  // folder + name of the current item when it is selected, else "".
  QString FocusedFilePath() const;
  // Whether the folder's listing is complete.
  bool Loaded() const { return loaded_; }

 signals:
  void FolderLoaded(const QString& folder);

 private:
  void Apply();

  QFileSystemModel* model_;
  QSortFilterProxyModel* proxy_;
  QString directory_, mask_ = QStringLiteral("*.*");
  bool loaded_ = false;
};

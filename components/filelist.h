// The file list of the file choosers: the ordinary files of one folder that
// match a mask ("*.txt;*.doc", letter case aside), hidden files left out,
// sorted by name without regard to case. The folder is read and sorted off
// the window's thread and shown at once when done, so a folder of a hundred
// thousand files lists without freezing the window.
#pragma once

#include <QListView>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class QStringListModel;

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

  // The names of `folder` that the mask lets through, sorted (what the list
  // shows); run on any thread.
  static QStringList ReadFolder(const QString& folder, const QString& mask);

 signals:
  void FolderLoaded(const QString& folder);

 private:
  void Apply();
  void Deliver(int generation, const QStringList& names);

  QStringListModel* model_;
  QString directory_, mask_ = QStringLiteral("*.*");
  std::vector<std::pair<int, int>> SelectedSpans() const;
  int generation_ = 0;  // of the latest reading; older answers are dropped
  bool loaded_ = false;
};

// The add-files dialog: a folder tree, the folder's files narrowed by a
// mask, one or more of them chosen. It adds and changes nothing itself; the
// caller reads the folder, the chosen names and the path label after it
// closed with Add. Created once, it keeps its folder, mask, caption and
// label from one use to the next.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class MainWindowServices;
class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TFileLabel;
class TRzFileListBox;
class Tdirtree;

class TfrmAddToCatalog : public QDialog {
  Q_OBJECT

 public:
  // `releaseButtons`: lets the main window's Edit and Add buttons up (Exit).
  TfrmAddToCatalog(MainWindowServices& services, std::function<void()> releaseButtons, QWidget* parent = nullptr);

  // After Add: the list's folder, the chosen names in list order, and the
  // label's text (one file's full path, or how many files were chosen).
  QString Folder() const;
  QStringList SelectedNames() const;
  QString AddPathText() const;
  // Whether Add took the whole folder tree: "Include subfolders" on and no
  // file chosen.
  bool WholeTree() const;
  QString Mask() const;

 public slots:
  void sbtnSaveClick();
  void sbtnExitClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void FolderChanged();
  void FileListClicked();

  MainWindowServices& services_;
  std::function<void()> releaseButtons_;

  TFileLabel* chosenPath_ = nullptr;  // the chosen file's path, or how many were chosen
  Tdirtree* folderTree_ = nullptr;
  TRzFileListBox* fileList_ = nullptr;
  QToolButton* addButton_ = nullptr;
  QToolButton* exitButton_ = nullptr;
  QLabel* filterCaption_ = nullptr;  // "Filter:"
  QLineEdit* filter_ = nullptr;      // the mask, patterns separated by ";"
  QCheckBox* subfolders_ = nullptr;  // "Include subfolders"
  QCheckBox* otherFileSystems_ = nullptr;  // "Other file systems": the walk also enters mounted disks
};

// The file operation dialog frmFileOperations: the user confirms the
// record's file and types or browses the destination of one command.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

#include <functional>
#include <optional>

class MainWindowServices;
class QLabel;
class QLineEdit;
class QToolButton;

namespace fileops {

// The commands of the File menu that go through the dialog, by their codes.
enum class Operation { Copy = 0, Move = 1, Rename = 2, Delete = 3, CreateFolder = 4 };

// "Copy", "Move", "Rename", "Delete", "Create Folder".
QString OperationName(Operation op);

// The picture of the action button: that of the main window's button of
// the same kind of work, or the dialog's own for Create Folder.
QIcon OperationIcon(Operation op);

// Writes the first status panel of the main window without starting the
// timer that clears it.
using StatusWriter = std::function<void(const QString&)>;

// Where paths carry drive letters, waits for the drive of a typed path: as
// long as `ready` says it cannot be read, beeps and asks to Retry or Cancel.
// A text without a drive letter is not checked.
void WaitForDrive(QWidget* parent, const QString& text, const std::function<bool(QChar)>& ready);

class TfrmFileOperations : public QDialog {
  Q_OBJECT

 public:
  // Set up for one operation on the file `recordPath`: the texts, the
  // picture and the proposed destination (from `cmrStrtDir`, or for Create
  // Folder the zip window's extraction folder, which the main window hands
  // to the next file operation only).
  TfrmFileOperations(MainWindowServices& window, StatusWriter status, Operation op, const QString& recordPath);

  // Shows the dialog for one operation: the destination typed (Edit2) when
  // it closed through the action button, nothing when the user left with
  // Exit.
  static std::optional<QString> SetUp(MainWindowServices& window, StatusWriter status, Operation op,
                                      const QString& recordPath);

  Operation Op() const { return op_; }
  // The proposed or browsed folder (with the file's name for a proposed
  // destination): what the action button remembers in `cmrStrtDir`.
  const QString& ChosenFolder() const { return chosenFolder_; }

 public slots:
  void sbtnFileOpsClick();
  void sbtnBrowseClick();
  void sbtnCloseClick();
  void Edit2KeyUp();
  // Escape is Exit.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Any close: refused while the destination is empty ("Entry Required.")
  // or, after the action button, while it holds no full path; Exit always
  // closes.
  void done(int result) override;

 private:
  MainWindowServices& window_;
  StatusWriter status_;
  Operation op_;
  QString chosenFolder_;
  bool leaving_ = false;

  // The widgets; each carries its given name as objectName.
  QLabel* sourceCaption_ = nullptr;       // Label1: "From:" or nothing
  QLabel* destinationCaption_ = nullptr;  // Label2: "To:", "Delete:" or "Create:"
  QLabel* sourceLabel_ = nullptr;         // Label3: the record's file, or what to enter
  QLineEdit* destinationEdit_ = nullptr;  // Edit2
  QToolButton* actionButton_ = nullptr;   // sbtnFileOps: Copy, Move, Rename, Delete, Create Folder
  QToolButton* browseButton_ = nullptr;   // sbtnBrowse
  QToolButton* exitButton_ = nullptr;     // sbtnClose
};

}  // namespace fileops

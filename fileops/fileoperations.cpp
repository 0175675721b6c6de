#include "fileoperations.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "destination.h"
#include "icons.h"
#include "mainwindowservices.h"
#include "prompts.h"
#include "settings.h"
#include "volumes.h"

namespace fileops {

QString OperationName(Operation op) {
  switch (op) {
    case Operation::Copy:
      return QStringLiteral("Copy");
    case Operation::Move:
      return QStringLiteral("Move");
    case Operation::Rename:
      return QStringLiteral("Rename");
    case Operation::Delete:
      return QStringLiteral("Delete");
    case Operation::CreateFolder:
      return QStringLiteral("Create Folder");
  }
  return QString();
}

QIcon OperationIcon(Operation op) {
  switch (op) {
    case Operation::Copy:
      return icons::ToolIcon(QStringLiteral("save"));  // sbtnSave's
    case Operation::Move:
      return icons::ToolIcon(QStringLiteral("move"));  // sbtnMove's
    case Operation::Rename:
      // The main window's hidden button has no picture of its own; the
      // pencil of editing, as the catalog form's Rename has.
      return icons::ToolIcon(QStringLiteral("edit"));
    case Operation::Delete:
      return icons::ToolIcon(QStringLiteral("trash"));  // sbtnTrash's
    case Operation::CreateFolder:
      return QApplication::style()->standardIcon(QStyle::SP_FileDialogNewFolder);
  }
  return QIcon();
}

void WaitForDrive(QWidget* parent, const QString& text, const std::function<bool(QChar)>& ready) {
  if (!volumes::HasDriveLetter(text)) return;
  const QChar drive = text[0].toUpper();
  prompts::Prompts& p = prompts::Current();
  while (!ready(drive)) {
    p.Beep();
    const prompts::Button answer =
        p.Message(parent, prompts::Kind::Error,
                  QString(drive) + QStringLiteral(":\\ is not accessible.\n\nThe device is not ready."),
                  prompts::Retry | prompts::Cancel, prompts::Retry);
    if (answer != prompts::Retry) return;
  }
}

namespace {

QToolButton* MakeButton(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setText(text);
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  b->setIconSize(QSize(18, 18));
  b->setMinimumSize(84, 27);
  return b;
}

}  // namespace

TfrmFileOperations::TfrmFileOperations(MainWindowServices& window, StatusWriter status, Operation op,
                                       const QString& recordPath)
    : QDialog(window.Window()), window_(window), status_(std::move(status)), op_(op) {
  // Taken for every operation: the zip window's folder is proposed to the
  // next file operation only.
  const QString zipFolder = window.TakeZipExtractionFolder();
  setObjectName("frmFileOperations");
  setWindowTitle("frmFileOps ");
  // A single border without buttons in its caption bar.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(12);
  setFont(f);

  sourceCaption_ = new QLabel(this);
  sourceCaption_->setObjectName("Label1");
  destinationCaption_ = new QLabel(this);
  destinationCaption_->setObjectName("Label2");
  sourceLabel_ = new QLabel(this);
  sourceLabel_->setObjectName("Label3");
  sourceLabel_->setFixedWidth(385);
  sourceLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette navy = sourceLabel_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  sourceLabel_->setPalette(navy);
  destinationEdit_ = new QLineEdit(this);
  destinationEdit_->setObjectName("Edit2");
  destinationEdit_->setFixedWidth(385);
  destinationEdit_->installEventFilter(this);

  const QString name = OperationName(op);
  actionButton_ = MakeButton(this, "sbtnFileOps", name);
  actionButton_->setToolTip(name + " File");
  actionButton_->setIcon(OperationIcon(op));
  browseButton_ = MakeButton(this, "sbtnBrowse", QStringLiteral("Browse"));
  exitButton_ = MakeButton(this, "sbtnClose", QStringLiteral("Exit"));
  exitButton_->setToolTip(QStringLiteral("Close and Cancel operation."));

  switch (op) {
    case Operation::Delete:
      browseButton_->hide();
      sourceLabel_->setText(QStringLiteral("Deleting this file will also delete its catalog entry."));
      destinationEdit_->setText(recordPath);
      destinationEdit_->setEnabled(false);
      break;
    case Operation::CreateFolder:
      sourceLabel_->setText(QStringLiteral("Enter a NEW folder name, with the full path."));
      // The zip window's extraction folder, when it was opened since the
      // last file operation.
      chosenFolder_ = zipFolder;
      destinationEdit_->setText(chosenFolder_);
      break;
    default: {
      sourceLabel_->setText(recordPath);
      const QString fallback = settings::StringDefault(settings::kCmrStrtDir);
      QString remembered = fallback;
      try {
        remembered = window.Settings().Read(settings::kCmrStrtDir);
      } catch (const SettingsError&) {
        // A value that is no text is taken for no value.
      }
      chosenFolder_ = ProposedDestination(remembered, recordPath, fallback);
      destinationEdit_->setText(chosenFolder_);
      break;
    }
  }
  setWindowTitle(op == Operation::CreateFolder ? name : name + " File");
  const bool fromTo = op == Operation::Copy || op == Operation::Move || op == Operation::Rename;
  sourceCaption_->setText(fromTo ? QStringLiteral("From:") : QString());
  destinationCaption_->setText(fromTo                      ? QStringLiteral("To:")
                               : op == Operation::Delete ? QStringLiteral("Delete:")
                                                         : QStringLiteral("Create:"));

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(10, 8, 10, 8);
  grid->setHorizontalSpacing(8);
  grid->addWidget(sourceCaption_, 0, 0);
  grid->addWidget(sourceLabel_, 0, 1);
  grid->addWidget(destinationCaption_, 1, 0);
  grid->addWidget(destinationEdit_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(actionButton_);
  buttons->addWidget(browseButton_);
  buttons->addWidget(exitButton_);
  grid->addLayout(buttons, 2, 0, 1, 2);
  setMinimumSize(449, 106);

  connect(actionButton_, &QToolButton::clicked, this, &TfrmFileOperations::sbtnFileOpsClick);
  connect(browseButton_, &QToolButton::clicked, this, &TfrmFileOperations::sbtnBrowseClick);
  connect(exitButton_, &QToolButton::clicked, this, &TfrmFileOperations::sbtnCloseClick);
}

std::optional<QString> TfrmFileOperations::SetUp(MainWindowServices& window, StatusWriter status, Operation op,
                                                 const QString& recordPath) {
  TfrmFileOperations form(window, std::move(status), op, recordPath);
  const bool accepted = form.exec() == QDialog::Accepted;
  const QString entered = form.destinationEdit_->text();
  if (!accepted) return std::nullopt;
  return entered;
}

void TfrmFileOperations::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  window_.ApplyFlatButtons(this);
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  if (destinationEdit_->isEnabled()) {
    destinationEdit_->setFocus();
    destinationEdit_->end(false);
  } else {
    actionButton_->setFocus();
  }
}

bool TfrmFileOperations::eventFilter(QObject* watched, QEvent* event) {
  if (watched == destinationEdit_ && event->type() == QEvent::KeyRelease) Edit2KeyUp();
  return QDialog::eventFilter(watched, event);
}

void TfrmFileOperations::Edit2KeyUp() {
  // Only drives have media that may be missing; elsewhere a path is
  // checked when the command runs.
  if (!PathsHaveDriveLetters()) return;
  WaitForDrive(this, destinationEdit_->text(),
               [](QChar drive) { return volumes::IsReady(QString(drive) + QStringLiteral(":\\")); });
}

void TfrmFileOperations::sbtnBrowseClick() {
  const QString typedFolder = FolderPart(destinationEdit_->text());
  const QString start = QFileInfo(typedFolder).isDir() ? typedFolder : QDir::homePath();
  const QString folder = prompts::Current().ChooseFolder(this, QStringLiteral("Browse for Folder"), start);
  if (folder.isEmpty()) return;  // cancelled: the destination stays as it was
  // Copy and Move keep the file's name; Rename and Create Folder want a new one.
  const QString name = op_ == Operation::Copy || op_ == Operation::Move ? NamePart(sourceLabel_->text()) : QString();
  // The browsed folder, closed by a separator, is the chosen one.
  if (IsFullPath(folder)) chosenFolder_ = JoinPath(folder, QString());
  destinationEdit_->setText(chosenFolder_ + name);
  destinationEdit_->end(false);
}

void TfrmFileOperations::sbtnFileOpsClick() {
  QCoreApplication::processEvents();
  if (status_) status_(OperationName(op_) + " started...");
  // The proposed or browsed folder, not what was typed: the next command
  // proposes it again.
  window_.Settings().Write(settings::kCmrStrtDir, RememberedFolder(chosenFolder_));
  done(QDialog::Accepted);
}

void TfrmFileOperations::sbtnCloseClick() {
  leaving_ = true;
  done(QDialog::Rejected);
}

void TfrmFileOperations::reject() { sbtnCloseClick(); }

void TfrmFileOperations::done(int result) {
  if (!leaving_) {
    prompts::Prompts& p = prompts::Current();
    QString refusal;
    if (destinationEdit_->text().isEmpty())
      refusal = QStringLiteral("Entry Required.");
    else if (op_ != Operation::Delete && !IsFullPath(destinationEdit_->text()))
      refusal = QStringLiteral("Enter the full path.");
    if (!refusal.isEmpty()) {
      p.Message(this, prompts::Kind::Warning, refusal);
      destinationEdit_->setFocus();
      return;
    }
  }
  QDialog::done(result);
}

}  // namespace fileops

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

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label2 = new QLabel(this);
  Label2->setObjectName("Label2");
  Label3 = new QLabel(this);
  Label3->setObjectName("Label3");
  Label3->setFixedWidth(385);
  Label3->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette navy = Label3->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label3->setPalette(navy);
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName("Edit2");
  Edit2->setFixedWidth(385);
  Edit2->installEventFilter(this);

  const QString name = OperationName(op);
  sbtnFileOps = MakeButton(this, "sbtnFileOps", name);
  sbtnFileOps->setToolTip(name + " File");
  sbtnFileOps->setIcon(OperationIcon(op));
  sbtnBrowse = MakeButton(this, "sbtnBrowse", QStringLiteral("Browse"));
  sbtnClose = MakeButton(this, "sbtnClose", QStringLiteral("Exit"));
  sbtnClose->setToolTip(QStringLiteral("Close and Cancel operation."));

  switch (op) {
    case Operation::Delete:
      sbtnBrowse->hide();
      Label3->setText(QStringLiteral("Deleting this file will also delete its catalog entry."));
      Edit2->setText(recordPath);
      Edit2->setEnabled(false);
      break;
    case Operation::CreateFolder:
      Label3->setText(QStringLiteral("Enter a NEW folder name, with the full path."));
      // The zip window's extraction folder, when it was opened since the
      // last file operation.
      chosenFolder_ = zipFolder;
      Edit2->setText(chosenFolder_);
      break;
    default: {
      Label3->setText(recordPath);
      const QString fallback = settings::StringDefault(settings::kCmrStrtDir);
      QString remembered = fallback;
      try {
        remembered = window.Settings().Read(settings::kCmrStrtDir);
      } catch (const SettingsError&) {
        // A value that is no text is taken for no value.
      }
      chosenFolder_ = ProposedDestination(remembered, recordPath, fallback);
      Edit2->setText(chosenFolder_);
      break;
    }
  }
  setWindowTitle(op == Operation::CreateFolder ? name : name + " File");
  const bool fromTo = op == Operation::Copy || op == Operation::Move || op == Operation::Rename;
  Label1->setText(fromTo ? QStringLiteral("From:") : QString());
  Label2->setText(fromTo                         ? QStringLiteral("To:")
                  : op == Operation::Delete      ? QStringLiteral("Delete:")
                                                 : QStringLiteral("Create:"));

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(10, 8, 10, 8);
  grid->setHorizontalSpacing(8);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(Label3, 0, 1);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(Edit2, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(sbtnFileOps);
  buttons->addWidget(sbtnBrowse);
  buttons->addWidget(sbtnClose);
  grid->addLayout(buttons, 2, 0, 1, 2);
  setMinimumSize(449, 106);

  connect(sbtnFileOps, &QToolButton::clicked, this, &TfrmFileOperations::sbtnFileOpsClick);
  connect(sbtnBrowse, &QToolButton::clicked, this, &TfrmFileOperations::sbtnBrowseClick);
  connect(sbtnClose, &QToolButton::clicked, this, &TfrmFileOperations::sbtnCloseClick);
}

std::optional<QString> TfrmFileOperations::SetUp(MainWindowServices& window, StatusWriter status, Operation op,
                                                 const QString& recordPath) {
  TfrmFileOperations form(window, std::move(status), op, recordPath);
  const bool accepted = form.exec() == QDialog::Accepted;
  const QString entered = form.Edit2->text();
  if (!accepted) return std::nullopt;
  return entered;
}

void TfrmFileOperations::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  window_.ApplyFlatButtons(this);
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  if (Edit2->isEnabled()) {
    Edit2->setFocus();
    Edit2->end(false);
  } else {
    sbtnFileOps->setFocus();
  }
}

bool TfrmFileOperations::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit2 && event->type() == QEvent::KeyRelease) Edit2KeyUp();
  return QDialog::eventFilter(watched, event);
}

void TfrmFileOperations::Edit2KeyUp() {
  // Only drives have media that may be missing; elsewhere a path is
  // checked when the command runs.
  if (!PathsHaveDriveLetters()) return;
  WaitForDrive(this, Edit2->text(), [](QChar drive) { return volumes::IsReady(QString(drive) + QStringLiteral(":\\")); });
}

void TfrmFileOperations::sbtnBrowseClick() {
  const QString start = QFileInfo(FolderPart(Edit2->text())).isDir() ? FolderPart(Edit2->text()) : QDir::homePath();
  const QString folder = prompts::Current().ChooseFolder(this, QStringLiteral("Browse for Folder"), start);
  if (folder.isEmpty()) return;  // cancelled: Edit2 stays as it was
  // Copy and Move keep the file's name; Rename and Create Folder want a new one.
  const QString name = op_ == Operation::Copy || op_ == Operation::Move ? NamePart(Label3->text()) : QString();
  // The browsed folder, closed by a separator, is the chosen one.
  if (IsFullPath(folder)) chosenFolder_ = JoinPath(folder, QString());
  Edit2->setText(chosenFolder_ + name);
  Edit2->end(false);
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
    if (Edit2->text().isEmpty())
      refusal = QStringLiteral("Entry Required.");
    else if (op_ != Operation::Delete && !IsFullPath(Edit2->text()))
      refusal = QStringLiteral("Enter the full path.");
    if (!refusal.isEmpty()) {
      p.Message(this, prompts::Kind::Warning, refusal);
      Edit2->setFocus();
      return;
    }
  }
  QDialog::done(result);
}

}  // namespace fileops

#include "addtocatalog.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include "filelist.h"
#include "foldertree.h"
#include "mainwindowservices.h"
#include "pathlabel.h"
#include "prompts.h"
#include "recordsession.h"
#include "settings.h"

TfrmAddToCatalog::TfrmAddToCatalog(MainWindowServices& services, std::function<void()> releaseButtons,
                                   QWidget* parent)
    : QDialog(parent), services_(services), releaseButtons_(std::move(releaseButtons)) {
  setObjectName("frmAddToCatalog");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
  resize(426, 287);

  chosenPath_ = new TFileLabel(this);
  chosenPath_->setObjectName("AddPath");
  folderTree_ = new Tdirtree(this);
  folderTree_->setObjectName("dirtree1");
  fileList_ = new TRzFileListBox(this);
  fileList_->setObjectName("RzFileListBox1");
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName("Splitter1");
  splitter->setHandleWidth(9);
  splitter->addWidget(folderTree_);
  splitter->addWidget(fileList_);
  splitter->setSizes({208, 209});

  addButton_ = new QToolButton(this);
  addButton_->setObjectName("sbtnSave");
  addButton_->setText("Add");
  exitButton_ = new QToolButton(this);
  exitButton_->setObjectName("sbtnExit");
  exitButton_->setText("Exit");
  for (QToolButton* b : {addButton_, exitButton_}) b->setFixedSize(73, 25);
  filterCaption_ = new QLabel("Filter:", this);
  filterCaption_->setObjectName("Label1");
  filter_ = new QLineEdit(this);
  filter_->setObjectName("Edit1");
  filter_->setMinimumWidth(60);
  subfolders_ = new QCheckBox("Include subfolders", this);
  subfolders_->setObjectName("chkSubfolders");
  otherFileSystems_ = new QCheckBox("Other file systems", this);
  otherFileSystems_->setObjectName("chkOtherFs");
  otherFileSystems_->setToolTip("Include subfolders also where another disk or share is mounted");

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(addButton_);
  bottom->addWidget(exitButton_);
  // The walk's two choices one above the other, so the strip keeps the
  // dialog's width.
  auto* walk = new QVBoxLayout;
  walk->setSpacing(0);
  walk->addWidget(subfolders_);
  walk->addWidget(otherFileSystems_);
  bottom->addLayout(walk);
  bottom->addStretch(1);
  bottom->addWidget(filterCaption_);
  bottom->addWidget(filter_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(chosenPath_);
  layout->addWidget(splitter, 1);
  layout->addLayout(bottom);

  // The remembered folder and mask; a folder that is no absolute path (or
  // "?") gives the home folder.
  TSettings& s = services_.Settings();
  QString mask = settings::StringDefault(settings::kAddStrtExt), folder;
  try {
    mask = s.Read(settings::kAddStrtExt);
    folder = s.Read(settings::kAddStrtDir);
    subfolders_->setChecked(s.Read(settings::kAddSubFldrs));
    otherFileSystems_->setChecked(s.Read(settings::kAddOtherFs));
  } catch (const SettingsError&) {
    // A value of another type than text: the defaults serve.
  }
  filter_->setText(mask);
  if (!QDir::isAbsolutePath(QDir::fromNativeSeparators(folder))) folder = settings::StringDefault(settings::kAddStrtDir);
  folderTree_->SetDirectory(folder);
  folderTree_->Reload();
  fileList_->SetMask(filter_->text());
  fileList_->SetDirectory(folderTree_->Directory());

  connect(folderTree_, &Tdirtree::DirectoryChanged, this, &TfrmAddToCatalog::FolderChanged);
  connect(filter_, &QLineEdit::textChanged, fileList_, &TRzFileListBox::SetMask);
  connect(fileList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TfrmAddToCatalog::FileListClicked);
  // With subfolders included, Add takes the whole folder when no file is
  // chosen, so it is available at once.
  connect(subfolders_, &QCheckBox::toggled, this,
          [this](bool on) {
            addButton_->setEnabled(on || fileList_->SelectedCount() > 0);
            otherFileSystems_->setEnabled(on);
          });
  otherFileSystems_->setEnabled(subfolders_->isChecked());
  connect(addButton_, &QToolButton::clicked, this, &TfrmAddToCatalog::sbtnSaveClick);
  connect(exitButton_, &QToolButton::clicked, this, &TfrmAddToCatalog::sbtnExitClick);
}

QString TfrmAddToCatalog::Folder() const { return QDir::toNativeSeparators(fileList_->Directory()); }
QStringList TfrmAddToCatalog::SelectedNames() const { return fileList_->SelectedNames(); }
QString TfrmAddToCatalog::AddPathText() const { return chosenPath_->path(); }
bool TfrmAddToCatalog::WholeTree() const { return subfolders_->isChecked() && fileList_->SelectedCount() == 0; }
QString TfrmAddToCatalog::Mask() const { return filter_->text(); }

void TfrmAddToCatalog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The folders as they are now: made, removed or mounted since last time.
  folderTree_->Refresh();
  // Every use starts with no file chosen and Add off.
  chosenPath_->setPath(folderTree_->Directory());
  addButton_->setEnabled(subfolders_->isChecked());
  fileList_->Reread();
  fileList_->setFocus();
  services_.ApplyFlatButtons(this);
}

void TfrmAddToCatalog::FolderChanged() {
  chosenPath_->setPath(folderTree_->Directory());
  fileList_->SetDirectory(folderTree_->Directory());
  addButton_->setEnabled(subfolders_->isChecked());
}

void TfrmAddToCatalog::FileListClicked() {
  const int n = fileList_->SelectedCount();
  chosenPath_->setPath(n < 2 ? fileList_->FocusedFilePath() : QString::number(n) + " files have been selected.");
  addButton_->setEnabled(true);
}

void TfrmAddToCatalog::sbtnSaveClick() {
  if (fileList_->SelectedCount() > 0 || subfolders_->isChecked()) {
    accept();
    return;
  }
  prompts::Current().Message(this, prompts::Kind::Confirmation, "No files are selected.", prompts::Cancel,
                             prompts::Cancel);
}

void TfrmAddToCatalog::sbtnExitClick() {
  // Exit ends the edit of the record whose file was to be replaced; what
  // was typed into it is saved or dropped as the user says, or (Cancel)
  // the edit goes on.
  switch (services_.Record().EndEditAsking(this)) {
    case EditEnd::Stayed:
      reject();
      return;
    case EditEnd::Dropped:
      services_.ShowStatus(" Cleared...");
      break;
    default:
      break;
  }
  if (releaseButtons_) releaseButtons_();
  reject();
}

void TfrmAddToCatalog::done(int result) {
  // The folder and mask in use are offered next time, whichever way the
  // dialog closed.
  TSettings& s = services_.Settings();
  s.Write(settings::kAddStrtDir, folderTree_->Directory());
  s.Write(settings::kAddStrtExt, filter_->text());
  s.Write(settings::kAddSubFldrs, subfolders_->isChecked());
  s.Write(settings::kAddOtherFs, otherFileSystems_->isChecked());
  QDialog::done(result);
}

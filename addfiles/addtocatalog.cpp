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

#include "commandguard.h"
#include "commandtags.h"
#include "datamodule.h"
#include "filelist.h"
#include "foldertree.h"
#include "mainwindowservices.h"
#include "pathlabel.h"
#include "prompts.h"
#include "recordedit.h"
#include "settings.h"

TfrmAddToCatalog::TfrmAddToCatalog(MainWindowServices& services, std::function<void()> releaseButtons,
                                   QWidget* parent)
    : QDialog(parent), services_(services), releaseButtons_(std::move(releaseButtons)) {
  setObjectName("frmAddToCatalog");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
  resize(426, 287);

  AddPath = new TFileLabel(this);
  AddPath->setObjectName("AddPath");
  dirtree1 = new Tdirtree(this);
  dirtree1->setObjectName("dirtree1");
  RzFileListBox1 = new TRzFileListBox(this);
  RzFileListBox1->setObjectName("RzFileListBox1");
  auto* Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(9);
  Splitter1->addWidget(dirtree1);
  Splitter1->addWidget(RzFileListBox1);
  Splitter1->setSizes({208, 209});

  sbtnSave = new QToolButton(this);
  sbtnSave->setObjectName("sbtnSave");
  sbtnSave->setText("Add");
  sbtnExit = new QToolButton(this);
  sbtnExit->setObjectName("sbtnExit");
  sbtnExit->setText("Exit");
  for (QToolButton* b : {sbtnSave, sbtnExit}) b->setFixedSize(73, 25);
  Label1 = new QLabel("Filter:", this);
  Label1->setObjectName("Label1");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setMinimumWidth(60);
  chkSubfolders = new QCheckBox("Include subfolders", this);
  chkSubfolders->setObjectName("chkSubfolders");
  chkOtherFs = new QCheckBox("Other file systems", this);
  chkOtherFs->setObjectName("chkOtherFs");
  chkOtherFs->setToolTip("Include subfolders also where another disk or share is mounted");

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(sbtnSave);
  bottom->addWidget(sbtnExit);
  // The walk's two choices one above the other, so the strip keeps the
  // dialog's width.
  auto* walk = new QVBoxLayout;
  walk->setSpacing(0);
  walk->addWidget(chkSubfolders);
  walk->addWidget(chkOtherFs);
  bottom->addLayout(walk);
  bottom->addStretch(1);
  bottom->addWidget(Label1);
  bottom->addWidget(Edit1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(AddPath);
  layout->addWidget(Splitter1, 1);
  layout->addLayout(bottom);

  // The remembered folder and mask; a folder that is no absolute path (or
  // "?") gives the home folder.
  TSettings& s = services_.Settings();
  QString mask = settings::StringDefault(settings::kAddStrtExt), folder;
  try {
    mask = s.Read(settings::kAddStrtExt);
    folder = s.Read(settings::kAddStrtDir);
    chkSubfolders->setChecked(s.Read(settings::kAddSubFldrs));
    chkOtherFs->setChecked(s.Read(settings::kAddOtherFs));
  } catch (const SettingsError&) {
    // A value of another type than text: the defaults serve.
  }
  Edit1->setText(mask);
  if (!QDir::isAbsolutePath(QDir::fromNativeSeparators(folder))) folder = settings::StringDefault(settings::kAddStrtDir);
  dirtree1->SetDirectory(folder);
  dirtree1->Reload();
  RzFileListBox1->SetMask(Edit1->text());
  RzFileListBox1->SetDirectory(dirtree1->Directory());

  connect(dirtree1, &Tdirtree::DirectoryChanged, this, &TfrmAddToCatalog::FolderChanged);
  connect(Edit1, &QLineEdit::textChanged, RzFileListBox1, &TRzFileListBox::SetMask);
  connect(RzFileListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TfrmAddToCatalog::FileListClicked);
  // With subfolders included, Add takes the whole folder when no file is
  // chosen, so it is available at once.
  connect(chkSubfolders, &QCheckBox::toggled, this,
          [this](bool on) {
            sbtnSave->setEnabled(on || RzFileListBox1->SelectedCount() > 0);
            chkOtherFs->setEnabled(on);
          });
  chkOtherFs->setEnabled(chkSubfolders->isChecked());
  connect(sbtnSave, &QToolButton::clicked, this, &TfrmAddToCatalog::sbtnSaveClick);
  connect(sbtnExit, &QToolButton::clicked, this, &TfrmAddToCatalog::sbtnExitClick);
}

QString TfrmAddToCatalog::Folder() const { return QDir::toNativeSeparators(RzFileListBox1->Directory()); }
QStringList TfrmAddToCatalog::SelectedNames() const { return RzFileListBox1->SelectedNames(); }
QString TfrmAddToCatalog::AddPathText() const { return AddPath->path(); }
bool TfrmAddToCatalog::WholeTree() const { return chkSubfolders->isChecked() && RzFileListBox1->SelectedCount() == 0; }
QString TfrmAddToCatalog::Mask() const { return Edit1->text(); }

void TfrmAddToCatalog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The folders as they are now: made, removed or mounted since last time.
  dirtree1->Refresh();
  // Every use starts with no file chosen and Add off.
  AddPath->setPath(dirtree1->Directory());
  sbtnSave->setEnabled(chkSubfolders->isChecked());
  RzFileListBox1->Reread();
  RzFileListBox1->setFocus();
  services_.ApplyFlatButtons(this);
}

void TfrmAddToCatalog::FolderChanged() {
  AddPath->setPath(dirtree1->Directory());
  RzFileListBox1->SetDirectory(dirtree1->Directory());
  sbtnSave->setEnabled(chkSubfolders->isChecked());
}

void TfrmAddToCatalog::FileListClicked() {
  const int n = RzFileListBox1->SelectedCount();
  AddPath->setPath(n < 2 ? RzFileListBox1->FocusedFilePath() : QString::number(n) + " files have been selected.");
  sbtnSave->setEnabled(true);
}

void TfrmAddToCatalog::sbtnSaveClick() {
  if (RzFileListBox1->SelectedCount() > 0 || chkSubfolders->isChecked()) {
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
  xbase::Table& t = services_.DataModule().ApTable1;
  if (browse::IsEditing(t.GetState())) {
    browse::LeaveOutcome o;
    const bool ran = command::Run(prompts::Current(), this, {&t}, [&] {
      o = browse::EndEdit(t, browse::LeaveEdit::Ask, this);
    });
    if (ran && !o.goOn) {
      reject();
      return;
    }
    if (o.saved.kind == browse::SaveOutcome::Kind::Inserted) {
      services_.SetCatalogRecordCount(services_.CatalogRecordCount() + 1);
      services_.SetTotalRecordCount(services_.TotalRecordCount() + 1);
    }
    const bool saved = o.saved.kind == browse::SaveOutcome::Kind::Edited || o.saved.kind == browse::SaveOutcome::Kind::Inserted;
    if (ran && !saved) services_.ShowStatus(" Cleared...");
  }
  if (releaseButtons_) releaseButtons_();
  reject();
}

void TfrmAddToCatalog::done(int result) {
  // The folder and mask in use are offered next time, whichever way the
  // dialog closed.
  TSettings& s = services_.Settings();
  s.Write(settings::kAddStrtDir, dirtree1->Directory());
  s.Write(settings::kAddStrtExt, Edit1->text());
  s.Write(settings::kAddSubFldrs, chkSubfolders->isChecked());
  s.Write(settings::kAddOtherFs, chkOtherFs->isChecked());
  QDialog::done(result);
}

#include "multifiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>

#include "batchpass.h"
#include "icons.h"
#include "mainwindowservices.h"
#include "pathlabel.h"
#include "prompts.h"
#include "settings.h"

TTextListBox::TTextListBox(QWidget* parent) : QListView(parent), model_(new Lines(this)) {
  setModel(model_);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
}

void TTextListBox::Lines::Append(const QStringList& more) {
  if (more.isEmpty()) return;
  beginInsertRows(QModelIndex(), (int)lines.size(), (int)(lines.size() + more.size() - 1));
  lines += more;
  endInsertRows();
}

QVariant TTextListBox::Lines::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= lines.size()) return {};
  return lines[index.row()];
}

TfrmMultiFiles::TfrmMultiFiles(MainWindowServices& services, BatchMode mode, const QIcon& actionIcon, QWidget* parent)
    : QDialog(parent),
      services_(services),
      controller_(std::make_unique<addfiles::BatchController>(services.Batch(), mode)) {
  setObjectName("frmMultiFiles");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  resize(273, 246);

  actionButton_ = new QToolButton(this);
  actionButton_->setObjectName("sbtnDM");
  actionButton_->setIcon(actionIcon);
  actionButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  actionButton_->setProperty("tag", (int)mode);
  exitButton_ = new QToolButton(this);
  exitButton_->setObjectName("sbtnCancel");
  exitButton_->setText("Exit");
  for (QToolButton* b : {actionButton_, exitButton_}) b->setFixedSize(73, 25);

  catalogGroup_ = new QGroupBox("Catalog", this);
  catalogGroup_->setObjectName("GroupBox2");
  catalogName_ = new QLabel(catalogGroup_);
  catalogName_->setObjectName("Label2");
  catalogName_->setAlignment(Qt::AlignCenter);
  QFont bold = catalogName_->font();
  bold.setBold(true);
  catalogName_->setFont(bold);
  moveTarget_ = new QComboBox(catalogGroup_);
  moveTarget_->setObjectName("cbMove");
  moveTarget_->setEditable(true);
  moveTarget_->setInsertPolicy(QComboBox::NoInsert);
  auto* catalogLayout = new QVBoxLayout(catalogGroup_);
  catalogLayout->addWidget(catalogName_);
  catalogLayout->addWidget(moveTarget_);

  folderIcon_ = new QLabel(this);
  folderIcon_->setObjectName("Image1");
  folderIcon_->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DirIcon).pixmap(16, 15));
  folderPath_ = new TFileLabel(this);
  folderPath_->setObjectName("FileLabel1");
  QPalette navy = folderPath_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  folderPath_->setPalette(navy);

  actedOnGroup_ = new QGroupBox("Selected records", this);
  actedOnGroup_->setObjectName("GroupBox1");
  actedOn_ = new TTextListBox(actedOnGroup_);
  actedOn_->setObjectName("TextListBox1");
  actedOn_->setFocusPolicy(Qt::NoFocus);
  actedOn_->setFrameShape(QFrame::NoFrame);
  QPalette list = actedOn_->palette();
  list.setColor(QPalette::Base, list.color(QPalette::Button));
  list.setColor(QPalette::Text, QColor(0, 0, 128));
  actedOn_->setPalette(list);
  auto* listLayout = new QVBoxLayout(actedOnGroup_);
  listLayout->addWidget(actedOn_);

  editAfterAdd_ = new QCheckBox("Set Edit mode ON", this);
  editAfterAdd_->setObjectName("chkbxEditON");
  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("ProgressBar1");
  progressBar_->hide();

  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folderIcon_);
  folderRow->addWidget(folderPath_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(actionButton_);
  buttons->addWidget(exitButton_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(catalogGroup_);
  layout->addLayout(folderRow);
  layout->addWidget(actedOnGroup_, 1);
  layout->addWidget(progressBar_);
  layout->addWidget(editAfterAdd_);

  setWindowTitle(mode == BatchMode::Add    ? "Add records to"
                 : mode == BatchMode::Move ? "Move records to"
                                           : "Delete records from");
  actionButton_->setText(controller_->ActionName());
  catalogName_->setVisible(mode != BatchMode::Move);
  catalogName_->setText(services_.CurrentCatalog());
  moveTarget_->setVisible(mode == BatchMode::Move);
  folderIcon_->setVisible(mode == BatchMode::Add);
  folderPath_->setVisible(mode == BatchMode::Add);
  editAfterAdd_->setEnabled(mode == BatchMode::Add);
  try {
    editAfterAdd_->setChecked(services_.Settings().Read(settings::kChkBxEditON));
  } catch (const SettingsError&) {
    editAfterAdd_->setChecked(true);
  }
  connect(editAfterAdd_, &QCheckBox::clicked, this,
          [this](bool on) { services_.Settings().Write(settings::kChkBxEditON, on); });
  connect(actionButton_, &QToolButton::clicked, this, &TfrmMultiFiles::sbtnDMClick);
  connect(exitButton_, &QToolButton::clicked, this, &TfrmMultiFiles::sbtnCancelClick);
}

TfrmMultiFiles::~TfrmMultiFiles() = default;

void TfrmMultiFiles::SetFiles(const QString& folder, const QStringList& names) {
  controller_->SetFiles(folder, names);
  QString shown = QDir::toNativeSeparators(folder);
  if (!shown.endsWith(QDir::separator())) shown += QDir::separator();
  folderPath_->setPath(shown);
  actedOn_->addItems(names);
}

void TfrmMultiFiles::SetTree(const QString& folder, const QString& mask) {
  SetFiles(folder, {});
  treeMask_ = mask;
  listTree_ = true;
}

void TfrmMultiFiles::ListTree() {
  running_ = true;
  actionButton_->setEnabled(false);
  exitButton_->setText("Stop");
  QElapsedTimer painted;
  painted.start();
  QStringList found;
  const auto show = [&] {
    actedOn_->addItems(found);
    found.clear();
    actedOnGroup_->setTitle("Selected records (" + QString::number(controller_->FileCount()) + ")");
    QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    painted.restart();
  };
  // Other file systems below the folder as the add dialog's check box
  // last chose.
  bool otherFileSystems = false;
  try {
    otherFileSystems = services_.Settings().Read(settings::kAddOtherFs);
  } catch (const SettingsError&) {
  }
  addfiles::ListTree(
      controller_->Folder(), treeMask_, otherFileSystems,
      [&](const QString& name) {
        controller_->AddFile(name);
        found << name;
        if (painted.elapsed() >= 100) show();
        return !stopAsked_;
      },
      [&](const QString& folder, const QString& why) { found << "[skipped, " + why + "] " + folder; });
  show();
  running_ = false;
  stopAsked_ = false;
  actionButton_->setEnabled(controller_->FileCount() > 0);
  exitButton_->setText("Exit");
}

void TfrmMultiFiles::SetRecords(const std::vector<uint32_t>& records, const QStringList& titles) {
  controller_->SetRecords(records);
  actedOn_->addItems(titles);
}

void TfrmMultiFiles::SetMoveTargets(const QStringList& catalogs) {
  moveTarget_->addItems(catalogs);
  if (moveTarget_->count() > 0) moveTarget_->setCurrentIndex(0);
}

void TfrmMultiFiles::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  services_.ApplyFlatButtons(this);
  if (listTree_) {
    listTree_ = false;
    QTimer::singleShot(0, this, &TfrmMultiFiles::ListTree);
  }
}

bool TfrmMultiFiles::Progress(int64_t done, int64_t total) {
  // A long pass shows how far it is and keeps the window painted; Stop is
  // read between records.
  if (!progressBar_->isVisible() && total > 1000) {
    progressBar_->setRange(0, (int)std::min<int64_t>(total, INT32_MAX));
    progressBar_->show();
    painted_.start();
  }
  if (progressBar_->isVisible() && (done == total || painted_.elapsed() >= 50)) {
    progressBar_->setValue((int)std::min<int64_t>(done, INT32_MAX));
    QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    painted_.restart();
  }
  return !stopAsked_;
}

void TfrmMultiFiles::sbtnDMClick() {
  if (running_) return;
  prompts::Prompts& p = prompts::Current();
  QString target;
  if (controller_->Mode() == BatchMode::Move) {
    target = moveTarget_->currentText().trimmed();
    QStringList targets;
    for (int i = 0; i < moveTarget_->count(); ++i) targets << moveTarget_->itemText(i);
    if (const QString refusal = addfiles::BatchController::MoveRefusal(target, targets); !refusal.isEmpty()) {
      p.Message(this, prompts::Kind::Error, refusal);
      return;
    }
  }
  p.Beep();
  running_ = true;
  actionButton_->setEnabled(false);
  exitButton_->setText("Stop");
  const addfiles::BatchReport report = controller_->Run(
      services_.CurrentCatalog(), target, [this](int64_t done, int64_t total) { return Progress(done, total); });
  running_ = false;
  if (!report.error.isEmpty()) p.Message(this, prompts::Kind::Error, report.error);
  services_.ShowStatus(report.status);
  if (!report.skipped.isEmpty()) p.Message(this, prompts::Kind::Warning, report.skipped);
  if (!report.shortened.isEmpty()) p.Message(this, prompts::Kind::Information, report.shortened);
  accept();
}

void TfrmMultiFiles::sbtnCancelClick() {
  if (running_) {
    stopAsked_ = true;  // the pass stops before its next record
    return;
  }
  controller_->Cancel();
  QDialog::reject();
}

void TfrmMultiFiles::reject() {
  // The close box and Escape are Exit (or Stop while the pass runs).
  sbtnCancelClick();
}

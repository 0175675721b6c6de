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
#include "datamodule.h"
#include "icons.h"
#include "mainwindowservices.h"
#include "pathlabel.h"
#include "prompts.h"
#include "schema.h"
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
    : QDialog(parent), services_(services), mode_(mode) {
  setObjectName("frmMultiFiles");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  resize(273, 246);

  sbtnDM = new QToolButton(this);
  sbtnDM->setObjectName("sbtnDM");
  sbtnDM->setIcon(actionIcon);
  sbtnDM->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  sbtnDM->setProperty("tag", (int)mode);
  sbtnCancel = new QToolButton(this);
  sbtnCancel->setObjectName("sbtnCancel");
  sbtnCancel->setText("Exit");
  for (QToolButton* b : {sbtnDM, sbtnCancel}) b->setFixedSize(73, 25);

  GroupBox2 = new QGroupBox("Catalog", this);
  GroupBox2->setObjectName("GroupBox2");
  Label2 = new QLabel(GroupBox2);
  Label2->setObjectName("Label2");
  Label2->setAlignment(Qt::AlignCenter);
  QFont bold = Label2->font();
  bold.setBold(true);
  Label2->setFont(bold);
  cbMove = new QComboBox(GroupBox2);
  cbMove->setObjectName("cbMove");
  cbMove->setEditable(true);
  cbMove->setInsertPolicy(QComboBox::NoInsert);
  auto* catalogLayout = new QVBoxLayout(GroupBox2);
  catalogLayout->addWidget(Label2);
  catalogLayout->addWidget(cbMove);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DirIcon).pixmap(16, 15));
  FileLabel1 = new TFileLabel(this);
  FileLabel1->setObjectName("FileLabel1");
  QPalette navy = FileLabel1->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  FileLabel1->setPalette(navy);

  GroupBox1 = new QGroupBox("Selected records", this);
  GroupBox1->setObjectName("GroupBox1");
  TextListBox1 = new TTextListBox(GroupBox1);
  TextListBox1->setObjectName("TextListBox1");
  TextListBox1->setFocusPolicy(Qt::NoFocus);
  TextListBox1->setFrameShape(QFrame::NoFrame);
  QPalette list = TextListBox1->palette();
  list.setColor(QPalette::Base, list.color(QPalette::Button));
  list.setColor(QPalette::Text, QColor(0, 0, 128));
  TextListBox1->setPalette(list);
  auto* listLayout = new QVBoxLayout(GroupBox1);
  listLayout->addWidget(TextListBox1);

  chkbxEditON = new QCheckBox("Set Edit mode ON", this);
  chkbxEditON->setObjectName("chkbxEditON");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->hide();

  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(Image1);
  folderRow->addWidget(FileLabel1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(sbtnDM);
  buttons->addWidget(sbtnCancel);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(GroupBox2);
  layout->addLayout(folderRow);
  layout->addWidget(GroupBox1, 1);
  layout->addWidget(ProgressBar1);
  layout->addWidget(chkbxEditON);

  switch (mode) {
    case BatchMode::Add:
      setWindowTitle("Add records to");
      sbtnDM->setText("Add");
      break;
    case BatchMode::Move:
      setWindowTitle("Move records to");
      sbtnDM->setText("Move");
      break;
    default:
      setWindowTitle("Delete records from");
      sbtnDM->setText("Delete");
      break;
  }
  Label2->setVisible(mode != BatchMode::Move);
  Label2->setText(services_.CurrentCatalog());
  cbMove->setVisible(mode == BatchMode::Move);
  Image1->setVisible(mode == BatchMode::Add);
  FileLabel1->setVisible(mode == BatchMode::Add);
  chkbxEditON->setEnabled(mode == BatchMode::Add);
  try {
    chkbxEditON->setChecked(services_.Settings().Read(settings::kChkBxEditON));
  } catch (const SettingsError&) {
    chkbxEditON->setChecked(true);
  }
  connect(chkbxEditON, &QCheckBox::clicked, this,
          [this](bool on) { services_.Settings().Write(settings::kChkBxEditON, on); });
  connect(sbtnDM, &QToolButton::clicked, this, &TfrmMultiFiles::sbtnDMClick);
  connect(sbtnCancel, &QToolButton::clicked, this, &TfrmMultiFiles::sbtnCancelClick);
}

void TfrmMultiFiles::SetFiles(const QString& folder, const QStringList& names) {
  folder_ = folder;
  names_ = names;
  QString shown = QDir::toNativeSeparators(folder);
  if (!shown.endsWith(QDir::separator())) shown += QDir::separator();
  FileLabel1->setPath(shown);
  TextListBox1->addItems(names);
}

void TfrmMultiFiles::SetTree(const QString& folder, const QString& mask) {
  SetFiles(folder, {});
  treeMask_ = mask;
  listTree_ = true;
}

void TfrmMultiFiles::ListTree() {
  running_ = true;
  sbtnDM->setEnabled(false);
  sbtnCancel->setText("Stop");
  QElapsedTimer painted;
  painted.start();
  QStringList found;
  const auto show = [&] {
    TextListBox1->addItems(found);
    found.clear();
    GroupBox1->setTitle("Selected records (" + QString::number(names_.size()) + ")");
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
      folder_, treeMask_, otherFileSystems,
      [&](const QString& name) {
        names_ << name;
        found << name;
        if (painted.elapsed() >= 100) show();
        return !stopAsked_;
      },
      [&](const QString& folder, const QString& why) { found << "[skipped, " + why + "] " + folder; });
  show();
  running_ = false;
  stopAsked_ = false;
  sbtnDM->setEnabled(!names_.isEmpty());
  sbtnCancel->setText("Exit");
}

void TfrmMultiFiles::SetRecords(const std::vector<uint32_t>& records, const QStringList& titles) {
  records_ = records;
  TextListBox1->addItems(titles);
}

void TfrmMultiFiles::SetMoveTargets(const QStringList& catalogs) {
  cbMove->addItems(catalogs);
  if (cbMove->count() > 0) cbMove->setCurrentIndex(0);
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
  if (!ProgressBar1->isVisible() && total > 1000) {
    ProgressBar1->setRange(0, (int)std::min<int64_t>(total, INT32_MAX));
    ProgressBar1->show();
    painted_.start();
  }
  if (ProgressBar1->isVisible() && (done == total || painted_.elapsed() >= 50)) {
    ProgressBar1->setValue((int)std::min<int64_t>(done, INT32_MAX));
    QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    painted_.restart();
  }
  return !stopAsked_;
}

void TfrmMultiFiles::sbtnDMClick() {
  if (running_) return;
  prompts::Prompts& p = prompts::Current();
  QString target;
  if (mode_ == BatchMode::Move) {
    // Only a catalog of the list is a target: a typed name that is none,
    // or an empty list, changes nothing.
    target = cbMove->currentText().trimmed();
    if (cbMove->count() == 0 || cbMove->findText(target, Qt::MatchExactly) < 0) {
      p.Message(this, prompts::Kind::Error,
                cbMove->count() == 0 ? QStringLiteral("There is no other catalog to move the records to.")
                                     : "\"" + target + "\" is not a catalog. Choose one of the list.");
      return;
    }
  }
  p.Beep();
  TDataModule1& dm = services_.DataModule();
  xbase::Table& t = dm.ApTable1;
  running_ = true;
  sbtnDM->setEnabled(false);
  sbtnCancel->setText("Stop");
  t.DisableControls();
  struct Resume {
    xbase::Table& t;
    ~Resume() { t.EnableControls(); }
  } resume{t};
  addfiles::PassResult r;
  const auto progress = [this](int64_t done, int64_t total) { return Progress(done, total); };
  try {
    if (mode_ == BatchMode::Add)
      r = addfiles::AddFiles(t, services_.CurrentCatalog(), folder_, names_, progress);
    else if (mode_ == BatchMode::Move)
      r = addfiles::MoveRecords(t, records_, target, progress);
    else
      r = addfiles::DeleteRecords(t, records_, progress);
  } catch (const xbase::Error& e) {
    running_ = false;
    p.Message(this, prompts::Kind::Error, QString::fromUtf8(e.what()));
  }
  running_ = false;
  // The counters from what the pass did: the shown catalog as the table
  // counts it, the whole database by the records added or deleted.
  const int64_t shown = t.RecordCount();
  const int64_t delta = mode_ == BatchMode::Add ? r.done : mode_ == BatchMode::Delete ? -r.done : 0;
  services_.SetCatalogRecordCount((int)shown);
  services_.SetTotalRecordCount(services_.TotalRecordCount() + (int)delta);
  // After an add the record added last is current, else the catalog's first.
  if (mode_ != BatchMode::Add || r.lastAdded == 0 || !t.GotoBookmark(xbase::Bookmark{r.lastAdded})) t.First();
  QString status = sbtnDM->text() + " complete.... ";
  if (r.stopped) status = " Stopped: " + QString::number(r.done) + (mode_ == BatchMode::Add ? " records added." : " records done.");
  services_.ShowStatus(status);
  if (!r.skipped.empty()) {
    QString text = QString::number(r.skipped.size()) + (r.skipped.size() == 1 ? " file was" : " files were") +
                   " not added:";
    for (size_t i = 0; i < r.skipped.size() && i < 20; ++i) text += "\n" + r.skipped[i].name + ": " + r.skipped[i].why;
    if (r.skipped.size() > 20) text += "\n...";
    p.Message(this, prompts::Kind::Warning, text);
  }
  if (!r.shortened.isEmpty()) {
    const qsizetype n = r.shortened.size();
    QString text = QString::number(n) + (n == 1 ? " title was" : " titles were") + " shortened to the " +
                   QString::number(store::kTitleWidth) + " bytes a title holds:";
    for (qsizetype i = 0; i < n && i < 20; ++i) text += "\n" + r.shortened[i];
    if (n > 20) text += "\n...";
    p.Message(this, prompts::Kind::Information, text);
  }
  accept();
}

void TfrmMultiFiles::sbtnCancelClick() {
  if (running_) {
    stopAsked_ = true;  // the pass stops before its next record
    return;
  }
  mode_ = BatchMode::Cancelled;
  QDialog::reject();
}

void TfrmMultiFiles::reject() {
  // The close box and Escape are Exit (or Stop while the pass runs).
  sbtnCancelClick();
}

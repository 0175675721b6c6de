#include "zipexpand.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "mainwindowservices.h"
#include "prompts.h"
#include "recordsession.h"
#include "settings.h"
#include "unzip.h"
#include "zipentries.h"
#include "zipseltxt.h"

namespace {

QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& title, QRadioButton*& no, QRadioButton*& yes,
                      const QString& noText = "No", const QString& yesText = "Yes") {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  no = new QRadioButton(noText, box);
  yes = new QRadioButton(yesText, box);
  auto* l = new QHBoxLayout(box);
  l->setContentsMargins(6, 2, 6, 2);
  l->addWidget(no);
  l->addWidget(yes);
  return box;
}

QString WithSeparator(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(u'/') && !folder.endsWith(QDir::separator())) folder += QDir::separator();
  return folder;
}

}  // namespace

TfrmZipExpand::TfrmZipExpand(MainWindowServices& services, QWidget* parent) : QDialog(parent), services_(services) {
  setObjectName("frmZipExpand");
  setWindowTitle("Zip File Archive");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  resize(634, 315);

  auto* panel2 = new QFrame(this);
  panel2->setObjectName("Panel2");
  archivePathLabel_ = new QLabel(panel2);
  archivePathLabel_->setObjectName("ZipFName");
  archivePathLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette navy = archivePathLabel_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  archivePathLabel_->setPalette(navy);
  archivePathLabel_->setMinimumWidth(100);
  archivePathLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  extractButton_ = new QToolButton(panel2);
  extractButton_->setObjectName("sbtnExtract");
  extractButton_->setText("Extract");
  exitButton_ = new QToolButton(panel2);
  exitButton_->setObjectName("sbtnExit");
  exitButton_->setText("Exit");
  for (QToolButton* b : {extractButton_, exitButton_}) b->setFixedSize(73, 25);
  auto* top = new QHBoxLayout(panel2);
  top->setContentsMargins(6, 4, 6, 4);
  top->addWidget(archivePathLabel_, 1);
  top->addWidget(extractButton_);
  top->addWidget(exitButton_);

  entries_ = new TZipEntries(this);
  entryGrid_ = new QTableView(this);
  entryGrid_->setObjectName("StringGrid2");
  entryGrid_->setModel(entries_);
  entryGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  entryGrid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  entryGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  entryGrid_->setWordWrap(false);
  entryGrid_->setShowGrid(true);
  entryGrid_->verticalHeader()->hide();
  entryGrid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  entryGrid_->verticalHeader()->setDefaultSectionSize(18);
  entryGrid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  entryGrid_->horizontalHeader()->setHighlightSections(false);
  const int widths[] = {328, 80, 80, 135};
  for (int c = 0; c < 4; ++c) entryGrid_->setColumnWidth(c, widths[c]);

  auto* panel1 = new QFrame(this);
  panel1->setObjectName("Panel1");
  progressBar_ = new QProgressBar(panel1);
  progressBar_->setObjectName("ProgressBar1");
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  browseButton_ = new QToolButton(panel1);
  browseButton_->setObjectName("sbtnBrowse");
  browseButton_->setText("Browse");
  browseButton_->setFixedSize(73, 25);
  auto* bottom = new QHBoxLayout(panel1);
  bottom->setContentsMargins(6, 2, 6, 2);
  auto* left = new QVBoxLayout;
  left->addWidget(progressBar_);
  left->addWidget(browseButton_, 0, Qt::AlignLeft);
  bottom->addLayout(left, 1);
  bottom->addWidget(RadioGroup(panel1, "RadioGroup1", "Expand Folders", expandNo_, expandYes_));
  bottom->addWidget(RadioGroup(panel1, "RadioGroup2", "Overwrite Existing", overwriteNo_, overwriteYes_));
  bottom->addWidget(
      RadioGroup(panel1, "RadioGroup3", "Extract Files", extractAll_, extractSelected_, "All", "Selected"));

  auto* status = new QFrame(this);
  status->setObjectName("StatusBar1");
  auto* panels = new QHBoxLayout(status);
  panels->setContentsMargins(2, 1, 2, 1);
  panels->setSpacing(2);
  const int panelWidths[] = {395, 90, 50};
  for (int i = 0; i < 3; ++i) {
    statusPanels_[i] = new QLabel(status);
    statusPanels_[i]->setFrameShape(QFrame::Panel);
    statusPanels_[i]->setFrameShadow(QFrame::Sunken);
    statusPanels_[i]->setMinimumWidth(i == 2 ? 150 : panelWidths[i]);
    statusPanels_[i]->setSizePolicy(i == 0 ? QSizePolicy::Ignored : QSizePolicy::Preferred, QSizePolicy::Preferred);
    panels->addWidget(statusPanels_[i], i == 0 ? 1 : 0);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(panel2);
  layout->addWidget(entryGrid_, 1);
  layout->addWidget(panel1);
  layout->addWidget(status);

  // The remembered folder, or the default when it is gone.
  TSettings& s = services_.Settings();
  QString folder = s.Read(settings::kZipStrtDir);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = settings::StringDefault(settings::kZipStrtDir);
  SetExtractionFolder(WithSeparator(folder));
  (s.Read(settings::kExpDirs) == 1 ? expandYes_ : expandNo_)->setChecked(true);
  (s.Read(settings::kOvrWrt) == 0 ? overwriteNo_ : overwriteYes_)->setChecked(true);
  (s.Read(settings::kExtAll) == 1 ? extractSelected_ : extractAll_)->setChecked(true);

  connect(extractButton_, &QToolButton::clicked, this, &TfrmZipExpand::sbtnExtractClick);
  connect(exitButton_, &QToolButton::clicked, this, &QDialog::close);
  connect(browseButton_, &QToolButton::clicked, this, &TfrmZipExpand::sbtnBrowseClick);
  connect(entryGrid_, &QTableView::doubleClicked, this, &TfrmZipExpand::StringGrid2DblClick);
}

TfrmZipExpand::~TfrmZipExpand() = default;

QString TfrmZipExpand::ArchivePath() const { return archivePathLabel_->text(); }

QString TfrmZipExpand::StatusText(int panel) const {
  return panel >= 0 && panel < 3 ? statusPanels_[panel]->text() : QString();
}

void TfrmZipExpand::SetExtractionFolder(const QString& folder) {
  extractionFolder_ = folder;
  statusPanels_[0]->setText("Expand to Folder: " + folder);
}

void TfrmZipExpand::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  services_.ApplyFlatButtons(this);
  ListArchive();
  // A problem with the archive is said once, in this window; the entries
  // listed before it stay in the grid.
  if (!listingError_.isEmpty())
    prompts::Current().Message(this, prompts::Kind::Warning, listingError_);
}

void TfrmZipExpand::ListArchive() {
  // The zip window opens on a stored record only; an engine error reading
  // it was shown, and lists nothing.
  const QString path = services_.Record().FilePath().value_or(QString());
  archivePathLabel_->setText(path);
  zip::Listing listing = zip::ListArchive(path);
  listingError_ = listing.error;
  entries_->SetEntries(std::move(listing.entries));
  statusPanels_[1]->setText("Files : " + QString::number(entries_->rowCount()));
  // The date column as wide as this locale's dates and times need.
  if (entries_->rowCount() > 0) {
    const QString sample = entries_->data(entries_->index(0, 3)).toString();
    entryGrid_->setColumnWidth(3, std::max(135, entryGrid_->fontMetrics().horizontalAdvance(sample) + 16));
  }
}

void TfrmZipExpand::sbtnBrowseClick() {
  const QString folder =
      prompts::Current().ChooseFolder(this, "Select a folder to extract the files in.", ExtractionFolder());
  if (folder.isEmpty()) return;
  SetExtractionFolder(WithSeparator(QDir::toNativeSeparators(folder)));
}

void TfrmZipExpand::sbtnExtractClick() {
  if (busy_) return;
  prompts::Prompts& p = prompts::Current();
  const QString archive = archivePathLabel_->text();
  if (archive.isEmpty() || !QFileInfo(archive).isFile()) {
    p.Message(this, prompts::Kind::Error, "Error: file not found: " + archive);
    return;
  }
  const bool dirNames = expandYes_->isChecked();
  const bool overwrite = overwriteYes_->isChecked();
  const bool all = extractAll_->isChecked();
  lastOverwrite_ = overwrite;
  const QString target = ExtractionFolder();
  if (target.isEmpty()) return;

  QStringList names;
  if (entries_->rowCount() == 0) {
    p.Message(this, prompts::Kind::Error, "Error - no files to extract");
  } else if (!all) {
    // The rows of the selected range, top to bottom.
    QList<int> rows;
    for (const QModelIndex& i : entryGrid_->selectionModel()->selectedRows()) rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    // The entries' stored names: the grid shows them in lower case, and
    // entries that differ only in letter case must not be taken together.
    for (int r : rows)
      if (r < (int)entries_->Entries().size()) names.append(entries_->Entries()[(size_t)r].name);
    // Nothing chosen extracts nothing: "Selected" never turns into "All".
    if (names.isEmpty()) {
      p.Message(this, prompts::Kind::Warning, "Error - no files selected");
      return;
    }
  }
  QApplication::processEvents();
  const int count = RunExtraction(target, names, dirNames, overwrite);
  if (count >= 0) statusPanels_[2]->setText(QString::number(count) + " files were extracted");
}

int TfrmZipExpand::RunExtraction(const QString& folder, const QStringList& names, bool dirNames, bool overwrite) {
  if (busy_) return -1;
  busy_ = true;
  cancel_ = false;
  prompts::Prompts& p = prompts::Current();
  zip::ExtractCallbacks callbacks;
  // The bar follows the bytes of the file being written.
  callbacks.progress = [&](zip::ExtractCallbacks::Step kind, const QString&, qint64 size) {
    const auto clamp = [](qint64 v) { return (int)std::clamp<qint64>(v, 0, INT_MAX); };
    switch (kind) {
      case zip::ExtractCallbacks::Step::FileStarts:
        progressBar_->setRange(0, std::max(1, clamp(size)));
        progressBar_->setValue(0);
        break;
      case zip::ExtractCallbacks::Step::Progress:
        progressBar_->setValue(std::min(clamp(size), progressBar_->maximum()));
        break;
      case zip::ExtractCallbacks::Step::FileEnds:
        progressBar_->setValue(progressBar_->maximum());
        break;
    }
    QApplication::processEvents();
    return !cancel_;
  };
  callbacks.message = [&](int code, const QString& message) {
    if (code > 0) {
      QString text = message;
      while (text.endsWith(u'\n') || text.endsWith(u'\r')) text.chop(1);
      p.Message(this, prompts::Kind::Warning,
                "Error Msg from DLL: " + text + "\r\n" + "This operation will be canceled.");
      cancel_ = true;
    }
    return !cancel_;
  };
  zip::ExtractOptions options;
  options.dirNames = dirNames;
  options.overwrite = overwrite;
  const zip::ExtractResult result = zip::Extract(archivePathLabel_->text(), folder, names, options, callbacks);
  if (!result.error.isEmpty()) p.Message(this, prompts::Kind::Warning, result.error);
  cancel_ = false;
  busy_ = false;
  if (closeWhenDone_) QMetaObject::invokeMethod(this, &QDialog::close, Qt::QueuedConnection);
  return result.extracted;
}

void TfrmZipExpand::StringGrid2DblClick() {
  if (busy_) return;
  const int row = entryGrid_->currentIndex().row();
  if (row < 0 || row >= entries_->rowCount()) return;
  TfrmZipSelTxt::ShowEntry(*this, services_, entries_->FileName(row), entries_->Entries()[(size_t)row]);
  // Back from the viewer: the archive is listed again, as it may have
  // changed meanwhile.
  if (isVisible()) ListArchive();
}

void TfrmZipExpand::closeEvent(QCloseEvent* event) {
  // An extraction in progress is told to stop; the window closes when it
  // has.
  if (busy_) {
    cancel_ = true;
    closeWhenDone_ = true;
    event->ignore();
    return;
  }
  TSettings& s = services_.Settings();
  s.Write(settings::kZipStrtDir, ExtractionFolder());
  s.Write(settings::kExpDirs, expandYes_->isChecked() ? 1 : 0);
  s.Write(settings::kOvrWrt, overwriteYes_->isChecked() ? 1 : 0);
  s.Write(settings::kExtAll, extractSelected_->isChecked() ? 1 : 0);
  QDialog::closeEvent(event);
}

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
#include "settings.h"
#include "unzip.h"
#include "zipentries.h"
#include "zipseltxt.h"

namespace {

// The choices the last Extract read; they outlive the window for the text
// viewer, which reuses the overwrite choice.
bool lastOverwrite = false;

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

bool TfrmZipExpand::LastOverwrite() { return lastOverwrite; }

TfrmZipExpand::TfrmZipExpand(MainWindowServices& services, QWidget* parent) : QDialog(parent), services_(services) {
  setObjectName("frmZipExpand");
  setWindowTitle("Zip File Archive");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  resize(634, 315);

  auto* panel2 = new QFrame(this);
  panel2->setObjectName("Panel2");
  ZipFName = new QLabel(panel2);
  ZipFName->setObjectName("ZipFName");
  ZipFName->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette navy = ZipFName->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  ZipFName->setPalette(navy);
  ZipFName->setMinimumWidth(100);
  ZipFName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  sbtnExtract = new QToolButton(panel2);
  sbtnExtract->setObjectName("sbtnExtract");
  sbtnExtract->setText("Extract");
  sbtnExit = new QToolButton(panel2);
  sbtnExit->setObjectName("sbtnExit");
  sbtnExit->setText("Exit");
  for (QToolButton* b : {sbtnExtract, sbtnExit}) b->setFixedSize(73, 25);
  auto* top = new QHBoxLayout(panel2);
  top->setContentsMargins(6, 4, 6, 4);
  top->addWidget(ZipFName, 1);
  top->addWidget(sbtnExtract);
  top->addWidget(sbtnExit);

  Entries = new TZipEntries(this);
  StringGrid2 = new QTableView(this);
  StringGrid2->setObjectName("StringGrid2");
  StringGrid2->setModel(Entries);
  StringGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid2->setSelectionMode(QAbstractItemView::ContiguousSelection);
  StringGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid2->setWordWrap(false);
  StringGrid2->setShowGrid(true);
  StringGrid2->verticalHeader()->hide();
  StringGrid2->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid2->verticalHeader()->setDefaultSectionSize(18);
  StringGrid2->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid2->horizontalHeader()->setHighlightSections(false);
  const int widths[] = {328, 80, 80, 135};
  for (int c = 0; c < 4; ++c) StringGrid2->setColumnWidth(c, widths[c]);

  auto* panel1 = new QFrame(this);
  panel1->setObjectName("Panel1");
  ProgressBar1 = new QProgressBar(panel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  sbtnBrowse = new QToolButton(panel1);
  sbtnBrowse->setObjectName("sbtnBrowse");
  sbtnBrowse->setText("Browse");
  sbtnBrowse->setFixedSize(73, 25);
  auto* bottom = new QHBoxLayout(panel1);
  bottom->setContentsMargins(6, 2, 6, 2);
  auto* left = new QVBoxLayout;
  left->addWidget(ProgressBar1);
  left->addWidget(sbtnBrowse, 0, Qt::AlignLeft);
  bottom->addLayout(left, 1);
  bottom->addWidget(RadioGroup(panel1, "RadioGroup1", "Expand Folders", ExpandNo, ExpandYes));
  bottom->addWidget(RadioGroup(panel1, "RadioGroup2", "Overwrite Existing", OverwriteNo, OverwriteYes));
  bottom->addWidget(RadioGroup(panel1, "RadioGroup3", "Extract Files", ExtractAll, ExtractSelected, "All", "Selected"));

  auto* status = new QFrame(this);
  status->setObjectName("StatusBar1");
  auto* panels = new QHBoxLayout(status);
  panels->setContentsMargins(2, 1, 2, 1);
  panels->setSpacing(2);
  const int panelWidths[] = {395, 90, 50};
  for (int i = 0; i < 3; ++i) {
    StatusPanel[i] = new QLabel(status);
    StatusPanel[i]->setFrameShape(QFrame::Panel);
    StatusPanel[i]->setFrameShadow(QFrame::Sunken);
    StatusPanel[i]->setMinimumWidth(i == 2 ? 150 : panelWidths[i]);
    StatusPanel[i]->setSizePolicy(i == 0 ? QSizePolicy::Ignored : QSizePolicy::Preferred, QSizePolicy::Preferred);
    panels->addWidget(StatusPanel[i], i == 0 ? 1 : 0);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(panel2);
  layout->addWidget(StringGrid2, 1);
  layout->addWidget(panel1);
  layout->addWidget(status);

  // The remembered folder, or the default when it is gone.
  TSettings& s = services_.Settings();
  QString folder = s.Read(settings::kZipStrtDir);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = settings::StringDefault(settings::kZipStrtDir);
  SetExtractionFolder(WithSeparator(folder));
  (s.Read(settings::kExpDirs) == 1 ? ExpandYes : ExpandNo)->setChecked(true);
  (s.Read(settings::kOvrWrt) == 0 ? OverwriteNo : OverwriteYes)->setChecked(true);
  (s.Read(settings::kExtAll) == 1 ? ExtractSelected : ExtractAll)->setChecked(true);

  connect(sbtnExtract, &QToolButton::clicked, this, &TfrmZipExpand::sbtnExtractClick);
  connect(sbtnExit, &QToolButton::clicked, this, &QDialog::close);
  connect(sbtnBrowse, &QToolButton::clicked, this, &TfrmZipExpand::sbtnBrowseClick);
  connect(StringGrid2, &QTableView::doubleClicked, this, &TfrmZipExpand::StringGrid2DblClick);
}

TfrmZipExpand::~TfrmZipExpand() = default;

void TfrmZipExpand::SetExtractionFolder(const QString& folder) {
  extractionFolder_ = folder;
  StatusPanel[0]->setText("Expand to Folder: " + folder);
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
  const QString path = services_.CurrentRecordPath();
  ZipFName->setText(path);
  zip::Listing listing = zip::ListArchive(path);
  listingError_ = listing.error;
  Entries->SetEntries(std::move(listing.entries));
  StatusPanel[1]->setText("Files : " + QString::number(Entries->rowCount()));
  // The date column as wide as this locale's dates and times need.
  if (Entries->rowCount() > 0) {
    const QString sample = Entries->data(Entries->index(0, 3)).toString();
    StringGrid2->setColumnWidth(3, std::max(135, StringGrid2->fontMetrics().horizontalAdvance(sample) + 16));
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
  const QString archive = ZipFName->text();
  if (archive.isEmpty() || !QFileInfo(archive).isFile()) {
    p.Message(this, prompts::Kind::Error, "Error: file not found: " + archive);
    return;
  }
  const bool dirNames = ExpandYes->isChecked();
  const bool overwrite = OverwriteYes->isChecked();
  const bool all = ExtractAll->isChecked();
  lastOverwrite = overwrite;
  const QString target = ExtractionFolder();
  if (target.isEmpty()) return;

  QStringList names;
  if (Entries->rowCount() == 0) {
    p.Message(this, prompts::Kind::Error, "Error - no files to extract");
  } else if (!all) {
    // The rows of the selected range, top to bottom.
    QList<int> rows;
    for (const QModelIndex& i : StringGrid2->selectionModel()->selectedRows()) rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    // The entries' stored names: the grid shows them in lower case, and
    // entries that differ only in letter case must not be taken together.
    for (int r : rows)
      if (r < (int)Entries->Entries().size()) names.append(Entries->Entries()[(size_t)r].name);
    // Nothing chosen extracts nothing: "Selected" never turns into "All".
    if (names.isEmpty()) {
      p.Message(this, prompts::Kind::Warning, "Error - no files selected");
      return;
    }
  }
  QApplication::processEvents();
  const int count = RunExtraction(target, names, dirNames, overwrite);
  if (count >= 0) StatusPanel[2]->setText(QString::number(count) + " files were extracted");
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
        ProgressBar1->setRange(0, std::max(1, clamp(size)));
        ProgressBar1->setValue(0);
        break;
      case zip::ExtractCallbacks::Step::Progress:
        ProgressBar1->setValue(std::min(clamp(size), ProgressBar1->maximum()));
        break;
      case zip::ExtractCallbacks::Step::FileEnds:
        ProgressBar1->setValue(ProgressBar1->maximum());
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
  const zip::ExtractResult result = zip::Extract(ZipFName->text(), folder, names, options, callbacks);
  if (!result.error.isEmpty()) p.Message(this, prompts::Kind::Warning, result.error);
  cancel_ = false;
  busy_ = false;
  if (closeWhenDone_) QMetaObject::invokeMethod(this, &QDialog::close, Qt::QueuedConnection);
  return result.extracted;
}

void TfrmZipExpand::StringGrid2DblClick() {
  if (busy_) return;
  const int row = StringGrid2->currentIndex().row();
  if (row < 0 || row >= Entries->rowCount()) return;
  TfrmZipSelTxt::ShowEntry(*this, services_, Entries->FileName(row), Entries->Entries()[(size_t)row]);
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
  s.Write(settings::kExpDirs, ExpandYes->isChecked() ? 1 : 0);
  s.Write(settings::kOvrWrt, OverwriteYes->isChecked() ? 1 : 0);
  s.Write(settings::kExtAll, ExtractSelected->isChecked() ? 1 : 0);
  QDialog::closeEvent(event);
}

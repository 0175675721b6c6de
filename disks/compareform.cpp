#include "compareform.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "datafiles.h"
#include "filefacts.h"
#include "mainwindowservices.h"
#include "prompts.h"

namespace {

using store::DiffKind;
constexpr DiffKind kKinds[] = {DiffKind::New, DiffKind::Changed, DiffKind::Missing, DiffKind::Moved};

// A list of up to 20 lines under its heading, "..." for the rest.
QString Listed(QString text, const std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size() && i < 20; ++i) text += "\n" + store::FromUtf8(lines[i]);
  if (lines.size() > 20) text += "\n...";
  return text;
}

}  // namespace

TfrmCompare::TfrmCompare(MainWindowServices& services, QWidget* parent)
    : QDialog(parent), services_(services), catalog_(services.CurrentCatalog()) {
  setObjectName("frmCompare");
  setWindowTitle("Compare " + catalog_ + " with Disk");
  resize(1100, 520);
  model_ = new disks::CompareModel(this);

  notConnected_ = new QLabel(this);
  notConnected_->setObjectName("NotConnected");
  notConnected_->setWordWrap(true);
  QPalette maroon = notConnected_->palette();
  maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
  notConnected_->setPalette(maroon);
  skipped_ = new QListWidget(this);
  skipped_->setObjectName("SkippedFolders");
  skipped_->setMaximumHeight(80);
  skipped_->setSelectionMode(QAbstractItemView::NoSelection);

  auto* kinds = new QHBoxLayout;
  for (const DiffKind kind : kKinds) {
    auto* box = new QCheckBox(this);
    box->setObjectName("chkbx" + disks::CompareModel::KindName(kind));
    box->setEnabled(false);
    connect(box, &QCheckBox::clicked, this, [this, kind, box] {
      // A click on a box of a kind partly ticked ticks all of it.
      model_->TickAll(kind, box->checkState() != Qt::Unchecked);
    });
    kindBoxes_[(size_t)kind] = box;
    kinds->addWidget(box);
  }
  counts_ = new QLabel(this);
  counts_->setObjectName("CompareCounts");
  kinds->addStretch(1);
  kinds->addWidget(counts_);

  grid_ = new QTableView(this);
  grid_->setObjectName("CompareGrid");
  grid_->setModel(model_);
  grid_->setSortingEnabled(true);
  grid_->horizontalHeader()->setSortIndicator(disks::CompareModel::Path, Qt::AscendingOrder);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setWordWrap(false);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
  QHeaderView* header = grid_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  const int widths[] = {24, 70, 280, 220, 90, 130, 90, 130};
  for (int c = 0; c < disks::CompareModel::ColumnCount; ++c) header->resizeSection(c, widths[c]);
  header->setStretchLastSection(true);  // no empty strip beside the last column

  progressText_ = new QLabel(this);
  progressText_->setObjectName("CompareProgress");
  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("CompareProgressBar");
  progressBar_->setMaximumWidth(200);
  progressBar_->setTextVisible(false);
  progressBar_->hide();

  applyButton_ = new QPushButton("Apply", this);
  applyButton_->setObjectName("btnApply");
  stopButton_ = new QPushButton("Stop", this);
  stopButton_->setObjectName("btnStop");
  closeButton_ = new QPushButton("Close", this);
  closeButton_->setObjectName("btnClose");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(progressText_, 1);
  buttons->addWidget(progressBar_);
  buttons->addWidget(applyButton_);
  buttons->addWidget(stopButton_);
  buttons->addWidget(closeButton_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notConnected_);
  layout->addWidget(skipped_);
  layout->addLayout(kinds);
  layout->addWidget(grid_, 1);
  layout->addLayout(buttons);
  notConnected_->hide();
  skipped_->hide();

  connect(applyButton_, &QPushButton::clicked, this, &TfrmCompare::btnApplyClick);
  connect(stopButton_, &QPushButton::clicked, this, &TfrmCompare::btnStopClick);
  connect(closeButton_, &QPushButton::clicked, this, &TfrmCompare::btnCloseClick);
  connect(model_, &disks::CompareModel::TicksChanged, this, &TfrmCompare::ShowCounts);
  tick_.setInterval(100);
  connect(&tick_, &QTimer::timeout, this, &TfrmCompare::ShowProgress);

  // A catalogue that cannot be written is compared, never changed.
  if (const QString why = services_.Disks().ReadOnly(); !why.isEmpty()) applyButton_->setToolTip(why);
  stopButton_->setEnabled(false);
  ShowCounts();
}

TfrmCompare::~TfrmCompare() = default;

void TfrmCompare::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  services_.ApplyFlatButtons(this);
  if (!compared_) {
    compared_ = true;
    QTimer::singleShot(0, this, &TfrmCompare::Compare);
  }
}

void TfrmCompare::BeginRun(const QString& what) {
  running_ = true;
  runText_ = what;
  state_.done = 0;
  state_.total = 0;
  state_.stop = false;
  applyButton_->setEnabled(false);
  stopButton_->setEnabled(true);
  for (QCheckBox* box : kindBoxes_) box->setEnabled(false);
  progressBar_->setRange(0, 0);
  progressBar_->show();
  ShowProgress();
  tick_.start();
}

void TfrmCompare::EndRun() {
  tick_.stop();
  running_ = false;
  progressBar_->hide();
  stopButton_->setEnabled(false);
  ShowCounts();
}

void TfrmCompare::ShowProgress() {
  // What the walk has met so far shows while it goes on.
  model_->AppendFound(state_.TakeFound());
  const QLocale locale;
  const uint64_t done = state_.done, total = state_.total;
  QString text = runText_ + " " + locale.toString((qulonglong)done);
  text += total > 0 ? " of " + locale.toString((qulonglong)total) + " entries" : QStringLiteral(" files looked at");
  if (state_.stop) text += QStringLiteral(" - stopping...");
  progressText_->setText(text);
  if (total > 0) {
    progressBar_->setRange(0, 1000);
    progressBar_->setValue((int)(done * 1000 / total));
  }
}

void TfrmCompare::Compare() {
  if (running_) return;
  model_->Clear();
  BeginRun(QStringLiteral("Comparing:"));
  const disks::CompareOutcome out = services_.Disks().Compare(catalog_, state_);
  EndRun();
  ShowResult(out.diff);
  const QLocale locale;
  QString text = locale.toString((qulonglong)out.diff.filesSeen) + " files looked at, " +
                 locale.toString((qulonglong)out.diff.recordsCompared) + " records compared.";
  if (out.diff.stopped) text = "Stopped: " + text;
  progressText_->setText(text);
  if (!out.error.isEmpty())
    prompts::Current().Message(this, prompts::Kind::Error, "The compare did not end: " + out.error);
  else if (!out.diff.error.empty())
    prompts::Current().Message(this, prompts::Kind::Warning, "The compare stopped short: " + store::FromUtf8(out.diff.error));
  if (closeAsked_) QDialog::reject();
}

void TfrmCompare::ShowResult(const store::DiffResult& diff) {
  QStringList labels;
  for (const std::string& label : diff.notConnected) labels << store::FromUtf8(label);
  notConnected_->setText(labels.isEmpty() ? QString() : "Not connected, not compared: " + labels.join(QStringLiteral(", ")));
  notConnected_->setVisible(!labels.isEmpty());
  skipped_->clear();
  for (const disk::WalkSkip& s : diff.skipped)
    skipped_->addItem(store::FromUtf8(s.path) + " - " + store::FromUtf8(s.reason));
  skipped_->setVisible(!diff.skipped.empty());
  model_->SetEntries(diff.entries);
  // The grid keeps the order the user chose.
  const QHeaderView* header = grid_->horizontalHeader();
  model_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

void TfrmCompare::ShowCounts() {
  int entries = 0;
  for (const DiffKind kind : kKinds) {
    QCheckBox* box = kindBoxes_[(size_t)kind];
    const int count = model_->Count(kind), ticked = model_->Ticked(kind);
    entries += count;
    box->setText(disks::CompareModel::KindName(kind) + ": " + QString::number(count));
    if (ticked > 0 && ticked < count) {
      box->setCheckState(Qt::PartiallyChecked);
    } else {
      box->setTristate(false);
      box->setChecked(count > 0 && ticked == count);
    }
    box->setEnabled(!running_ && count > 0);
  }
  const int ticked = model_->TickedTotal();
  counts_->setText(model_->Provisional() ? QLocale().toString(entries) + " found so far"
                                         : QString::number(ticked) + " of " + QString::number(entries) + " ticked");
  applyButton_->setEnabled(!running_ && ticked > 0 && services_.Disks().ReadOnly().isEmpty());
}

void TfrmCompare::btnApplyClick() {
  if (running_ || !services_.Disks().ReadOnly().isEmpty()) return;
  std::vector<store::DiffEntry> chosen = model_->TickedEntries();
  if (chosen.empty()) return;
  const int missing = model_->Ticked(DiffKind::Missing);
  if (missing > 0 &&
      prompts::Current().Message(this, prompts::Kind::Confirmation,
                                 "The records of " + QString::number(missing) +
                                     (missing == 1 ? " missing file" : " missing files") + " will be deleted. Go on?",
                                 prompts::Yes | prompts::No, prompts::No) != prompts::Yes)
    return;
  // The texts a record keeps of its file, in this window's locale, as an
  // add of files writes them.
  store::RefreshTexts texts;
  const QLocale locale = this->locale();
  texts.size = [locale](int64_t size) { return store::ToUtf8(browse::FormatFileSize(size, locale)); };
  texts.date = [locale](int64_t seconds) { return store::ToUtf8(disks::CompareModel::DateText(seconds, locale)); };
  // The ticks are what is being applied: they stay as they are meanwhile.
  grid_->setEnabled(false);
  BeginRun(QStringLiteral("Applying:"));
  const disks::ApplyOutcome out = services_.Disks().Apply(catalog_, chosen, texts, state_);
  EndRun();
  grid_->setEnabled(true);
  const store::RefreshResult& r = out.refresh;
  QString done = QString::number(r.added) + " added, " + QString::number(r.updated) + " updated, " +
                 QString::number(r.followed) + " followed, " + QString::number(r.deleted) + " deleted";
  services_.ShowStatus((r.stopped ? " Stopped: " : " Refresh complete: ") + done + "...");
  if (!out.error.isEmpty()) prompts::Current().Message(this, prompts::Kind::Error, out.error);
  if (!r.problems.empty())
    prompts::Current().Message(this, prompts::Kind::Warning,
                               Listed(QString::number(r.problems.size()) +
                                          (r.problems.size() == 1 ? " entry was" : " entries were") + " not applied:",
                                      r.problems));
  if (closeAsked_) {
    QDialog::reject();
    return;
  }
  // What is left to do, as the disk and the catalog are now.
  Compare();
}

void TfrmCompare::btnStopClick() {
  if (running_) state_.stop = true;
}

void TfrmCompare::btnCloseClick() { reject(); }

void TfrmCompare::reject() {
  // A run is stopped first; the window closes when it has ended.
  if (running_) {
    state_.stop = true;
    closeAsked_ = true;
    return;
  }
  QDialog::reject();
}

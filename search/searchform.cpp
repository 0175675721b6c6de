#include "searchform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "commandguard.h"
#include "datafiles.h"
#include "datamodule.h"
#include "mainwindowservices.h"
#include "prompts.h"
#include "schema.h"
#include "searchmatch.h"
#include "searchresults.h"

TfrmSearch::TfrmSearch(MainWindowServices& services, QWidget* parent) : QDialog(parent), services_(services) {
  setObjectName("frmSearch");
  setWindowTitle("Search ");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_DeleteOnClose);
  resize(637, 239);

  RadioButton1 = new QRadioButton("File Name", this);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("File Title", this);
  RadioButton2->setObjectName("RadioButton2");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Label2 = new QLabel("Files found", this);
  Label2->setObjectName("Label2");
  Label3 = new QLabel(this);
  Label3->setObjectName("Label3");
  QPalette navy = Label3->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label3->setPalette(navy);
  Label3->setMinimumWidth(60);
  sbtnSearch = new QToolButton(this);
  sbtnSearch->setObjectName("sbtnSearch");
  sbtnSearch->setText("Search");
  sbtnExit = new QToolButton(this);
  sbtnExit->setObjectName("sbtnExit");
  sbtnExit->setText("Exit");
  for (QToolButton* b : {sbtnSearch, sbtnExit}) b->setFixedSize(73, 25);

  Results = new TSearchResults(this);
  StringGrid1 = new QTableView(this);
  StringGrid1->setObjectName("StringGrid1");
  StringGrid1->setModel(Results);
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setFocusPolicy(Qt::ClickFocus);
  StringGrid1->setWordWrap(false);
  StringGrid1->setShowGrid(true);
  // The narrow fixed column at the left is the row header, empty.
  StringGrid1->setColumnHidden(0, true);
  StringGrid1->verticalHeader()->setFixedWidth(12);
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->verticalHeader()->setDefaultSectionSize(18);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->horizontalHeader()->setHighlightSections(false);
  const int widths[] = {12, 99, 300, 310, 65, 120};
  for (int c = 1; c < 6; ++c) StringGrid1->setColumnWidth(c, widths[c]);

  auto* top = new QHBoxLayout;
  auto* radios = new QVBoxLayout;
  radios->setSpacing(0);
  radios->addWidget(RadioButton1);
  radios->addWidget(RadioButton2);
  top->addLayout(radios);
  top->addWidget(Edit1, 1);
  top->addWidget(Label2);
  top->addWidget(Label3);
  top->addWidget(sbtnSearch);
  top->addWidget(sbtnExit);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(top);
  layout->addWidget(StringGrid1, 1);

  setTabOrder(RadioButton1, RadioButton2);
  setTabOrder(RadioButton2, Edit1);
  setTabOrder(Edit1, sbtnSearch);
  setTabOrder(sbtnSearch, sbtnExit);

  // Choosing the field puts the cursor into the search text.
  for (QRadioButton* r : {RadioButton1, RadioButton2})
    connect(r, &QRadioButton::clicked, this, [this] { Edit1->setFocus(); });
  connect(Edit1, &QLineEdit::returnPressed, this, &TfrmSearch::sbtnSearchClick);
  connect(sbtnSearch, &QToolButton::clicked, this, &TfrmSearch::sbtnSearchClick);
  connect(sbtnExit, &QToolButton::clicked, this, &TfrmSearch::sbtnExitClick);
  connect(StringGrid1, &QTableView::doubleClicked, this, &TfrmSearch::StringGrid1DblClick);
}

void TfrmSearch::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  services_.ApplyFlatButtons(this);
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  Edit1->setFocus();
}

void TfrmSearch::sbtnSearchClick() {
  if (searching_) return;
  searching_ = true;
  const char* field = RadioButton1->isChecked() ? store::kFieldName : store::kFieldTitle;
  const search::TextMatcher matches(Edit1->text());
  xbase::Table& t = services_.DataModule().ApTable3;
  std::vector<uint32_t> hits;
  sbtnSearch->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ran = command::Run(prompts::Current(), this, {&t}, [&] {
    // Every catalog: the cursor without a query, whatever one it had.
    if (!t.Active()) t.Open();
    if (!t.Query().empty()) t.SetQuery("");
    if (matches.Empty()) return;  // an empty text occurs nowhere
    QElapsedTimer painted;
    painted.start();
    hits = t.FindWhere(field, [&](std::string_view text) { return matches(text); },
                       [&](double) {
                         // The window stays painted through a long pass.
                         if (painted.elapsed() >= 50) {
                           QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                           painted.restart();
                         }
                         return true;
                       });
  });
  QApplication::restoreOverrideCursor();
  sbtnSearch->setEnabled(true);
  searching_ = false;
  if (!ran) return;
  Results->SetHits(&t, std::move(hits));
  Label3->setText(QString::number(Results->HitCount()));
  StringGrid1->scrollToTop();
}

void TfrmSearch::StringGrid1DblClick() {
  const QModelIndex current = StringGrid1->currentIndex();
  if (!current.isValid()) return;
  const int row = current.row();
  services_.ShowRecord(Results->Text(row, 1), Results->RecordAt(row));
}

void TfrmSearch::sbtnExitClick() { close(); }

void TfrmSearch::CloseTable() {
  xbase::Table& t = services_.DataModule().ApTable3;
  Results->Clear();
  try {
    if (t.Active()) t.Close();
  } catch (const std::exception&) {
  }
}

void TfrmSearch::closeEvent(QCloseEvent* event) {
  CloseTable();
  QDialog::closeEvent(event);
}

void TfrmSearch::done(int result) {
  CloseTable();
  QDialog::done(result);
}

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

#include "mainwindowservices.h"
#include "prompts.h"
#include "searchcontroller.h"

TfrmSearch::TfrmSearch(MainWindowServices& services, QWidget* parent)
    : QDialog(parent),
      services_(services),
      controller_(std::make_unique<search::SearchController>(services.Search())) {
  setObjectName("frmSearch");
  setWindowTitle("Search ");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_DeleteOnClose);
  resize(637, 239);

  byPath_ = new QRadioButton("File Name", this);
  byPath_->setObjectName("RadioButton1");
  byPath_->setChecked(true);
  byTitle_ = new QRadioButton("File Title", this);
  byTitle_->setObjectName("RadioButton2");
  searchText_ = new QLineEdit(this);
  searchText_->setObjectName("Edit1");
  foundCaption_ = new QLabel("Files found", this);
  foundCaption_->setObjectName("Label2");
  hitCount_ = new QLabel(this);
  hitCount_->setObjectName("Label3");
  QPalette navy = hitCount_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  hitCount_->setPalette(navy);
  hitCount_->setMinimumWidth(60);
  searchButton_ = new QToolButton(this);
  searchButton_->setObjectName("sbtnSearch");
  searchButton_->setText("Search");
  exitButton_ = new QToolButton(this);
  exitButton_->setObjectName("sbtnExit");
  exitButton_->setText("Exit");
  for (QToolButton* b : {searchButton_, exitButton_}) b->setFixedSize(73, 25);

  hitGrid_ = new QTableView(this);
  hitGrid_->setObjectName("StringGrid1");
  hitGrid_->setModel(&controller_->Results());
  hitGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  hitGrid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  hitGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  hitGrid_->setFocusPolicy(Qt::ClickFocus);
  hitGrid_->setWordWrap(false);
  hitGrid_->setShowGrid(true);
  // The narrow fixed column at the left is the row header, empty.
  hitGrid_->setColumnHidden(0, true);
  hitGrid_->verticalHeader()->setFixedWidth(12);
  hitGrid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  hitGrid_->verticalHeader()->setDefaultSectionSize(18);
  hitGrid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  hitGrid_->horizontalHeader()->setHighlightSections(false);
  const int widths[] = {12, 99, 300, 310, 65, 120};
  for (int c = 1; c < 6; ++c) hitGrid_->setColumnWidth(c, widths[c]);

  auto* top = new QHBoxLayout;
  auto* radios = new QVBoxLayout;
  radios->setSpacing(0);
  radios->addWidget(byPath_);
  radios->addWidget(byTitle_);
  top->addLayout(radios);
  top->addWidget(searchText_, 1);
  top->addWidget(foundCaption_);
  top->addWidget(hitCount_);
  top->addWidget(searchButton_);
  top->addWidget(exitButton_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(top);
  layout->addWidget(hitGrid_, 1);

  setTabOrder(byPath_, byTitle_);
  setTabOrder(byTitle_, searchText_);
  setTabOrder(searchText_, searchButton_);
  setTabOrder(searchButton_, exitButton_);

  // Choosing the field puts the cursor into the search text.
  for (QRadioButton* r : {byPath_, byTitle_})
    connect(r, &QRadioButton::clicked, this, [this] { searchText_->setFocus(); });
  connect(searchText_, &QLineEdit::returnPressed, this, &TfrmSearch::sbtnSearchClick);
  connect(searchButton_, &QToolButton::clicked, this, &TfrmSearch::sbtnSearchClick);
  connect(exitButton_, &QToolButton::clicked, this, &TfrmSearch::sbtnExitClick);
  connect(hitGrid_, &QTableView::doubleClicked, this, &TfrmSearch::StringGrid1DblClick);
}

void TfrmSearch::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  services_.ApplyFlatButtons(this);
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  searchText_->setFocus();
}

TfrmSearch::~TfrmSearch() {
  // The grid lets go of the controller's rows before they go.
  hitGrid_->setModel(nullptr);
}

void TfrmSearch::sbtnSearchClick() {
  if (controller_->Searching()) return;
  searchButton_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QElapsedTimer painted;
  painted.start();
  const search::SearchRun run =
      controller_->Search(searchText_->text(), byPath_->isChecked() ? search::Field::Path : search::Field::Title, [&] {
        // The window stays painted through a long pass.
        if (painted.elapsed() >= 50) {
          QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
          painted.restart();
        }
      });
  if (!run.error.isEmpty()) prompts::Current().Message(this, prompts::Kind::Error, run.error);
  QApplication::restoreOverrideCursor();
  searchButton_->setEnabled(true);
  if (!run.ran) return;
  hitCount_->setText(controller_->CountText());
  hitGrid_->scrollToTop();
}

void TfrmSearch::StringGrid1DblClick() {
  const QModelIndex current = hitGrid_->currentIndex();
  if (!current.isValid()) return;
  const search::HitRecord hit = controller_->RecordOfRow(current.row());
  services_.ShowRecord(hit.catalog, hit.recno);
}

void TfrmSearch::sbtnExitClick() { close(); }

void TfrmSearch::closeEvent(QCloseEvent* event) {
  controller_->End();
  QDialog::closeEvent(event);
}

void TfrmSearch::done(int result) {
  controller_->End();
  QDialog::done(result);
}

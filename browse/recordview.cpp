// The catalog tabs and the record view of the main window: which catalog is
// shown, the detail panel with its file check, and how the commands follow
// the current record and the edit state.
#include <QFileInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTabBar>

#include "catalog.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "mainwindow.h"
#include "pathlabel.h"
#include "volumes.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);

QString Field(const xbase::Table& t, const char* name) { return store::FromUtf8(t.FieldByName(name)); }

bool Editing(const xbase::Table& t) {
  return t.GetState() == xbase::State::Edit || t.GetState() == xbase::State::Insert;
}

void SetEnabledOf(QObject* o, bool on) {
  if (auto* w = qobject_cast<QWidget*>(o))
    w->setEnabled(on);
  else if (auto* a = qobject_cast<QAction*>(o))
    a->setEnabled(on);
}

}  // namespace

void TfrmVantrell::LoadCatalogTabs() {
  Label4->setText(QString::number(dm_.ApTable1.RecordCount()));
  TabControl1->blockSignals(true);
  while (TabControl1->count() > 0) TabControl1->removeTab(0);
  xbase::Table& names = dm_.ApTable2;
  if (names.RecordCount() == 0) {
    TabControl1->addTab("Temporary");
    names.Insert();
    names.SetFieldByName(store::kFieldCatalog, "Temporary");
    names.Post();
    names.Refresh();
  } else {
    names.First();
    int added = 0;
    while (!names.Eof()) {
      if (added < kMaxCatalogs) {
        TabControl1->addTab(Field(names, store::kFieldCatalog));
        ++added;
      }
      names.Next();
    }
  }
  TabControl1->setCurrentIndex(0);
  TabControl1->blockSignals(false);
}

QString TfrmVantrell::CurrentCatalog() const {
  int i = TabControl1->currentIndex();
  return i >= 0 ? TabControl1->tabText(i) : QString();
}

void TfrmVantrell::SelectCatalog(const QString& name) {
  xbase::Table& t = dm_.ApTable1;
  t.SetQuery(store::CatalogQueryUtf8(store::ToUtf8(name)));
  Label6->setText(QString::number(t.QueryRecCount()));
  RxDBGrid1->Reset();
  t.Refresh();
}

void TfrmVantrell::TabControl1Change() {
  xbase::Table& t = dm_.ApTable1;
  if (Editing(t)) t.Cancel();
  SelectCatalog(CurrentCatalog());
  RxDBGrid1->setFocus();
}

void TfrmVantrell::SelectTab(int index) {
  TabControl1->blockSignals(true);
  TabControl1->setCurrentIndex(index);
  TabControl1->blockSignals(false);
  TabControl1Change();
}

bool TfrmVantrell::IsDriveReady(QChar drive) {
  QChar d = drive.toUpper();
  if (d < 'A' || d > 'Z') throw std::runtime_error("Not a valid drive ID.");
  return volumes::IsReady(QString(d) + ":\\");
}

void TfrmVantrell::ShowVolumeLabel() {
  QString root = volumes::RootOf(FileLabel1->path());
  StatusPanel[1]->setText(root.isEmpty() ? QString() : volumes::Label(root));
}

void TfrmVantrell::ShowRecordFields() {
  const xbase::Table& t = dm_.ApTable1;
  dbtxtCreated->setText(Field(t, "FLDATE"));
  if (!DBMemo1->hasFocus() || !Editing(t)) {
    memoUpdating_ = true;
    QString text = Field(t, "FLDESC");
    if (DBMemo1->toPlainText() != text) DBMemo1->setPlainText(text);
    memoUpdating_ = false;
  }
}

void TfrmVantrell::DataSource1DataChange(const QString& field) {
  xbase::Table& t = dm_.ApTable1;
  // A change of one field of the record being edited only refreshes what
  // shows that field.
  if (!field.isEmpty()) {
    ShowRecordFields();
    return;
  }
  QString path = Field(t, "FLNAME");
  FileLabel1->setPath(path);
  QString size = Field(t, "FLSIZE");
  Label8->setText(size.isEmpty() ? QString() : size + " bytes");
  ShowRecordFields();

  filePresent_ = true;
  StatusPanel[0]->setText(QString());
  QColor colour = kNavy;
  if (!path.isEmpty() && !dm_.Packing) {
    QString root = volumes::RootOf(path);
    volumes::DriveType type = root.isEmpty() ? volumes::DriveType::Unknown : volumes::TypeOf(root);
    bool exists = QFileInfo::exists(path);
    if (type == volumes::DriveType::Removable || type == volumes::DriveType::CDRom) {
      bool ready = volumes::HasDriveLetter(path) ? IsDriveReady(path.at(0)) : volumes::IsReady(root);
      if (!(ready && exists)) {
        filePresent_ = false;
        StatusPanel[0]->setText("File not found or No disk in drive.");
        colour = kMaroon;
      }
    } else if (!exists) {
      filePresent_ = false;
      StatusPanel[0]->setText("File not found.");
      colour = kMaroon;
    }
  }
  QPalette pal = Panel3->palette();
  pal.setColor(QPalette::WindowText, colour);
  Panel3->setPalette(pal);

  for (QObject* o : TaggedComponents())
    if (o->property("tag").toInt() == 4) SetEnabledOf(o, filePresent_);

  bool zip = path.toLower().contains(".zip") && filePresent_;
  sbtnZipArch->setEnabled(zip);
  mnuVuZip->setEnabled(zip);

  if (!t.IsEmpty() && !FileLabel1->path().isEmpty()) ShowVolumeLabel();
  RxDBGrid1->SyncToMaster();
}

void TfrmVantrell::DataSource1StateChange() {
  const xbase::Table& t = dm_.ApTable1;
  bool editing = Editing(t);
  for (QObject* o : TaggedComponents()) {
    int tag = o->property("tag").toInt();
    if (tag == 1) {
      if (o == RxDBGrid1)
        RxDBGrid1->SetReadOnly(!editing);
      else if (o == DBMemo1)
        DBMemo1->setReadOnly(!editing);
      else
        SetEnabledOf(o, !editing);
    } else if (tag == 2) {
      SetEnabledOf(o, editing);
    } else if (tag == 3 && !editing) {
      if (auto* b = qobject_cast<QToolButton*>(o)) b->setChecked(false);
    }
  }
  StatusPanel[2]->setText(QString::fromUtf8(xbase::StateName(t.GetState())) + " mode...");
  RxDBGrid1->viewport()->update();
  RxDBGrid1->verticalHeader()->viewport()->update();
}

void TfrmVantrell::DataSource2DataChange(const QString&) {
  int64_t n = dm_.ApTable2.RecordCount();
  mnuDelCat->setEnabled(n != 1);
  mnuAddCat->setEnabled(n != kMaxCatalogs);
}

void TfrmVantrell::RxDBGrid1TitleBtnClick(int column) {
  xbase::Table& t = dm_.ApTable1;
  if (Editing(t) && column == 0) {
    t.Cancel();
    return;
  }
  auto firstChar = [&](bool& has) {
    QString title = Field(t, "FLTITLE");
    has = !title.isEmpty();
    return has ? title.at(0) : QChar();
  };
  bool hasC;
  QChar c = firstChar(hasC);
  t.DisableControls();
  struct Resume {
    xbase::Table& t;
    ~Resume() { t.EnableControls(); }
  } resume{t};
  int64_t n = t.RecordCount() + 1;
  for (int64_t i = 0; i < n; ++i) {
    bool hasD;
    QChar d = firstChar(hasD);
    if (hasD != hasC || d != c) return;  // this record becomes current
    t.Next();
    if (t.Eof()) {
      t.First();
      return;
    }
  }
}

void TfrmVantrell::GridRowChosen(int row) {
  xbase::Table& t = dm_.ApTable1;
  if (row < 0) return;
  if (t.RecordIndex() == row) return;
  t.MoveToIndex(row);
}

void TfrmVantrell::MemoEdited() {
  if (memoUpdating_) return;
  xbase::Table& t = dm_.ApTable1;
  if (!Editing(t)) return;
  t.SetFieldByName("FLDESC", store::ToUtf8(DBMemo1->toPlainText()));
}

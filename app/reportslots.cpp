// The catalog and record reports of the main window.
#include <QAction>
#include <QDate>
#include <QFileInfo>
#include <QLabel>

#include "cataloglayout.h"
#include "catalog.h"
#include "datafiles.h"
#include "datamodule.h"
#include "filecheck.h"
#include "mainwindow.h"
#include "schema.h"

namespace {

// What a report prints of the current record of `t`.
reports::Row RowOf(const xbase::Table& t) {
  reports::Row row;
  row.title = store::FromUtf8(t.FieldByName(store::kFieldTitle));
  row.path = store::FromUtf8(t.FieldByName(store::kFieldName));
  row.size = store::FromUtf8(t.FieldByName(store::kFieldSize));
  row.date = store::FromUtf8(t.FieldByName(store::kFieldDate));
  // Out of reach: on a drive that is not ready, or no file at the path.
  const bool drive = row.path.size() >= 2 && row.path[1] == u':' && row.path[0].isLetter();
  row.reachable = (!drive || browse::IsDriveReady(row.path[0])) && !row.path.isEmpty() && QFileInfo::exists(row.path);
  return row;
}

}  // namespace

reports::Options TfrmVantrell::ReportOptions() const {
  reports::Options o;
  o.full = mnuFull->isChecked();
  o.shaded = mnuShaded->isChecked();
  o.box = mnuHdrFtrBox->isChecked();
  o.binder = mnuLftMrgn->isChecked();
  return o;
}

void TfrmVantrell::sbtnCatRptClick() {
  if (CatalogRecordCount() <= 0) return;
  const QString catalog = CurrentCatalog(), count = QString::number(CatalogRecordCount());
  const reports::Options options = ReportOptions();
  xbase::Table& t = dm_.ApTable3;
  // The report reads its own cursor: the window's record stays where it is.
  RunCommand([&] {
    if (!t.Active()) t.Open();
    t.SetQuery(store::CatalogQueryUtf8(store::ToUtf8(catalog)));
    struct Close {
      xbase::Table& t;
      ~Close() {
        try {
          t.Close();
        } catch (...) {
        }
      }
    } close{t};
    ReportSystem1.Execute(this, [&](report::TReport& r) {
      // A preview may ask for the pages more than once.
      bool first = true;
      reports::PrintCatalogReport(
          r, options, catalog, count,
          [&](reports::Row& row) {
            if (first) {
              t.First();
              first = false;
            } else {
              t.Next();
            }
            if (t.Eof() || t.RecNo() == 0) return false;
            row = RowOf(t);
            row.description = options.full ? store::FromUtf8(t.FieldByName(store::kFieldDesc)) : QString();
            return true;
          },
          QDate::currentDate());
    });
  });
}

void TfrmVantrell::sbtnRecRptClick() {
  if (CatalogRecordCount() <= 0) return;
  xbase::Table& t = dm_.ApTable1;
  if (t.RecNo() == 0) return;
  const QString catalog = CurrentCatalog();
  const reports::Options options = ReportOptions();
  RunCommand([&] {
    reports::Row row = RowOf(t);
    row.description = store::FromUtf8(t.FieldByName(store::kFieldDesc));
    ReportSystem2.Execute(this, [&](report::TReport& r) { reports::PrintRecordReport(r, options, catalog, row); });
  });
}

#include "reportcommands.h"

#include <QDate>
#include <QFileInfo>

#include "cataloglayout.h"
#include "catalog.h"
#include "datafiles.h"
#include "datamodule.h"
#include "filecheck.h"
#include "catalogtabs.h"
#include "maincontext.h"
#include "settings.h"
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

TReportCommands::TReportCommands(MainContext& context, TCatalogTabs& tabs) : context_(context), tabs_(tabs) {}

void TReportCommands::LoadOptions() {
  TSettings& s = context_.settings;
  options_.full = s.Read(settings::kFullShort);
  options_.box = s.Read(settings::kHdrBox);
  options_.shaded = s.Read(settings::kShaded);
  options_.binder = s.Read(settings::kLMBO);
}

void TReportCommands::mnuFullClick(bool on) {
  options_.full = on;
  context_.settings.Write(settings::kFullShort, on);
}

void TReportCommands::mnuShadedClick(bool on) {
  options_.shaded = on;
  context_.settings.Write(settings::kShaded, on);
}

void TReportCommands::mnuHdrFtrBoxClick(bool on) {
  options_.box = on;
  context_.settings.Write(settings::kHdrBox, on);
}

void TReportCommands::mnuLftMrgnClick(bool on) {
  options_.binder = on;
  context_.settings.Write(settings::kLMBO, on);
}

void TReportCommands::sbtnCatRptClick() {
  if (context_.dm.Counts.Catalog() <= 0) return;
  const QString catalog = tabs_.CurrentCatalog(), count = QString::number(context_.dm.Counts.Catalog());
  const reports::Options options = options_;
  xbase::Table& t = context_.dm.ApTable3;
  // The report reads its own cursor: the window's record stays where it is.
  context_.Run([&] {
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
    ReportSystem1.Execute(context_.boxParent, [&](report::TReport& r) {
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

void TReportCommands::sbtnRecRptClick() {
  if (context_.dm.Counts.Catalog() <= 0) return;
  xbase::Table& t = context_.dm.ApTable1;
  if (t.RecNo() == 0) return;
  const QString catalog = tabs_.CurrentCatalog();
  const reports::Options options = options_;
  context_.Run([&] {
    reports::Row row = RowOf(t);
    row.description = store::FromUtf8(t.FieldByName(store::kFieldDesc));
    ReportSystem2.Execute(context_.boxParent, [&](report::TReport& r) { reports::PrintRecordReport(r, options, catalog, row); });
  });
}

// The catalog report and the record report, with their options
// (Reports > Options), kept between runs.
#pragma once

#include "cataloglayout.h"
#include "reportsystem.h"

class MainContext;
class TCatalogTabs;

class TReportCommands {
 public:
  TReportCommands(MainContext& context, TCatalogTabs& tabs);

  // The options as the settings hold them (read at start).
  void LoadOptions();
  const reports::Options& Options() const { return options_; }

  void sbtnCatRptClick();
  void sbtnRecRptClick();
  void mnuFullClick(bool on);
  void mnuShadedClick(bool on);
  void mnuHdrFtrBoxClick(bool on);
  void mnuLftMrgnClick(bool on);

  // The report systems of the catalog and the record report: their
  // destination and setup dialog.
  report::TReportSystem ReportSystem1, ReportSystem2;

 private:
  MainContext& context_;
  TCatalogTabs& tabs_;
  reports::Options options_;
};

// The catalog tabs: one tab per name of the catalog-names table, the
// catalog shown, the Catalog menu (add, rename, delete) and the default
// catalog shown at start.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

#include "catalogform.h"
#include "recordedit.h"
#include "schema.h"

class MainContext;

// What the tabs controller asks of the window.
class CatalogTabsView {
 public:
  virtual ~CatalogTabsView() = default;
  virtual QStringList TabNames() const = 0;
  virtual int CurrentTab() const = 0;
  // Quietly: neither tells a tab change.
  virtual void SetTabs(const QStringList& names) = 0;
  virtual void SetCurrentTab(int index) = 0;
  // The record grid starts over on the catalog now shown.
  virtual void ResetRecords() = 0;
  virtual void FocusRecords() = 0;
  virtual void EnableCatalogCommand(browse::CatalogCommand command, bool on) = 0;
  // The catalog window of `command`; `perform` carries out the name typed
  // and says whether it went through.
  virtual void RunCatalogForm(browse::CatalogCommand command, const QString& current, const QStringList& names,
                              int recordCount, const std::function<bool(const QString&)>& perform) = 0;
};

class TCatalogTabs {
 public:
  static constexpr int kMaxCatalogs = store::kMaxCatalogs;

  // `leaveEdit` settles the record being edited before another catalog is
  // shown (false: the user stays in it).
  TCatalogTabs(MainContext& context, CatalogTabsView& view, std::function<bool(browse::LeaveEdit)> leaveEdit);

  // Counts all records and makes the tabs from the catalog-names table.
  void LoadCatalogTabs();
  QString CurrentCatalog() const;
  // ApTable1 shows the records of the catalog `name`.
  void SelectCatalog(const QString& name);
  // Makes tab `index` current and shows its catalog (TabControl1Change).
  void SelectTab(int index);
  // The tab `step` places on, round the ends (Ctrl+PgUp, Ctrl+PgDn).
  void StepTab(int step);
  // Shows record `recno` of `catalog`: its tab made current, then that very
  // record, when the catalog holds it.
  void ShowRecord(const QString& catalog, uint32_t recno);

  // The tab made current at start: the default catalog unless the window
  // comes back from the tray, where it shows the tab it had (RememberTab).
  void ShowStartTab(bool fromTray);
  void RememberTab();
  // The tab remembered, made current without showing its catalog.
  void PlaceRememberedTab();

  void TabControl1Change();
  void DataSource2DataChange();
  void mnuAddCatClick();
  void mnuDelCatClick();
  void mnuRenCatClick();
  void mnuSetDefCatClick();

 private:
  void ShowCatalogForm(browse::CatalogCommand command);
  bool PerformCatalogCommand(browse::CatalogCommand command, const QString& oldName, const QString& name);
  void RebuildCatalogTabs();

  MainContext& context_;
  CatalogTabsView& view_;
  std::function<bool(browse::LeaveEdit)> leaveEdit_;
  // The catalog ApTable1 shows, whose tab a refused tab change goes back to.
  QString shownCatalog_;
  // The tab shown again when the window comes back from the tray.
  int rememberedTab_ = 0;
};

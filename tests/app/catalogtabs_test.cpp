// The catalog tabs' controller with a stand-in for the window: no widget is
// made. What it shows follows the catalog-names table, and the record counts
// the data module keeps follow the records a catalog command removes.
#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "catalogtabs.h"
#include "createdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "maincontext.h"
#include "prompts.h"
#include "settings.h"

namespace {

class TabsStandIn : public CatalogTabsView {
 public:
  QStringList TabNames() const override { return tabs; }
  int CurrentTab() const override { return current; }
  void SetTabs(const QStringList& names) override {
    tabs = names;
    current = 0;
  }
  void SetCurrentTab(int index) override { current = index; }
  void ResetRecords() override {}
  void FocusRecords() override {}
  void EnableCatalogCommand(browse::CatalogCommand, bool) override {}
  // The user types `typed` into the catalog window.
  void RunCatalogForm(browse::CatalogCommand, const QString&, const QStringList&, int,
                      const std::function<bool(const QString&)>& perform) override {
    accepted = perform(typed);
  }

  QStringList tabs;
  int current = -1;
  QString typed;
  bool accepted = false;
};

class StatusStandIn : public MainStatus {
 public:
  void ShowStatus(const QString& text) override { last = text; }
  void SetStatusText(const QString& text) override { last = text; }
  void RestartClearTimer() override {}
  QString last;
};

TEST(CatalogTabsTest, CatalogCommandsKeepTabsAndCountsWithTheTables) {
  QTemporaryDir dir;
  ASSERT_TRUE(store::CreateDatabaseFiles(dir.path()).ok());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + "/config");
  prompts::ScriptedPrompts scripted;
  prompts::SetCurrent(&scripted);
  TDataModule1 dm;
  dm.DataModule1Create(dir.path());
  dm.ApTable1.Open();
  dm.ApTable2.Open();
  for (const char* title : {"one", "two"}) {
    dm.ApTable1.Append();
    dm.ApTable1.SetFieldByName(store::kFieldCatalog, "Temporary");
    dm.ApTable1.SetFieldByName(store::kFieldTitle, title);
    dm.ApTable1.SetFieldByName(store::kFieldName, std::string("/x/") + title);
    dm.ApTable1.Post();
  }
  TSettings settings;
  StatusStandIn status;
  MainContext context(dm, dir.path(), settings, status, nullptr);
  TabsStandIn view;
  TCatalogTabs tabs(context, view, [](browse::LeaveEdit) { return true; });

  tabs.LoadCatalogTabs();
  tabs.SelectTab(0);
  EXPECT_EQ(view.tabs, QStringList{"Temporary"});
  EXPECT_EQ(dm.Counts.Catalog(), 2);
  EXPECT_EQ(dm.Counts.Total(), 2);

  // A name the field cannot hold whole is refused before anything is written.
  view.typed = QString(30, u'x');
  tabs.mnuAddCatClick();
  EXPECT_FALSE(view.accepted);
  EXPECT_EQ(scripted.Count(prompts::ScriptedPrompts::Call::Message), 1);
  EXPECT_EQ(view.tabs, QStringList{"Temporary"});

  // A new catalog becomes a tab in the table's order and is shown, empty.
  view.typed = "Archive";
  tabs.mnuAddCatClick();
  EXPECT_TRUE(view.accepted);
  EXPECT_EQ(view.tabs, (QStringList{"Archive", "Temporary"}));
  EXPECT_EQ(tabs.CurrentCatalog(), "Archive");
  EXPECT_EQ(dm.Counts.Catalog(), 0);

  // Deleting a catalog takes its records out of the total.
  tabs.SelectTab(1);
  tabs.mnuDelCatClick();
  EXPECT_TRUE(view.accepted);
  EXPECT_EQ(view.tabs, QStringList{"Archive"});
  EXPECT_EQ(dm.Counts.Total(), 0);
  EXPECT_EQ(status.last, " Deleting [ Temporary ]...");
  prompts::SetCurrent(nullptr);
}

}  // namespace

#include "catalogtabs.h"

#include "catalognames.h"
#include "commandtags.h"
#include "catalogops.h"
#include "commandguard.h"
#include "datafiles.h"
#include "datamodule.h"
#include "maincontext.h"
#include "settings.h"

TCatalogTabs::TCatalogTabs(MainContext& context, CatalogTabsView& view,
                           std::function<bool(browse::LeaveEdit)> leaveEdit)
    : context_(context), view_(view), leaveEdit_(std::move(leaveEdit)) {}

void TCatalogTabs::LoadCatalogTabs() {
  context_.dm.CountAllRecords();
  RebuildCatalogTabs();
}

void TCatalogTabs::RebuildCatalogTabs() {
  // A catalog added, renamed or deleted took its volumes along.
  context_.dm.Volumes.Changed();
  view_.SetTabs(store::LoadCatalogList(context_.dm.ApTable2, kMaxCatalogs).names);
}

QString TCatalogTabs::CurrentCatalog() const {
  const int i = view_.CurrentTab();
  return i >= 0 ? view_.TabNames().value(i) : QString();
}

void TCatalogTabs::SelectCatalog(const QString& name) {
  context_.dm.ShowCatalog(name);
  shownCatalog_ = name;
  view_.ResetRecords();
  context_.dm.ApTable1.Refresh();
}

void TCatalogTabs::TabControl1Change() {
  // Another catalog would drop the record being edited: the user says
  // whether it is saved first; Cancel stays on the catalog shown.
  if (!leaveEdit_(browse::LeaveEdit::Ask)) {
    const int back = view_.TabNames().lastIndexOf(shownCatalog_);
    if (back >= 0) view_.SetCurrentTab(back);
    return;
  }
  context_.Run([this] { SelectCatalog(CurrentCatalog()); });
  view_.FocusRecords();
}

void TCatalogTabs::SelectTab(int index) {
  view_.SetCurrentTab(index);
  TabControl1Change();
}

void TCatalogTabs::StepTab(int step) {
  const int count = (int)view_.TabNames().size();
  if (count > 1) SelectTab((view_.CurrentTab() + step + count) % count);
}

void TCatalogTabs::ShowRecord(const QString& catalog, uint32_t recno) {
  // The tab whose text is the catalog's name, letter case counting.
  const QStringList tabs = view_.TabNames();
  const int n = std::min((int)tabs.size(), (int)store::LoadCatalogList(context_.dm.ApTable2, 1 << 30).names.size());
  for (int i = 0; i < n; ++i) {
    if (tabs[i] != catalog) continue;
    SelectTab(i);
    break;
  }
  // That very record, not the first one that shares its title.
  context_.Run([&] {
    if (recno != 0) context_.dm.ApTable1.GotoBookmark(xbase::Bookmark{recno});
  });
}

void TCatalogTabs::ShowStartTab(bool fromTray) {
  const QStringList tabs = view_.TabNames();
  view_.EnableCatalogCommand(browse::CatalogCommand::Add, tabs.size() != kMaxCatalogs);
  const QString defaultCatalog = context_.settings.Read(settings::kDFTab);
  if (!fromTray) {
    int found = -1;
    const int n = (int)std::min<int64_t>(context_.dm.ApTable2.RecordCount(), tabs.size());
    for (int i = rememberedTab_; i < n; ++i) {
      if (tabs[i] == defaultCatalog) {
        found = i;
        break;
      }
    }
    rememberedTab_ = found >= 0 ? found : 0;
  }
  if (tabs.isEmpty()) return;
  rememberedTab_ = std::clamp(rememberedTab_, 0, (int)tabs.size() - 1);
  view_.SetCurrentTab(rememberedTab_);
  context_.Run([&] { SelectCatalog(tabs[rememberedTab_]); });
}

void TCatalogTabs::RememberTab() { rememberedTab_ = view_.CurrentTab(); }

void TCatalogTabs::PlaceRememberedTab() { view_.SetCurrentTab(rememberedTab_); }

void TCatalogTabs::DataSource2DataChange() {
  try {
    const int64_t n = context_.dm.ApTable2.RecordCount();
    const bool writable = context_.readOnly.isEmpty();
    view_.EnableCatalogCommand(browse::CatalogCommand::Delete, n != 1 && writable);
    view_.EnableCatalogCommand(browse::CatalogCommand::Add, n != kMaxCatalogs && writable);
  } catch (const xbase::Error& e) {
    context_.reportDamage(QString::fromUtf8(e.what()), command::ErrorText(e));
  }
}

// ---- the Catalog menu ---------------------------------------------------------------------

void TCatalogTabs::mnuAddCatClick() { ShowCatalogForm(browse::CatalogCommand::Add); }
void TCatalogTabs::mnuDelCatClick() { ShowCatalogForm(browse::CatalogCommand::Delete); }
void TCatalogTabs::mnuRenCatClick() { ShowCatalogForm(browse::CatalogCommand::Rename); }

void TCatalogTabs::mnuSetDefCatClick() { context_.settings.Write(settings::kDFTab, CurrentCatalog()); }

void TCatalogTabs::ShowCatalogForm(browse::CatalogCommand command) {
  const QString current = CurrentCatalog();
  view_.RunCatalogForm(command, current, view_.TabNames(), context_.dm.Counts.Catalog(),
                       [this, command, current](const QString& name) { return PerformCatalogCommand(command, current, name); });
}

bool TCatalogTabs::PerformCatalogCommand(browse::CatalogCommand command, const QString& oldName, const QString& name) {
  // A name is stored whole or refused: cut to the field, it would be
  // another name, perhaps another catalog's.
  const std::string typed = store::ToUtf8(name);
  if (command != browse::CatalogCommand::Delete) {
    if (const std::string problem = store::CatalogNameProblem(typed); !problem.empty()) {
      context_.Tell(prompts::Kind::Error, store::FromUtf8(problem));
      return false;
    }
  }
  // The record being edited: Delete and Rename move the cursor, which saves
  // it; Add shows the new catalog, which would drop it, so the user says.
  if (!leaveEdit_(command == browse::CatalogCommand::Add ? browse::LeaveEdit::Ask : browse::LeaveEdit::Save))
    return false;
  const std::string stored = store::StoredCatalogName(typed);
  const std::string old = store::StoredCatalogName(store::ToUtf8(oldName));
  TDataModule1& dm = context_.dm;
  const bool done = context_.Run([&] {
    switch (command) {
      case browse::CatalogCommand::Add:
        store::AddCatalogName(dm, stored);
        break;
      case browse::CatalogCommand::Delete:
        context_.status.ShowStatus(" Deleting [ " + oldName + " ]...");
        dm.DeleteShownCatalogRecords();
        store::DeleteCatalogName(dm, old);
        break;
      case browse::CatalogCommand::Rename:
        store::RenameCatalog(dm, old, stored);
        break;
    }
  });
  // The tabs mirror the catalog-names table, whatever went through.
  context_.Run([&] { RebuildCatalogTabs(); });
  QString show = command == browse::CatalogCommand::Delete ? QString() : store::FromUtf8(stored);
  if (!done) show = oldName;
  const int index = std::max<int>(0, view_.TabNames().lastIndexOf(show));
  SelectTab(index);
  DataSource2DataChange();
  return done;
}

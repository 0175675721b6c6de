#include "mainservices.h"

#include <utility>

#include "catalogtabs.h"
#include "datamodule.h"
#include "maincontext.h"
#include "recordcommands.h"
#include "recordpanel.h"

TMainServices::TMainServices(QWidget* window, MainContext& context, std::function<void(QWidget*)> flat,
                             disks::TableDisks::Hooks disks)
    : window_(window),
      context_(context),
      flat_(std::move(flat)),
      recordSession_(context.dm.ApTable1, context.dm.Counts, window),
      search_(context.dm.ApTable3),
      batch_(context.dm.ApTable1, context.dm.Counts, &context.dm.Volumes),
      disks_(context.dm, std::move(disks)) {}

void TMainServices::Bind(TCatalogTabs& tabs, TRecordCommands& records, TRecordPanel& panel) {
  tabs_ = &tabs;
  recordSession_.SetDescriptionPaste([&records](const QString& text) { return records.PasteIntoDescription(text); });
  recordSession_.SetFoundAt([&panel](const QString& stored) { return panel.FoundAt(stored); });
}

void TMainServices::ShowStatus(const QString& text) { context_.status.ShowStatus(text); }
TSettings& TMainServices::Settings() { return context_.settings; }
QString TMainServices::CurrentCatalog() const { return tabs_->CurrentCatalog(); }
void TMainServices::ShowRecord(const QString& catalog, uint32_t recno) { tabs_->ShowRecord(catalog, recno); }

QString TMainServices::TakeZipExtractionFolder() { return std::exchange(zipExtractionFolder_, QString()); }

#include "mainservices.h"

#include <utility>

#include "catalogtabs.h"
#include "datamodule.h"
#include "maincontext.h"
#include "recordcommands.h"

TMainServices::TMainServices(QWidget* window, MainContext& context, std::function<void(QWidget*)> flat)
    : window_(window),
      context_(context),
      flat_(std::move(flat)),
      recordSession_(context.dm.ApTable1, context.dm.Counts, window),
      search_(context.dm.ApTable3),
      batch_(context.dm.ApTable1, context.dm.Counts) {}

void TMainServices::Bind(TCatalogTabs& tabs, TRecordCommands& records) {
  tabs_ = &tabs;
  recordSession_.SetDescriptionPaste([&records](const QString& text) { return records.PasteIntoDescription(text); });
}

void TMainServices::ShowStatus(const QString& text) { context_.status.ShowStatus(text); }
TSettings& TMainServices::Settings() { return context_.settings; }
QString TMainServices::CurrentCatalog() const { return tabs_->CurrentCatalog(); }
void TMainServices::ShowRecord(const QString& catalog, uint32_t recno) { tabs_->ShowRecord(catalog, recno); }

QString TMainServices::TakeZipExtractionFolder() { return std::exchange(zipExtractionFolder_, QString()); }

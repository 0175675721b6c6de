#include "mainservices.h"

#include "catalogtabs.h"
#include "datafiles.h"
#include "datamodule.h"
#include "maincontext.h"
#include "recordcommands.h"

TMainServices::TMainServices(QWidget* window, MainContext& context, std::function<void(QWidget*)> flat)
    : window_(window), context_(context), flat_(std::move(flat)) {}

void TMainServices::Bind(TCatalogTabs& tabs, TRecordCommands& records) {
  tabs_ = &tabs;
  records_ = &records;
}

void TMainServices::ShowStatus(const QString& text) { context_.status.ShowStatus(text); }
TSettings& TMainServices::Settings() { return context_.settings; }
TDataModule1& TMainServices::DataModule() { return context_.dm; }
QString TMainServices::CurrentCatalog() const { return tabs_->CurrentCatalog(); }
int TMainServices::CatalogRecordCount() const { return context_.dm.Counts.Catalog(); }
void TMainServices::SetCatalogRecordCount(int count) { context_.dm.Counts.SetCatalog(count); }
int TMainServices::TotalRecordCount() const { return context_.dm.Counts.Total(); }
void TMainServices::SetTotalRecordCount(int count) { context_.dm.Counts.SetTotal(count); }
void TMainServices::ShowRecord(const QString& catalog, uint32_t recno) { tabs_->ShowRecord(catalog, recno); }

QString TMainServices::CurrentRecordPath() {
  xbase::Table& t = context_.dm.ApTable1;
  if (!t.Active() || t.RecNo() == 0) return {};
  return store::FromUtf8(t.FieldByName(store::kFieldName));
}

bool TMainServices::PasteIntoDescription(const QString& text) { return records_->PasteIntoDescription(text); }

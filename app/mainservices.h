// What the program's other windows may ask of the main window, answered by
// the main window's controllers.
#pragma once

#include <functional>

#include "mainwindowservices.h"

class MainContext;
class TCatalogTabs;
class TRecordCommands;

class TMainServices : public MainWindowServices {
 public:
  // `flat` makes a window's tool buttons follow the Flat Buttons option.
  TMainServices(QWidget* window, MainContext& context, std::function<void(QWidget*)> flat);
  // The controllers that answer; bound once they are made.
  void Bind(TCatalogTabs& tabs, TRecordCommands& records);

  QWidget* Window() override { return window_; }
  void ShowStatus(const QString& text) override;
  TSettings& Settings() override;
  TDataModule1& DataModule() override;
  QString CurrentCatalog() const override;
  int CatalogRecordCount() const override;
  void SetCatalogRecordCount(int count) override;
  int TotalRecordCount() const override;
  void SetTotalRecordCount(int count) override;
  void ApplyFlatButtons(QWidget* window) override { flat_(window); }
  void ShowRecord(const QString& catalog, uint32_t recno) override;
  QString CurrentRecordPath() override;
  bool PasteIntoDescription(const QString& text) override;

 private:
  QWidget* window_;
  MainContext& context_;
  TCatalogTabs* tabs_ = nullptr;
  TRecordCommands* records_ = nullptr;
  std::function<void(QWidget*)> flat_;
};

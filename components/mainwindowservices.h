// What the program's other windows may ask of the main window. The main
// window hands itself to them as this interface; nothing reaches it through
// a global.
#pragma once

#include <QString>

#include <cstdint>

class QWidget;
class TDataModule1;
class TSettings;

class MainWindowServices {
 public:
  virtual ~MainWindowServices() = default;

  // The main window itself, as the parent of boxes and dialogs.
  virtual QWidget* Window() = 0;

  // A message in the first status panel that is cleared 5 seconds after the
  // first message written while none was pending.
  virtual void ShowStatus(const QString& text) = 0;

  // The user's settings, shared by every window of the program.
  virtual TSettings& Settings() = 0;

  // The open tables; ApTable1 of it holds the current record of the shown
  // catalog.
  virtual TDataModule1& DataModule() = 0;

  // The name of the shown catalog ("" when there is none).
  virtual QString CurrentCatalog() const = 0;

  // The two counters, records in the shown catalog and in all catalogs: the
  // data module's counts (TDataModule1::Counts). A command that adds or
  // removes records adjusts them.
  virtual int CatalogRecordCount() const = 0;
  virtual void SetCatalogRecordCount(int count) = 0;
  virtual int TotalRecordCount() const = 0;
  virtual void SetTotalRecordCount(int count) = 0;

  // Makes a window's tool buttons follow the "Flat Buttons" option.
  virtual void ApplyFlatButtons(QWidget* window) = 0;

  // Shows record `recno` of the catalog `catalog`: its tab made current (an
  // edit there cancelled), then that very record, when the catalog holds it.
  virtual void ShowRecord(const QString& catalog, uint32_t recno) {
    (void)catalog;
    (void)recno;
  }

  // The full path of the current record's file ("" when there is none).
  virtual QString CurrentRecordPath() { return {}; }

  // Pastes `text` into the current record's description at the caret,
  // over its selection. A record that was only being browsed is saved at
  // once; one already in edit stays in edit for the user to save. False,
  // with the reason shown, when the record cannot take it.
  virtual bool PasteIntoDescription(const QString& text) {
    (void)text;
    return false;
  }
};

// What the program's other windows may ask of the main window. The main
// window hands itself to them as this interface; nothing reaches it through
// a global. No window reaches the tables: each asks the service of its own
// job (the record session, the search, the batch passes), whose
// implementation over the tables the main window owns.
#pragma once

#include <QString>

#include <cstdint>

#include "statussink.h"

class QWidget;
class RecordSession;
class TSettings;
namespace addfiles {
class BatchService;
}
namespace disks {
class DiskService;
}
namespace search {
class SearchService;
}

class MainWindowServices : public StatusSink {
 public:
  // The main window itself, as the parent of boxes and dialogs.
  virtual QWidget* Window() = 0;

  // The user's settings, shared by every window of the program.
  virtual TSettings& Settings() = 0;

  // The current record of the shown catalog (recordsession.h).
  virtual RecordSession& Record() = 0;
  // Every catalog searched (search/searchservice.h).
  virtual search::SearchService& Search() = 0;
  // The passes of the batch form over the shown catalog
  // (addfiles/batchservice.h).
  virtual addfiles::BatchService& Batch() = 0;
  // The volumes of the catalogs, the compare with the disk and the refresh
  // (disks/diskservice.h).
  virtual disks::DiskService& Disks() = 0;

  // The name of the shown catalog ("" when there is none).
  virtual QString CurrentCatalog() const = 0;

  // Makes a window's tool buttons follow the "Flat Buttons" option.
  virtual void ApplyFlatButtons(QWidget* window) = 0;

  // Shows record `recno` of the catalog `catalog`: its tab made current (an
  // edit there cancelled), then that very record, when the catalog holds it.
  virtual void ShowRecord(const QString& catalog, uint32_t recno) {
    (void)catalog;
    (void)recno;
  }

  // The folder the zip window last extracted into, handed once to the next
  // file operation dialog (Create Folder proposes it): "" when the zip
  // window has not been opened since the last file operation.
  virtual QString TakeZipExtractionFolder() { return {}; }
};

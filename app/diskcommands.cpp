#include "diskcommands.h"

#include "compareform.h"
#include "maincontext.h"
#include "mainservices.h"
#include "recordcommands.h"
#include "volumesform.h"

void TDiskCommands::mnuVolumesClick() {
  if (services_.CurrentCatalog().isEmpty()) return;
  TfrmVolumes window(services_, context_.boxParent);
  window.exec();
}

void TDiskCommands::mnuCompareDiskClick() {
  if (services_.CurrentCatalog().isEmpty()) return;
  // Applying changes the records: the record being edited is saved first.
  if (!records_.LeaveEdit(browse::LeaveEdit::Save)) return;
  TfrmCompare window(services_, context_.boxParent);
  window.exec();
}

// The Catalog menu's commands on the disks a catalog's files came from:
// the Volumes window and the Compare with Disk window.
#pragma once

class MainContext;
class TMainServices;
class TRecordCommands;

class TDiskCommands {
 public:
  TDiskCommands(MainContext& context, TMainServices& services, TRecordCommands& records)
      : context_(context), services_(services), records_(records) {}

  void mnuVolumesClick();
  void mnuCompareDiskClick();

 private:
  MainContext& context_;
  TMainServices& services_;
  TRecordCommands& records_;
};

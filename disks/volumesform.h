// Catalog > Volumes...: the volumes the current catalog's files came from,
// as they were at the last scan and whether they are connected now, each
// with the user's note (where the disk is kept), which is edited in place.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>

#include <map>
#include <vector>

#include "volumetable.h"

class MainWindowServices;
class QLabel;
class QPushButton;

namespace disks {

class DiskService;

// The rows of the dialog. A note is saved as it is set; one that could not
// be saved stays typed (and is tried again on OK).
class VolumesModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Label, FileSystem, Size, Free, Scanned, Folder, MountPoint, Connected, Note, ColumnCount };

  VolumesModel(DiskService& service, QObject* parent = nullptr);
  // Reads the rows of `catalog`; the reason when they cannot be read.
  QString Load(const QString& catalog);
  // Saves the notes still unsaved; the reasons of those that failed.
  QStringList SaveNotes();
  bool HasUnsaved() const { return !unsaved_.empty(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // A note could not be saved (the box text); it stays as typed.
  void NoteNotSaved(const QString& text);

 private:
  DiskService& service_;
  std::vector<store::VolumeRow> rows_;
  std::vector<QString> connected_;     // "Yes, at /media/u/X" or "No"
  std::map<uint32_t, QString> unsaved_;  // notes typed but not stored, by row number
};

// The grid of the dialog; an edit under way is committed on OK.
class TVolumesGrid : public QTableView {
  Q_OBJECT

 public:
  using QTableView::QTableView;
  void CommitEdit();
};

}  // namespace disks

class TfrmVolumes : public QDialog {
  Q_OBJECT

 public:
  TfrmVolumes(MainWindowServices& services, QWidget* parent = nullptr);

  disks::VolumesModel& Model() { return *model_; }
  disks::TVolumesGrid* Grid() const { return grid_; }

 public slots:
  void btnOKClick();

 protected:
  // Leaving by Cancel, Escape or the close box keeps an edit under way
  // (leaving the cell saves), and asks before notes not saved are dropped.
  void reject() override;

 private:
  bool finishing_ = false;  // OK or Cancel is saving: one box tells it all
  MainWindowServices& services_;
  disks::VolumesModel* model_;
  disks::TVolumesGrid* grid_;
  QLabel* problem_;
  QPushButton* okButton_;
};

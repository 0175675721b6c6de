#include "volumesform.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "datafiles.h"
#include "diskservice.h"
#include "mainwindowservices.h"
#include "prompts.h"

namespace disks {

VolumesModel::VolumesModel(DiskService& service, QObject* parent) : QAbstractTableModel(parent), service_(service) {}

QString VolumesModel::Load(const QString& catalog) {
  beginResetModel();
  rows_.clear();
  connected_.clear();
  unsaved_.clear();
  QString error;
  if (!catalog.isEmpty()) service_.Volumes(catalog, &rows_, &error);
  for (const store::VolumeRow& row : rows_) {
    QStringList at;
    for (const std::string& place : service_.MountPointsOf(row.volume.id)) at << store::FromUtf8(place);
    connected_.push_back(at.isEmpty() ? QStringLiteral("No") : "Yes, at " + at.join(QStringLiteral(", ")));
  }
  endResetModel();
  return error;
}

QStringList VolumesModel::SaveNotes() {
  QStringList failed;
  for (auto it = unsaved_.begin(); it != unsaved_.end();) {
    const QString why = service_.SetNote(it->first, it->second);
    if (why.isEmpty()) {
      it = unsaved_.erase(it);
    } else {
      failed << why;
      ++it;
    }
  }
  return failed;
}

int VolumesModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : (int)rows_.size(); }
int VolumesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant VolumesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const kTitles[ColumnCount] = {"Label",  "File system",      "Size",          "Free",
                                                   "Scanned", "Folder",         "Mount point then", "Connected now",
                                                   "Note"};
  return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

QVariant VolumesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= (int)rows_.size()) return {};
  const store::VolumeRow& row = rows_[(size_t)index.row()];
  if (role == Qt::TextAlignmentRole && (index.column() == Size || index.column() == Free))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole) return {};
  const QLocale locale;
  switch (index.column()) {
    case Label:
      return store::FromUtf8(row.volume.label);
    case FileSystem:
      return store::FromUtf8(row.volume.fsType);
    case Size:
      return locale.formattedDataSize((qint64)row.volume.totalBytes);
    case Free:
      return locale.formattedDataSize((qint64)row.volume.freeBytes);
    case Scanned:
      return store::FromUtf8(row.scanned);
    case Folder:
      return store::FromUtf8(row.folder);
    case MountPoint:
      return store::FromUtf8(row.volume.mountPoint);
    case Connected:
      return connected_[(size_t)index.row()];
    case Note: {
      const auto typed = unsaved_.find(row.recno);
      return typed != unsaved_.end() ? typed->second : store::FromUtf8(row.note);
    }
  }
  return {};
}

Qt::ItemFlags VolumesModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == Note && service_.ReadOnly().isEmpty()) f |= Qt::ItemIsEditable;
  return f;
}

bool VolumesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != Note || index.row() >= (int)rows_.size()) return false;
  store::VolumeRow& row = rows_[(size_t)index.row()];
  const QString note = value.toString();
  if (note == data(index, Qt::EditRole).toString()) return true;
  const QString why = service_.SetNote(row.recno, note);
  if (why.isEmpty()) {
    row.note = store::ToUtf8(note);
    unsaved_.erase(row.recno);
  } else {
    // What was typed stays in the cell, to be tried again.
    unsaved_[row.recno] = note;
    emit NoteNotSaved("The note was not saved: " + why);
  }
  emit dataChanged(index, index);
  return true;
}

void TVolumesGrid::CommitEdit() {
  if (state() != QAbstractItemView::EditingState) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

}  // namespace disks

TfrmVolumes::TfrmVolumes(MainWindowServices& services, QWidget* parent) : QDialog(parent), services_(services) {
  setObjectName("frmVolumes");
  setWindowTitle("Volumes of " + services.CurrentCatalog());
  resize(860, 300);
  model_ = new disks::VolumesModel(services.Disks(), this);
  grid_ = new disks::TVolumesGrid(this);
  grid_->setObjectName("VolumesGrid");
  grid_->setModel(model_);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  grid_->verticalHeader()->hide();
  grid_->horizontalHeader()->setStretchLastSection(true);
  problem_ = new QLabel(this);
  problem_->setObjectName("VolumesProblem");
  problem_->setWordWrap(true);
  QPalette maroon = problem_->palette();
  maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
  problem_->setPalette(maroon);

  auto* buttons = new QDialogButtonBox(this);
  okButton_ = buttons->addButton(QDialogButtonBox::Ok);
  okButton_->setObjectName("btnOK");
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName("btnCancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(problem_);
  layout->addWidget(grid_, 1);
  layout->addWidget(buttons);

  connect(okButton_, &QPushButton::clicked, this, &TfrmVolumes::btnOKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(model_, &disks::VolumesModel::NoteNotSaved, this,
          [this](const QString& text) {
            if (!finishing_) prompts::Current().Message(this, prompts::Kind::Error, text);
          });

  const QString error = model_->Load(services.CurrentCatalog());
  QString shown = error;
  if (error.isEmpty() && model_->rowCount() == 0)
    shown = QStringLiteral("No volume is known for this catalog yet: files added from now on remember theirs.");
  if (const QString why = services.Disks().ReadOnly(); !why.isEmpty()) {
    shown += (shown.isEmpty() ? QString() : QStringLiteral("\n")) + QString(why).replace(u'\n', u' ');
  }
  problem_->setText(shown);
  problem_->setVisible(!shown.isEmpty());
  grid_->resizeColumnsToContents();
}

void TfrmVolumes::btnOKClick() {
  finishing_ = true;
  grid_->CommitEdit();
  const QStringList failed = model_->SaveNotes();
  finishing_ = false;
  if (!failed.isEmpty()) {
    // The dialog stays, with what was typed, so nothing is lost.
    prompts::Current().Message(this, prompts::Kind::Error, "The notes were not saved: " + failed.join(u'\n'));
    return;
  }
  accept();
}

void TfrmVolumes::reject() {
  finishing_ = true;
  grid_->CommitEdit();
  finishing_ = false;
  if (model_->HasUnsaved() &&
      prompts::Current().Message(this, prompts::Kind::Confirmation,
                                 "Some notes could not be saved. Close and lose them?", prompts::Yes | prompts::No,
                                 prompts::No) != prompts::Yes)
    return;
  QDialog::reject();
}

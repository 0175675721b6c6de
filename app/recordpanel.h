// What the main window shows of the current record: the detail panel, the
// description memo, the state and volume panels, which commands are on,
// and the boxes about bad data met on the way. What to show is worked out
// by the browse library (browse::TRecordView); here it is put on the
// widgets.
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

#include "commandtags.h"
#include "descriptiontext.h"
#include "filecheck.h"
#include "recordfields.h"

class MainContext;
class TMainWidgets;
class TStatusPanels;
namespace browse {
class TRecordView;
}

class TRecordPanel : public QObject {
  Q_OBJECT

 public:
  // `descriptionEdited` is told what the user typed into the description
  // (its stored text before and after).
  TRecordPanel(TMainWidgets& ui, MainContext& context, TStatusPanels& status, QWidget* window,
               std::function<void(const QString& before, const QString& after)> descriptionEdited);

  // The file of the current record was found on disk, or nothing was
  // checked; false while its check is still running.
  bool FilePresent() const;
  // The check of the current record's file has not answered yet.
  bool FileCheckPending() const;
  // Where the current record's file is: its path, or the place its volume
  // is mounted now once the file check has found it there.
  QString FileFoundAt() const;
  // The same for a stored path: FileFoundAt when it is the current
  // record's, else the path itself.
  QString FoundAt(const QString& storedPath) const;
  // Why the current record may not be written ("" when it may).
  QString WriteRefusal() const;
  // How long the file check may take before the file counts as unreachable.
  void SetFileCheckTimeout(int ms);
  // The stored bytes of the description's characters [from, to).
  QString StoredPart(int from, int to) const { return description_.StoredPart(from, to); }
  // Reports bad data met while showing the record in a box shown from the
  // event loop (never from inside a repaint or a table notification); once
  // per key, when a key is given.
  void ReportDamage(const QString& key, const QString& text);

  void DataSource1DataChange(const QString& field);
  void DataSource1StateChange();
  // The memo's text changed (by the user, or by showing a record).
  void MemoEdited();

 private:
  void ShowRecord(bool fieldOnly);
  // How the current record's path is found through its catalog's volumes
  // (none when the catalog has no volume rows, or they cannot be read).
  browse::PathResolver RecordResolver();
  void ShowMemo();
  void ShowFile();
  void ApplySwitches(const browse::TagSwitches& s);
  // Every command that would write switched off, with the reason as hint.
  void ApplyReadOnly();
  void ShowPendingDamage();

  TMainWidgets& ui_;
  MainContext& context_;
  TStatusPanels& status_;
  QWidget* window_;
  std::function<void(const QString&, const QString&)> descriptionEdited_;
  // The record shown and its file.
  browse::TRecordView* recordView_;
  // The description the memo shows, as stored: an edit keeps the bytes it
  // does not touch, line breaks as they were read.
  browse::TDescriptionText description_;
  bool memoUpdating_ = false;
  // What start-up repaired (an index file rebuilt), shown in the status bar
  // once the first record's file check has answered.
  QStringList startNotes_;
  // The read errors already reported, and those waiting for their box.
  browse::DamageLog damageLog_;
  QStringList pendingDamage_;
  bool damageScheduled_ = false;
};

// The record view of the main window without its widgets: the current
// record as it is to be shown, read around a damaged description, and the
// state of its file, which a worker thread checks.
#pragma once

#include <QObject>
#include <QString>

#include <xbase.h>

#include "commandtags.h"
#include "filecheck.h"
#include "recordfields.h"

namespace browse {

class TRecordView : public QObject {
  Q_OBJECT

 public:
  // `probe` is the file check (CheckFile unless a test gives another).
  explicit TRecordView(QObject* parent = nullptr, TFileChecker::Probe probe = CheckFile);

  // Another record became current (or was re-read): reads it and asks for
  // the check of its file. While `packing` the file is not looked for, but
  // its volume label still is. The path is looked for where `resolve`
  // finds it (the catalog's volumes); without one, as stored. Throws
  // xbase::Error for damage outside the description.
  void RecordChanged(xbase::Table& records, bool packing, PathResolver resolve = {});
  // One field of the record being edited changed: re-reads the record only.
  void FieldChanged(const xbase::Table& records);

  const RecordFields& Record() const { return record_; }
  // FLSIZE followed by " bytes"; "" when the size is empty.
  QString SizeLine() const;
  // The description, or the text saying why it cannot be read.
  QString MemoText() const;
  // Why a command may not write the record; "" when it may.
  QString WriteRefusal() const { return browse::WriteRefusal(record_); }

  // The file: blank while its check runs, then the check's message
  // ("File not found.", "File not found or No disk in drive." or "Volume
  // not connected (LABEL)") when it is missing. A check that does not answer in time counts as a drive
  // without its medium until the answer comes.
  FileState File() const { return file_; }
  QString FileMessage() const { return fileMessage_; }
  bool FilePresent() const { return FileCountsAsPresent(file_); }
  bool CheckPending() const { return checker_->Pending(); }
  void SetCheckTimeout(int ms) { checker_->SetTimeout(ms); }
  // The name of the volume holding the file, known once the check answered;
  // shown only for a record with a path in a catalog with records.
  bool ShowsVolumeLabel() const { return wantLabel_ && labelKnown_; }
  QString VolumeLabel() const { return label_; }
  // Where the record's file is: the stored path, or the place its volume
  // is mounted now once the check has found that.
  QString FoundAt() const { return foundAt_.isEmpty() ? record_.path : foundAt_; }

  // The file and zip commands for this record.
  TagSwitches Switches() const { return ForRecord(file_, record_.path); }

 signals:
  // The file's state or volume label changed after the record change.
  void FileAnswered();
  // A damaged record was met for the first time (the box text).
  void Damaged(const QString& message);

 private:
  void Read(const xbase::Table& records);
  void Answered(const FileCheck& result);
  void TimedOut();

  TFileChecker* checker_;
  RecordFields record_;
  FileState file_ = FileState::Unchecked;
  QString fileMessage_;
  bool wantLabel_ = false;
  bool labelKnown_ = false;
  QString label_;
  QString foundAt_;
  DamageLog reported_;
};

}  // namespace browse

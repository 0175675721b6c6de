#include "recordview.h"

namespace browse {

TRecordView::TRecordView(QObject* parent, TFileChecker::Probe probe)
    : QObject(parent), checker_(new TFileChecker(this, std::move(probe))) {
  connect(checker_, &TFileChecker::Checked, this, &TRecordView::Answered);
  connect(checker_, &TFileChecker::TimedOut, this, &TRecordView::TimedOut);
}

void TRecordView::Read(const xbase::Table& records) {
  record_ = ReadRecordFields(records);
  if (!record_.DescriptionReadable() && reported_.FirstReport(DamageLog::KeyOf(record_)))
    emit Damaged(DamagedRecordMessage(record_));
}

void TRecordView::FieldChanged(const xbase::Table& records) { Read(records); }

void TRecordView::RecordChanged(xbase::Table& records, bool packing, PathResolver resolve) {
  Read(records);
  fileMessage_.clear();
  foundAt_.clear();
  labelKnown_ = false;
  wantLabel_ = !record_.path.isEmpty() && !records.IsEmpty();
  if (!record_.path.isEmpty() && !packing) {
    file_ = FileState::Pending;
    checker_->Request(record_.path, true, std::move(resolve));
  } else {
    file_ = FileState::Unchecked;
    if (wantLabel_)
      checker_->Request(record_.path, false, std::move(resolve));
    else
      checker_->Forget();
  }
}

void TRecordView::Answered(const FileCheck& result) {
  if (result.path != record_.path) return;
  if (file_ != FileState::Unchecked) {
    file_ = result.present ? FileState::Present : FileState::Missing;
    fileMessage_ = result.message;
  }
  label_ = result.volumeLabel;
  labelKnown_ = true;
  foundAt_ = result.foundAt;
  emit FileAnswered();
}

void TRecordView::TimedOut() {
  if (file_ != FileState::Pending) return;
  file_ = FileState::Missing;
  fileMessage_ = QString::fromLatin1(kFileNotFoundOrNoDisk);
  emit FileAnswered();
}

QString TRecordView::SizeLine() const { return record_.size.isEmpty() ? QString() : record_.size + " bytes"; }

QString TRecordView::MemoText() const {
  return record_.DescriptionReadable() ? record_.description : UnreadableDescriptionText(record_);
}

}  // namespace browse

// The record session over the cursor of the shown catalog: what a command
// on the current record's file does to the record, each step under the
// command guard, with the record counts kept in step.
#pragma once

#include <functional>
#include <utility>

#include "recordsession.h"

class RecordCounts;

namespace xbase {
class Table;
}

namespace browse {

class TableRecordSession : public RecordSession {
 public:
  // `records`: the cursor whose current record is the session's; `counts`:
  // the counts a deleted or a stored new record changes; `parent`: the
  // window of the error boxes. All three outlive the session.
  TableRecordSession(xbase::Table& records, RecordCounts& counts, QWidget* parent);

  std::optional<QString> FilePath() override;
  bool FollowFile(const QString& path) override;
  bool Delete() override;
  void DropEdit() override;
  EditEnd EndEditAsking(QWidget* parent) override;
  bool PasteIntoDescription(const QString& text) override;

  // How text is pasted into the description: the caret and the selection
  // are the record view's, so the window that shows the record does it.
  // Until one is set nothing is pasted (PasteIntoDescription is false).
  using DescriptionPaste = std::function<bool(const QString& text)>;
  void SetDescriptionPaste(DescriptionPaste paste) { paste_ = std::move(paste); }

  // Where the file of a stored path is now (the record view's check found
  // its volume mounted at another place); until one is set, the path as
  // stored.
  using FoundAt = std::function<QString(const QString& storedPath)>;
  void SetFoundAt(FoundAt foundAt) { foundAt_ = std::move(foundAt); }

 private:
  xbase::Table& records_;
  RecordCounts& counts_;
  QWidget* parent_;
  DescriptionPaste paste_;
  FoundAt foundAt_;
};

}  // namespace browse

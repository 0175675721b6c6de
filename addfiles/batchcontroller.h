// What the batch form does, without its widgets: what a batch acts on, the
// check of a move's target, the pass run through the batch service, and the
// texts the form shows afterwards.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "batchpass.h"

enum class BatchMode { Move = 10, Delete = 20, Add = 30, Cancelled = 100 };

namespace addfiles {

class BatchService;

// What the form tells once a pass has run ("" where there is nothing).
struct BatchReport {
  QString error;      // an engine error that ended the pass ("Error" box)
  QString status;     // the status text
  QString skipped;    // the files left out of an add ("Warning" box)
  QString shortened;  // the titles stored shortened ("Information" box)
};

class BatchController {
 public:
  // `service` outlives the controller.
  BatchController(BatchService& service, BatchMode mode) : service_(service), mode_(mode) {}

  BatchMode Mode() const { return mode_; }
  // The form was left without running the batch.
  void Cancel() { mode_ = BatchMode::Cancelled; }
  // "Add", "Move" or "Delete": the form's action and its status text.
  QString ActionName() const;

  // What the batch acts on: files of a folder (add; a tree walk hands them
  // one by one), or records by number (move, delete).
  void SetFiles(const QString& folder, const QStringList& names);
  void AddFile(const QString& name) { names_ << name; }
  const QString& Folder() const { return folder_; }
  qsizetype FileCount() const { return names_.size(); }
  void SetRecords(const std::vector<uint32_t>& records) { records_ = records; }

  // Why a move cannot go to `target` as typed ("" when it is one of the
  // catalogs of `targets`).
  static QString MoveRefusal(const QString& target, const QStringList& targets);

  // Runs the pass: an add into `catalog`, a move to `target`, or a delete.
  BatchReport Run(const QString& catalog, const QString& target, const Progress& progress);

 private:
  BatchService& service_;
  BatchMode mode_;
  QString folder_;
  QStringList names_;
  std::vector<uint32_t> records_;
};

}  // namespace addfiles

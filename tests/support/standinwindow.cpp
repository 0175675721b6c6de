#include "standinwindow.h"

#include <stdexcept>
#include <utility>

#include "datamodule.h"

namespace testsupport {

StandInWindow::StandInWindow(TDataModule1* dm, const QString& settingsFile)
    : settings_(settingsFile.isEmpty() ? std::make_unique<TSettings>() : std::make_unique<TSettings>(settingsFile)) {
  if (!dm) return;
  record_ = std::make_unique<browse::TableRecordSession>(dm->ApTable1, dm->Counts, nullptr);
  // The main window's record commands paste at the description's caret;
  // here the text is only kept.
  record_->SetDescriptionPaste([this](const QString& text) {
    pasted += text;
    return true;
  });
}

StandInWindow::~StandInWindow() = default;

void StandInWindow::ShowStatus(const QString& text) {
  panel << text;
  timed << text;
}

RecordSession& StandInWindow::Record() {
  if (!record_) throw std::logic_error("this suite's windows have no current record");
  return *record_;
}

search::SearchService& StandInWindow::Search() { throw std::logic_error("this suite's windows do not search"); }

addfiles::BatchService& StandInWindow::Batch() { throw std::logic_error("this suite's windows run no batch"); }

disks::DiskService& StandInWindow::Disks() { throw std::logic_error("this suite's windows do not look at disks"); }

QString StandInWindow::TakeZipExtractionFolder() { return std::exchange(zipFolder, QString()); }

}  // namespace testsupport

#include "batchcontroller.h"

#include "batchservice.h"
#include "schema.h"

namespace addfiles {

namespace {

// A list of up to 20 lines under its heading, "..." for the rest.
QString Listed(QString text, const QStringList& lines) {
  for (qsizetype i = 0; i < lines.size() && i < 20; ++i) text += "\n" + lines[i];
  if (lines.size() > 20) text += "\n...";
  return text;
}

}  // namespace

QString BatchController::ActionName() const {
  switch (mode_) {
    case BatchMode::Add:
      return QStringLiteral("Add");
    case BatchMode::Move:
      return QStringLiteral("Move");
    default:
      return QStringLiteral("Delete");
  }
}

void BatchController::SetFiles(const QString& folder, const QStringList& names) {
  folder_ = folder;
  names_ = names;
}

QString BatchController::MoveRefusal(const QString& target, const QStringList& targets) {
  // Only a catalog of the list is a target: a typed name that is none, or
  // an empty list, changes nothing.
  if (targets.isEmpty()) return QStringLiteral("There is no other catalog to move the records to.");
  if (!targets.contains(target)) return "\"" + target + "\" is not a catalog. Choose one of the list.";
  return {};
}

BatchReport BatchController::Run(const QString& catalog, const QString& target, const Progress& progress) {
  BatchOutcome out;
  if (mode_ == BatchMode::Add)
    out = service_.AddFiles(catalog, folder_, names_, progress);
  else if (mode_ == BatchMode::Move)
    out = service_.MoveRecords(records_, target, progress);
  else
    out = service_.DeleteRecords(records_, progress);
  const PassResult& r = out.pass;
  BatchReport report;
  report.error = out.error;
  report.status = ActionName() + " complete.... ";
  if (r.stopped)
    report.status =
        " Stopped: " + QString::number(r.done) + (mode_ == BatchMode::Add ? " records added." : " records done.");
  if (!out.volumeProblem.isEmpty())
    report.status += (report.status.endsWith(u' ') ? QString() : QStringLiteral(" ")) + out.volumeProblem;
  if (!r.skipped.empty()) {
    QStringList lines;
    for (const Skipped& s : r.skipped) lines << s.name + ": " + s.why;
    report.skipped = Listed(QString::number(r.skipped.size()) + (r.skipped.size() == 1 ? " file was" : " files were") +
                                " not added:",
                            lines);
  }
  if (!r.shortened.isEmpty()) {
    const qsizetype n = r.shortened.size();
    report.shortened = Listed(QString::number(n) + (n == 1 ? " title was" : " titles were") + " shortened to the " +
                                  QString::number(store::kTitleWidth) + " bytes a title holds:",
                              r.shortened);
  }
  return report;
}

}  // namespace addfiles

// Running a report: the "Report Setup" dialog (printer, preview or a PDF
// file, copies, printer setup), the "Report Status" window that counts the
// pages as they are made, and the "Report Preview" window.
#pragma once

#include <QString>

#include <functional>

#include "report.h"

class QWidget;

namespace report {

enum class Destination { Printer, Preview, File };

// Why no PDF file can be written at `path` (its folder is missing or cannot
// be written, ...); empty when nothing stands in the way.
QString PdfFileProblem(const QString& path);

class TReportSystem {
 public:
  // What the setup dialog starts with, and what a run without it uses.
  Destination destination = Destination::Preview;
  QString fileName;  // the PDF file of Destination::File, by its whole path
  int copies = 1;
  // Without the dialog (the report goes straight to the destination).
  bool askSetup = true;
  QString jobTitle = QStringLiteral("ReportPrinter Report");

  // The printer to print on; empty: the system's default printer.
  QString printerName;

  // Runs the report: the setup dialog (Cancel ends it, returning false),
  // then `print` fills the pages on the chosen device. A PDF file that
  // cannot be written is said so in a message box before anything is
  // printed, and the setup dialog comes back; nothing is written then.
  bool Execute(QWidget* parent, const std::function<void(TReport&)>& print);

  // Pages of the last run.
  int Pages() const { return pages_; }

 private:
  bool Setup(QWidget* parent);
  // Writes the PDF file; why not, when it was not written.
  QString WritePdf(QWidget* parent, const std::function<void(TReport&)>& print);
  int pages_ = 0;
};

}  // namespace report

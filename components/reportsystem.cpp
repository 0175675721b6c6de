#include "reportsystem.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "prompts.h"

namespace report {

namespace {

// The small window that says which page is being made.
class StatusWindow : public QDialog {
 public:
  StatusWindow(QWidget* parent, const QString& format) : QDialog(parent), format_(format) {
    setWindowTitle(QStringLiteral("Report Status"));
    setObjectName("ReportStatus");
    label_ = new QLabel(this);
    label_->setMinimumWidth(220);
    label_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    Page(1);
  }
  void Page(int n) {
    label_->setText(QString(format_).replace(QStringLiteral("%p"), QString::number(n)));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QString format_;
  QLabel* label_;
};

// The unprintable border of a printer in full-page mode, in inches.
std::array<double, 4> BorderOf(QPrinter& printer) {
  const QRectF paper = printer.paperRect(QPrinter::Inch), page = printer.pageRect(QPrinter::Inch);
  return {std::max(0.0, page.left() - paper.left()), std::max(0.0, paper.right() - page.right()),
          std::max(0.0, page.top() - paper.top()), std::max(0.0, paper.bottom() - page.bottom())};
}

// The number of pages made, or -1 when the device cannot be painted on
// (nothing is printed then).
int Run(QPagedPaintDevice& device, const std::array<double, 4>& border, QWidget* parent, const QString& status,
        const std::function<void(TReport&)>& print) {
  QPainter painter;
  if (!painter.begin(&device)) return -1;
  StatusWindow window(parent, status);
  if (parent != nullptr && QApplication::platformName() != QLatin1String("offscreen")) window.show();
  TReport r(device, painter, border);
  r.OnNewPage([&] { window.Page(r.Page()); });
  print(r);
  painter.end();
  return r.Page();
}

const QString kPdfFilter = QStringLiteral("PDF files (*.pdf)");

}  // namespace

QString PdfFileProblem(const QString& path) {
  const QFileInfo file(path);
  const QFileInfo folder(file.absolutePath());
  if (!folder.exists()) return QStringLiteral("The folder \"%1\" does not exist.").arg(folder.filePath());
  if (!folder.isDir()) return QStringLiteral("\"%1\" is not a folder.").arg(folder.filePath());
  if (file.isDir()) return QStringLiteral("\"%1\" is a folder.").arg(file.filePath());
  if (!folder.isWritable()) return QStringLiteral("The folder \"%1\" cannot be written to.").arg(folder.filePath());
  if (file.exists() && !file.isWritable())
    return QStringLiteral("The file \"%1\" cannot be written to.").arg(file.filePath());
  return {};
}

bool TReportSystem::Setup(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Report Setup"));
  dialog.setObjectName("ReportSetup");
  auto* toPrinter = new QRadioButton(QStringLiteral("&Printer"), &dialog);
  auto* toPreview = new QRadioButton(QStringLiteral("Pre&view"), &dialog);
  auto* toFile = new QRadioButton(QStringLiteral("PDF &file"), &dialog);
  auto* file = new QLineEdit(fileName, &dialog);
  auto* browse = new QPushButton(QStringLiteral("..."), &dialog);
  auto* copiesBox = new QSpinBox(&dialog);
  copiesBox->setRange(1, 999);
  copiesBox->setValue(copies);
  auto* printerSetup = new QPushButton(QStringLiteral("Printer &Setup..."), &dialog);
  (destination == Destination::Printer ? toPrinter : destination == Destination::File ? toFile : toPreview)
      ->setChecked(true);
  QPrinter printer(QPrinter::HighResolution);
  const bool hasPrinter = !QPrinterInfo::availablePrinters().isEmpty();
  if (!hasPrinter) {
    toPrinter->setEnabled(false);
    toPrinter->setToolTip(QStringLiteral("No printer is set up on this computer."));
    if (toPrinter->isChecked()) toPreview->setChecked(true);
  }
  // A name without a folder is proposed in the user's documents folder, not
  // in whatever folder the program happened to start in.
  const auto proposal = [&] {
    const QString name = file->text().trimmed();
    if (!name.isEmpty() && !QDir::isRelativePath(name)) return name;
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir()) documents = QDir::homePath();
    return QDir(documents).filePath(name.isEmpty() ? QStringLiteral("report.pdf") : name);
  };
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
    const QString chosen = prompts::Current().ChooseSaveFile(&dialog, QStringLiteral("Report to a PDF file"),
                                                             proposal(), kPdfFilter);
    if (!chosen.isEmpty()) {
      file->setText(chosen);
      toFile->setChecked(true);
    }
  });
  QObject::connect(printerSetup, &QPushButton::clicked, &dialog, [&] {
    QPrintDialog setup(&printer, &dialog);
    setup.exec();
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(toFile);
  fileRow->addWidget(file, 1);
  fileRow->addWidget(browse);
  auto* copiesRow = new QHBoxLayout;
  copiesRow->addWidget(new QLabel(QStringLiteral("Copies:"), &dialog));
  copiesRow->addWidget(copiesBox);
  copiesRow->addStretch(1);
  copiesRow->addWidget(printerSetup);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("Send the report to:"), &dialog));
  layout->addWidget(toPrinter);
  layout->addWidget(toPreview);
  layout->addLayout(fileRow);
  layout->addLayout(copiesRow);
  layout->addWidget(buttons);
  for (;;) {
    if (dialog.exec() != QDialog::Accepted) return false;
    if (toFile->isChecked()) {
      if (file->text().trimmed().isEmpty()) {
        file->setFocus();
        continue;  // a file needs a name
      }
      // A bare name or a relative path is made whole by the user in a save
      // dialog; the file is always kept by its whole path.
      QString path = file->text().trimmed();
      if (QDir::isRelativePath(path)) {
        path = prompts::Current().ChooseSaveFile(&dialog, QStringLiteral("Report to a PDF file"), proposal(),
                                                 kPdfFilter);
        if (path.isEmpty()) continue;
      }
      path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
      file->setText(path);
      if (const QString problem = PdfFileProblem(path); !problem.isEmpty()) {
        prompts::Current().Message(&dialog, prompts::Kind::Error, "The report cannot be written.\n\n" + problem);
        file->setFocus();
        continue;
      }
    }
    break;
  }
  destination = toPrinter->isChecked() ? Destination::Printer
                : toFile->isChecked()  ? Destination::File
                                       : Destination::Preview;
  fileName = file->text().trimmed();
  copies = copiesBox->value();
  if (hasPrinter) printerName = printer.printerName();
  return true;
}

QString TReportSystem::WritePdf(QWidget* parent, const std::function<void(TReport&)>& print) {
  fileName = QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
  if (const QString problem = PdfFileProblem(fileName); !problem.isEmpty()) return problem;
  // Written beside the file under another name and put in its place when
  // whole: a report that fails leaves no part of a file, and an earlier
  // file of that name stays as it was.
  QSaveFile out(fileName);
  if (!out.open(QIODevice::WriteOnly)) return QStringLiteral("\"%1\": %2.").arg(fileName, out.errorString());
  {
    QPdfWriter writer(&out);
    writer.setTitle(jobTitle);
    writer.setCreator(QStringLiteral("Vantrell"));
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(600);
    pages_ = Run(writer, {0, 0, 0, 0}, parent, QStringLiteral("Generating page %p"), print);
  }
  if (pages_ < 0) {
    out.cancelWriting();
    pages_ = 0;
    return QStringLiteral("\"%1\" could not be opened for writing.").arg(fileName);
  }
  if (!out.commit()) {
    pages_ = 0;
    return QStringLiteral("\"%1\": %2.").arg(fileName, out.errorString());
  }
  return {};
}

bool TReportSystem::Execute(QWidget* parent, const std::function<void(TReport&)>& print) {
  pages_ = 0;
  for (;;) {
    if (askSetup && !Setup(parent)) return false;
    if (destination != Destination::File) break;
    const QString problem = WritePdf(parent, print);
    if (problem.isEmpty()) return true;
    // Nothing was written; the setup dialog comes back with the same
    // choices so that another file can be named.
    prompts::Current().Message(parent, prompts::Kind::Error, "The report was not written.\n\n" + problem);
    if (!askSetup) return false;
  }
  switch (destination) {
    case Destination::File:
      return false;  // written above
    case Destination::Printer: {
      QPrinter printer(QPrinter::HighResolution);
      if (!printerName.isEmpty()) printer.setPrinterName(printerName);
      printer.setFullPage(true);
      printer.setDocName(jobTitle);
      printer.setCopyCount(copies);
      pages_ = Run(printer, BorderOf(printer), parent, QStringLiteral("Printing page %p"), print);
      if (pages_ < 0) {
        pages_ = 0;
        prompts::Current().Message(parent, prompts::Kind::Error,
                                   QStringLiteral("The report was not printed: the printer \"%1\" cannot be used.")
                                       .arg(printer.printerName()));
        return false;
      }
      return true;
    }
    case Destination::Preview: {
      QPrinter printer(QPrinter::HighResolution);
      printer.setFullPage(true);
      printer.setDocName(jobTitle);
      QPrintPreviewDialog preview(&printer, parent);
      preview.setWindowTitle(QStringLiteral("Report Preview"));
      QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* p) {
        pages_ = std::max(0, Run(*p, BorderOf(*p), parent, QStringLiteral("Generating page %p"), print));
      });
      if (auto* widget = preview.findChild<QPrintPreviewWidget*>()) widget->setZoomFactor(1.0);
      preview.exec();
      return true;
    }
  }
  return false;
}

}  // namespace report

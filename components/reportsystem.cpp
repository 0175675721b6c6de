#include "reportsystem.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
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
#include <QSpinBox>
#include <QVBoxLayout>

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

int Run(QPagedPaintDevice& device, const std::array<double, 4>& border, QWidget* parent, const QString& status,
        const std::function<void(TReport&)>& print) {
  QPainter painter(&device);
  StatusWindow window(parent, status);
  if (parent != nullptr && QApplication::platformName() != QLatin1String("offscreen")) window.show();
  TReport r(device, painter, border);
  r.OnNewPage([&] { window.Page(r.Page()); });
  print(r);
  painter.end();
  return r.Page();
}

}  // namespace

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
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
    const QString chosen = QFileDialog::getSaveFileName(&dialog, QStringLiteral("Report to a PDF file"), file->text(),
                                                        QStringLiteral("PDF files (*.pdf)"));
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
    if (toFile->isChecked() && file->text().trimmed().isEmpty()) {
      file->setFocus();
      continue;  // a file needs a name
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

bool TReportSystem::Execute(QWidget* parent, const std::function<void(TReport&)>& print) {
  pages_ = 0;
  if (askSetup && !Setup(parent)) return false;
  switch (destination) {
    case Destination::File: {
      QPdfWriter writer(fileName);
      writer.setTitle(jobTitle);
      writer.setCreator(QStringLiteral("Vantrell"));
      writer.setPageSize(QPageSize(QPageSize::Letter));
      writer.setPageMargins(QMarginsF(0, 0, 0, 0));
      writer.setResolution(600);
      pages_ = Run(writer, {0, 0, 0, 0}, parent, QStringLiteral("Generating page %p"), print);
      return true;
    }
    case Destination::Printer: {
      QPrinter printer(QPrinter::HighResolution);
      if (!printerName.isEmpty()) printer.setPrinterName(printerName);
      printer.setFullPage(true);
      printer.setDocName(jobTitle);
      printer.setCopyCount(copies);
      pages_ = Run(printer, BorderOf(printer), parent, QStringLiteral("Printing page %p"), print);
      return true;
    }
    case Destination::Preview: {
      QPrinter printer(QPrinter::HighResolution);
      printer.setFullPage(true);
      printer.setDocName(jobTitle);
      QPrintPreviewDialog preview(&printer, parent);
      preview.setWindowTitle(QStringLiteral("Report Preview"));
      QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* p) {
        pages_ = Run(*p, BorderOf(*p), parent, QStringLiteral("Generating page %p"), print);
      });
      if (auto* widget = preview.findChild<QPrintPreviewWidget*>()) widget->setZoomFactor(1.0);
      preview.exec();
      return true;
    }
  }
  return false;
}

}  // namespace report

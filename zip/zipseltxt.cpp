#include "zipseltxt.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "icons.h"
#include "mainwindowservices.h"
#include "prompts.h"
#include "recordsession.h"
#include "settings.h"
#include "zipexpand.h"
#include "ziplister.h"

TfrmZipSelTxt::TfrmZipSelTxt(TfrmZipExpand& zipWindow, MainWindowServices& services)
    : QDialog(&zipWindow), zipWindow_(zipWindow), services_(services) {
  setObjectName("frmZipSelTxt");
  setWindowTitle("Extracted ZipText ");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  resize(546, 316);

  auto* label2 = new QLabel("File:", this);
  label2->setObjectName("Label2");
  entryNameLabel_ = new QLabel(this);
  entryNameLabel_->setObjectName("Label1");
  QPalette navy = entryNameLabel_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  entryNameLabel_->setPalette(navy);
  entryNameLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  entryNameLabel_->setIndent(6);
  printButton_ = new QToolButton(this);
  printButton_->setObjectName("sbtnPrint");
  printButton_->setIcon(icons::ToolIcon("recrpt"));
  printButton_->setToolTip("Print");
  copyToDescButton_ = new QToolButton(this);
  copyToDescButton_->setObjectName("sbtnCpyTxtToDesc");
  copyToDescButton_->setText("Copy to Desc");
  copyToDescButton_->setEnabled(false);
  exitButton_ = new QToolButton(this);
  exitButton_->setObjectName("sbtnExit");
  exitButton_->setText("Exit");
  printButton_->setFixedSize(30, 25);
  copyToDescButton_->setFixedSize(90, 25);
  exitButton_->setFixedSize(73, 25);
  auto* top = new QHBoxLayout;
  top->setContentsMargins(6, 4, 6, 4);
  top->addWidget(label2);
  top->addWidget(entryNameLabel_, 1);
  top->addWidget(printButton_);
  top->addWidget(copyToDescButton_);
  top->addWidget(exitButton_);

  textView_ = new QPlainTextEdit(this);
  textView_->setObjectName("Memo1");
  textView_->setReadOnly(true);
  textView_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  textView_->setLineWrapMode(QPlainTextEdit::NoWrap);
  textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  textView_->installEventFilter(this);

  printStatus_ = new QLabel(this);
  printStatus_->setObjectName("StatusPanel0");
  printStatus_->setFrameShape(QFrame::Panel);
  printStatus_->setFrameShadow(QFrame::Sunken);
  printStatus_->setFixedWidth(146);
  closeAfterCopyBox_ =
      new QCheckBox("Close \"Zip File Archive\" and \"Extracted Zip Text\" after \"Copy to Desc\"", this);
  closeAfterCopyBox_->setObjectName("chkbxCloseFrms");
  closeAfterCopyBox_->setChecked(services_.Settings().Read(settings::kChkBxFrms));
  auto* status = new QHBoxLayout;
  status->setContentsMargins(2, 1, 2, 1);
  status->addWidget(printStatus_);
  status->addWidget(closeAfterCopyBox_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addLayout(top);
  layout->addWidget(textView_, 1);
  layout->addLayout(status);

  statusTimer_ = new QTimer(this);
  statusTimer_->setObjectName("Timer1");
  statusTimer_->setInterval(5000);
  statusTimer_->setSingleShot(true);
  connect(statusTimer_, &QTimer::timeout, this, [this] { printStatus_->setText(" "); });
  connect(textView_, &QPlainTextEdit::copyAvailable, copyToDescButton_, &QToolButton::setEnabled);
  connect(copyToDescButton_, &QToolButton::clicked, this, &TfrmZipSelTxt::sbtnCpyTxtToDescClick);
  connect(printButton_, &QToolButton::clicked, this, &TfrmZipSelTxt::sbtnPrintClick);
  connect(exitButton_, &QToolButton::clicked, this, &QDialog::close);
  connect(closeAfterCopyBox_, &QCheckBox::toggled, this,
          [this](bool on) { services_.Settings().Write(settings::kChkBxFrms, on); });
}

void TfrmZipSelTxt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  services_.ApplyFlatButtons(this);
}

QString TfrmZipSelTxt::DecodeText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) text = QString::fromLatin1(bytes);
  text.replace(QChar(0), QChar(u' '));
  return text;
}

void TfrmZipSelTxt::ShowEntry(TfrmZipExpand& zipWindow, MainWindowServices& services, const QString& name,
                              const zip::ZipDirEntry& entry) {
  prompts::Prompts& p = prompts::Current();
  if (entry.directory()) {
    p.Message(&zipWindow, prompts::Kind::Information, name + " is a folder: it has no text to show.");
    return;
  }
  const auto tooLarge = [&] {
    p.Beep();
    p.Message(&zipWindow, prompts::Kind::Error, "Text exceeds memo capacity.");
  };
  if ((qint64)entry.uncompressedSize > kMaxTextBytes) return tooLarge();
  // A folder of this user's own, removed with what is in it when the
  // viewer closes.
  QTemporaryDir temp;
  if (!temp.isValid()) {
    p.Beep();
    p.Message(&zipWindow, prompts::Kind::Error, "A temporary folder could not be created.");
    return;
  }
  if (zipWindow.RunExtraction(temp.path(), {entry.name}, false, zipWindow.LastOverwrite()) < 0) return;
  // The file takes the entry's stored name, in its own letter case.
  QString bare = entry.name;
  bare.replace(u'\\', u'/');
  bare = bare.mid(bare.lastIndexOf(u'/') + 1);
  QFile file(temp.path() + "/" + bare);
  if (bare.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    p.Message(&zipWindow, prompts::Kind::Error, "The entry " + name + " could not be extracted to be shown.");
    return;
  }
  if (file.size() > kMaxTextBytes) return tooLarge();
  const QString text = DecodeText(file.readAll());
  file.close();

  TfrmZipSelTxt viewer(zipWindow, services);
  viewer.entryNameLabel_->setText(name);
  viewer.textView_->setPlainText(text);
  viewer.exec();
}

bool TfrmZipSelTxt::eventFilter(QObject* watched, QEvent* event) {
  if (watched == textView_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ControlModifier && !textView_->document()->isEmpty()) {
      sbtnCpyTxtToDescClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmZipSelTxt::sbtnCpyTxtToDescClick() {
  QTextCursor c = textView_->textCursor();
  // The text box separates its lines with U+2029.
  QString text = c.selectedText();
  text.replace(QChar::ParagraphSeparator, u'\n');
  if (text.isEmpty()) return;
  if (!services_.Record().PasteIntoDescription(text)) return;
  c.clearSelection();
  textView_->setTextCursor(c);
  copyToDescButton_->setEnabled(false);
  if (closeAfterCopyBox_->isChecked()) {
    close();
    QMetaObject::invokeMethod(&zipWindow_, &QDialog::close, Qt::QueuedConnection);
  }
}

int TfrmZipSelTxt::PrintText(QPagedPaintDevice& device) {
  QPainter painter(&device);
  if (!painter.isActive()) return 0;
  // Places are in units of 1/600 inch, whatever the device's resolution.
  const double unit = device.logicalDpiY() / 600.0;
  QFont heading(QApplication::font().family(), 10);
  heading.setBold(true);
  heading.setUnderline(true);
  QFont body(QApplication::font().family(), 10);
  const double pageHeight = device.height();
  const double pageWidth = device.width();
  const double top = 100 * unit, indent = 30 * unit, gap = 5 * unit;
  double y = top;
  int pages = 1;
  const auto line = [&](const QString& text, double x) {
    const QFontMetricsF fm(painter.font(), &device);
    painter.drawText(QPointF(x, y + fm.ascent()), text);
    y += fm.height() + gap;
  };
  const QString name = entryNameLabel_->text().toUpper();
  painter.setFont(heading);
  line(zipWindow_.ArchivePath().toUpper(), 0);
  line(QString(), 0);
  line(name, 0);
  painter.setFont(body);
  y += QFontMetricsF(body, &device).height() + gap;
  const QStringList lines = textView_->toPlainText().split(u'\n');
  for (const QString& text : lines) {
    // A line wider than the page goes on over as many lines as it needs.
    QTextLayout layout(text, body, &device);
    layout.beginLayout();
    QStringList pieces;
    for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
      l.setLineWidth(std::max(1.0, pageWidth - indent));
      pieces.append(text.mid(l.textStart(), l.textLength()));
    }
    layout.endLayout();
    if (pieces.isEmpty()) pieces.append(QString());
    for (const QString& piece : pieces) {
      // A page is started only for a line that is still to come, so the
      // last page is never an empty continuation.
      if (y >= pageHeight - 100 * unit) {
        device.newPage();
        ++pages;
        y = top;
        painter.setFont(heading);
        line(name + " [continued]", 0);
        line(QString(), 0);
        painter.setFont(body);
      }
      line(piece, indent);
    }
  }
  return pages;
}

void TfrmZipSelTxt::sbtnPrintClick() {
  QApplication::processEvents();
  QPrinter printer;
  printer.setDocName(entryNameLabel_->text());
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  printStatus_->setText("Printing...");
  printStatus_->repaint();
  if (PrintText(printer) == 0) {
    prompts::Current().Message(this, prompts::Kind::Error, "The text could not be printed on " +
                                                               (printer.printerName().isEmpty() ? QString("the printer")
                                                                                               : printer.printerName()) +
                                                               ".");
    printStatus_->setText(" ");
    return;
  }
  printStatus_->setText("Print complete...");
  statusTimer_->start();
}

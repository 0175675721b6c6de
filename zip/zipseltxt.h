// The text viewer of a zip entry: the entry is extracted into a private
// temporary folder, shown as text, and removed when the viewer closes. A
// selected passage can be copied into the current record's description,
// and the whole text printed.
#pragma once

#include <QDialog>

class MainWindowServices;
class QCheckBox;
class QLabel;
class QPagedPaintDevice;
class QPlainTextEdit;
class QTimer;
class QToolButton;
class TfrmZipExpand;

namespace zip {
struct ZipDirEntry;
}

class TfrmZipSelTxt : public QDialog {
  Q_OBJECT

 public:
  // The largest text the viewer takes, in bytes; a larger entry gives
  // "Text exceeds memo capacity.".
  static constexpr qint64 kMaxTextBytes = 16 * 1024 * 1024;

  TfrmZipSelTxt(TfrmZipExpand& zipWindow, MainWindowServices& services);

  // Extracts `entry` (by its stored name) of the zip window's archive and
  // shows it in a viewer, titled `name` as the grid shows it, until closed.
  static void ShowEntry(TfrmZipExpand& zipWindow, MainWindowServices& services, const QString& name,
                        const zip::ZipDirEntry& entry);

  // Decodes a text file's bytes: UTF-8 when they are, else Latin-1; NUL
  // characters become blanks so the whole text shows.
  static QString DecodeText(const QByteArray& bytes);

  // Prints the archive's path and the entry's name, then the text, on
  // `device`; every further page is headed by the name and " [continued]".
  // Lines wider than the page are wrapped, not cut. Returns the pages.
  int PrintText(QPagedPaintDevice& device);

 public slots:
  void sbtnCpyTxtToDescClick();
  void sbtnPrintClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  TfrmZipExpand& zipWindow_;
  MainWindowServices& services_;

  // The widgets; each carries its given name as objectName.
  QLabel* entryNameLabel_ = nullptr;      // Label1: the entry's name as the grid lists it
  QToolButton* printButton_ = nullptr;     // sbtnPrint
  QToolButton* copyToDescButton_ = nullptr;  // sbtnCpyTxtToDesc
  QToolButton* exitButton_ = nullptr;      // sbtnExit
  QPlainTextEdit* textView_ = nullptr;     // Memo1: the entry's text
  QLabel* printStatus_ = nullptr;          // StatusPanel0: the print state
  QCheckBox* closeAfterCopyBox_ = nullptr;  // chkbxCloseFrms
  QTimer* statusTimer_ = nullptr;          // Timer1: clears the print state
};

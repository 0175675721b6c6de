// The about window (Help > About).
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// A modal window with the program's picture, name and version, a short text
// about the program (with the data folder in use and the Qt version) and
// an OK button.
class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(const QString& dataFolder, QWidget* parent = nullptr);

  static constexpr char kProductName[] = "Vantrell";
  // The project version (one place in the build); --version prints it too.
  static constexpr char kVersion[] = "Version " VANTRELL_VERSION;

  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QPlainTextEdit* Comments = nullptr;
  QPushButton* okButton = nullptr;
};

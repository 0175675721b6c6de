// The small entry form of the Catalog menu's Add, Delete and Rename.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QLineEdit;
class QToolButton;

namespace browse {

enum class CatalogCommand { Add = 0, Delete = 1, Rename = 2 };

// Set up for one command on the current catalog `current`. `existing`:
// the catalog names the tabs show (Add refuses one of them, letter case
// aside). `perform` does the command with the name the form holds (the new
// name for Rename) and tells whether it went through; the form then beeps
// and closes. `records`: how many records the current catalog holds, which
// Delete says go with it. The edit box takes no more than the Catalog
// field's 20 bytes.
class TfrmCatalog : public QDialog {
  Q_OBJECT

 public:
  TfrmCatalog(QWidget* parent, CatalogCommand command, const QString& current, QStringList existing,
              std::function<bool(const QString& name)> perform, int records = 0);

  // The catalog the command acts on: the text of the edit box when the form
  // came up.
  const QString& OldName() const { return oldName_; }

  QLabel* promptLabel = nullptr;
  QLineEdit* nameEdit = nullptr;
  QToolButton* actionButton = nullptr;
  QToolButton* cancelButton = nullptr;

 public slots:
  void sbtnADRClick();
  void sbtnCancelClick();

 private:
  CatalogCommand command_;
  QString oldName_;
  QStringList existing_;
  std::function<bool(const QString&)> perform_;
};

}  // namespace browse

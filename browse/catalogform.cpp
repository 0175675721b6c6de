#include "catalogform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "bytelimit.h"
#include "icons.h"
#include "prompts.h"
#include "schema.h"

namespace browse {

TfrmCatalog::TfrmCatalog(QWidget* parent, CatalogCommand command, const QString& current, QStringList existing,
                         std::function<bool(const QString&)> perform, int records)
    : QDialog(parent), command_(command), existing_(std::move(existing)), perform_(std::move(perform)) {
  setObjectName("frmCatalog");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  promptLabel = new QLabel(this);
  promptLabel->setObjectName("Label1");
  nameEdit = new QLineEdit(this);
  nameEdit->setObjectName("edtAddDelRen");
  fieldlimit::LimitBytes(nameEdit, store::kCatalogWidth);
  actionButton = new QToolButton(this);
  actionButton->setObjectName("sbtnADR");
  actionButton->setFixedSize(73, 25);
  actionButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  cancelButton = new QToolButton(this);
  cancelButton->setObjectName("sbtnCancel");
  cancelButton->setText("Exit");
  cancelButton->setFixedSize(73, 25);

  switch (command) {
    case CatalogCommand::Add:
      setWindowTitle("Add catalog");
      promptLabel->setText("Enter the name of the 'Catalog'\nto be added.");
      actionButton->setText("Add");
      actionButton->setIcon(icons::ToolIcon("save"));
      break;
    case CatalogCommand::Delete:
      setWindowTitle("Delete catalog");
      // One click deletes them all: the form says how many.
      promptLabel->setText("This 'Catalog' will be deleted.\n" +
                      (records == 0   ? QStringLiteral("It holds no records.")
                       : records == 1 ? QStringLiteral("Its 1 record will be deleted with it.")
                                      : "Its " + QString::number(records) + " records will be deleted with it."));
      nameEdit->setText(current);
      nameEdit->setEnabled(false);
      actionButton->setText("Delete");
      actionButton->setIcon(icons::ToolIcon("trash"));
      break;
    case CatalogCommand::Rename:
      setWindowTitle("Rename catalog");
      promptLabel->setText("Enter the NEW name for\ncatalog [" + current + "]");
      nameEdit->setText(current);
      actionButton->setText("Rename");
      actionButton->setIcon(icons::ToolIcon("edit"));
      break;
  }
  actionButton->setProperty("tag", (int)command);
  oldName_ = nameEdit->text();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(nameEdit, 1);
  buttons->addWidget(actionButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(promptLabel);
  layout->addLayout(buttons);
  setMinimumWidth(274);

  connect(actionButton, &QToolButton::clicked, this, &TfrmCatalog::sbtnADRClick);
  connect(cancelButton, &QToolButton::clicked, this, &TfrmCatalog::sbtnCancelClick);
}

void TfrmCatalog::sbtnADRClick() {
  // A name is stored without trailing blanks.
  QString name = nameEdit->text();
  while (name.endsWith(u' ')) name.chop(1);
  prompts::Prompts& p = prompts::Current();
  if (name.isEmpty()) {
    p.Message(this, prompts::Kind::Error, "You did not enter a catalog name.");
    nameEdit->setFocus();
    return;
  }
  if (command_ == CatalogCommand::Add && existing_.contains(name, Qt::CaseInsensitive)) {
    p.Beep();
    p.Message(this, prompts::Kind::Information, "A catalog with this name already exists.\nEnter a different name.");
    nameEdit->setFocus();
    return;
  }
  if (!perform_(name)) return;  // the failure was told; the form stays
  p.Beep();
  accept();
}

void TfrmCatalog::sbtnCancelClick() { reject(); }

}  // namespace browse

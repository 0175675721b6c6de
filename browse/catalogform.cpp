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
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  edtAddDelRen = new QLineEdit(this);
  edtAddDelRen->setObjectName("edtAddDelRen");
  fieldlimit::LimitBytes(edtAddDelRen, store::kCatalogWidth);
  sbtnADR = new QToolButton(this);
  sbtnADR->setObjectName("sbtnADR");
  sbtnADR->setFixedSize(73, 25);
  sbtnADR->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  sbtnCancel = new QToolButton(this);
  sbtnCancel->setObjectName("sbtnCancel");
  sbtnCancel->setText("Exit");
  sbtnCancel->setFixedSize(73, 25);

  switch (command) {
    case CatalogCommand::Add:
      setWindowTitle("Add catalog");
      Label1->setText("Enter the name of the 'Catalog'\nto be added.");
      sbtnADR->setText("Add");
      sbtnADR->setIcon(icons::ToolIcon("save"));
      break;
    case CatalogCommand::Delete:
      setWindowTitle("Delete catalog");
      // One click deletes them all: the form says how many.
      Label1->setText("This 'Catalog' will be deleted.\n" +
                      (records == 0   ? QStringLiteral("It holds no records.")
                       : records == 1 ? QStringLiteral("Its 1 record will be deleted with it.")
                                      : "Its " + QString::number(records) + " records will be deleted with it."));
      edtAddDelRen->setText(current);
      edtAddDelRen->setEnabled(false);
      sbtnADR->setText("Delete");
      sbtnADR->setIcon(icons::ToolIcon("trash"));
      break;
    case CatalogCommand::Rename:
      setWindowTitle("Rename catalog");
      Label1->setText("Enter the NEW name for\ncatalog [" + current + "]");
      edtAddDelRen->setText(current);
      sbtnADR->setText("Rename");
      sbtnADR->setIcon(icons::ToolIcon("edit"));
      break;
  }
  sbtnADR->setProperty("tag", (int)command);
  oldName_ = edtAddDelRen->text();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(edtAddDelRen, 1);
  buttons->addWidget(sbtnADR);
  buttons->addWidget(sbtnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addLayout(buttons);
  setMinimumWidth(274);

  connect(sbtnADR, &QToolButton::clicked, this, &TfrmCatalog::sbtnADRClick);
  connect(sbtnCancel, &QToolButton::clicked, this, &TfrmCatalog::sbtnCancelClick);
}

void TfrmCatalog::sbtnADRClick() {
  // A name is stored without trailing blanks.
  QString name = edtAddDelRen->text();
  while (name.endsWith(u' ')) name.chop(1);
  prompts::Prompts& p = prompts::Current();
  if (name.isEmpty()) {
    p.Message(this, prompts::Kind::Error, "You did not enter a catalog name.");
    edtAddDelRen->setFocus();
    return;
  }
  if (command_ == CatalogCommand::Add && existing_.contains(name, Qt::CaseInsensitive)) {
    p.Beep();
    p.Message(this, prompts::Kind::Information, "A catalog with this name already exists.\nEnter a different name.");
    edtAddDelRen->setFocus();
    return;
  }
  if (!perform_(name)) return;  // the failure was told; the form stays
  p.Beep();
  accept();
}

void TfrmCatalog::sbtnCancelClick() { reject(); }

}  // namespace browse

#include "crtdb.h"

#include <QDir>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "prompts.h"

namespace {

// An engine message as the program's error box shows it: with a full stop
// when it ends in a letter, digit or other character after '.'.
QString AsSentence(QString text) {
  if (!text.isEmpty() && text.back() > QLatin1Char('.')) text += QLatin1Char('.');
  return text;
}

// One "Database:" / "Index:" group with its two result labels.
QGroupBox* MakeGroup(QWidget* parent, const QString& title, const char* dbName, QLabel*& db,
                     const char* indexName, QLabel*& index) {
  auto* box = new QGroupBox(title, parent);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(10, 6, 10, 8);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(4);
  auto result = [box](const char* name) {
    auto* l = new QLabel(box);
    l->setObjectName(QLatin1String(name));
    // Navy, as the outcome texts are on every window of the program.
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 128));
    l->setPalette(p);
    // Room for the longest outcome, so that the window keeps its size.
    l->setMinimumWidth(QFontMetrics(l->font()).horizontalAdvance(QStringLiteral("Created")) + 12);
    return l;
  };
  db = result(dbName);
  index = result(indexName);
  grid->addWidget(new QLabel(QStringLiteral("Database:"), box), 0, 0);
  grid->addWidget(db, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Index:"), box), 1, 0);
  grid->addWidget(index, 1, 1);
  grid->setColumnStretch(1, 1);
  return box;
}

}  // namespace

TfrmCrtDb::TfrmCrtDb(const QString& dataDir, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      dataDir_(dataDir) {
  setObjectName(QStringLiteral("frmCrtDb"));
  setWindowTitle(QStringLiteral("Database Utility"));
  setModal(true);
  setFont(QFont(QStringLiteral("Arial"), 8));

  // The folder the files are made in, so that the user knows where the
  // database lives; a long path is shortened in the middle.
  auto* folderCaption = new QLabel(QStringLiteral("Data folder:"), this);
  auto* folder = new QLabel(this);
  folder->setObjectName(QStringLiteral("DataFolder"));
  const QString nativeDir = QDir::toNativeSeparators(dataDir);
  const int folderWidth = 230;
  folder->setText(QFontMetrics(font()).elidedText(nativeDir, Qt::ElideMiddle, folderWidth));
  folder->setToolTip(nativeDir);
  folder->setFixedWidth(folderWidth);
  folder->setTextInteractionFlags(Qt::TextSelectableByMouse);

  QGroupBox* records =
      MakeGroup(this, QStringLiteral("Records"), "Label7", recordsTableResult, "Label8", recordsIndexResult);
  QGroupBox* catalogs =
      MakeGroup(this, QStringLiteral("Catalogs"), "Label9", catalogTableResult, "Label10", catalogIndexResult);

  okButton = new QPushButton(QStringLiteral("&OK"), this);
  okButton->setObjectName(QStringLiteral("OKButton"));
  okButton->setDefault(true);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* folderRow = new QHBoxLayout;
  folderRow->setSpacing(6);
  folderRow->addWidget(folderCaption);
  folderRow->addWidget(folder, 1);

  auto* groups = new QHBoxLayout;
  groups->setSpacing(10);
  groups->addWidget(records);
  groups->addWidget(catalogs);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(8);
  layout->addLayout(folderRow);
  layout->addLayout(groups);
  layout->addLayout(buttons);
  // A fixed window: the layout sets its size and the user cannot change it.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  FormCreate();

  adjustSize();
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

// Creates the missing files and shows the outcome. The message boxes come
// before the window itself, as the creation runs while it is being built.
void TfrmCrtDb::FormCreate() {
  result_ = store::CreateDatabaseFiles(dataDir_);

  recordsTableResult->setText(result_.recordsTable);
  recordsIndexResult->setText(result_.recordsIndex);
  catalogTableResult->setText(result_.catalogTable);
  catalogIndexResult->setText(result_.catalogIndex);

  // The engine's reasons belong to the tables that failed, in order; they
  // are offered as tool tips of those labels.
  qsizetype reason = 0;
  for (QLabel* label : {recordsTableResult, catalogTableResult}) {
    if (label->text() == QLatin1String(store::kFailed) && reason < result_.reasons.size())
      label->setToolTip(result_.reasons[reason++]);
  }

  if (!result_.failure.isEmpty())
    prompts::Current().Message(this, prompts::Kind::Error, result_.failure);
  if (!result_.error.isEmpty())
    prompts::Current().Alert(this, QStringLiteral("Vantrell"), AsSentence(result_.error));
}

QString TfrmCrtDb::Label7Text() const { return recordsTableResult->text(); }
QString TfrmCrtDb::Label8Text() const { return recordsIndexResult->text(); }
QString TfrmCrtDb::Label9Text() const { return catalogTableResult->text(); }
QString TfrmCrtDb::Label10Text() const { return catalogIndexResult->text(); }

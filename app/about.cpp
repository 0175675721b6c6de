#include "about.h"

#include <QDir>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QtGlobal>

#include "icons.h"

namespace {

QString AboutText(const QString& dataFolder) {
  const QString folder = dataFolder.isEmpty() ? QStringLiteral("(none)") : QDir::toNativeSeparators(dataFolder);
  return QStringLiteral(
             "Vantrell keeps catalogues of your files: named catalogs of records, each with a "
             "title, the file's full path, its size and date and a description of any length. "
             "It tells you whether a catalogued file is still on disk, searches every catalog, "
             "prints reports and works on the files themselves.\n\n"
             "Data folder in use:\n%1\n\n"
             "Built with Qt %2, running on Qt %3.")
      .arg(folder, QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()));
}

}  // namespace

TfrmAbout::TfrmAbout(const QString& dataFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Vantrell"));
  setModal(true);
  setFont(QFont(QStringLiteral("Arial"), 9));

  const int pictureSize = 96;
  ProgramIcon = new QLabel(this);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  const qreal ratio = devicePixelRatioF();
  QPixmap picture = icons::AboutPicture(QSize(pictureSize, pictureSize) * ratio);
  picture.setDevicePixelRatio(ratio);
  ProgramIcon->setPixmap(picture);
  ProgramIcon->setFixedSize(pictureSize, pictureSize);

  ProductName = new QLabel(QLatin1String(kProductName), this);
  ProductName->setObjectName(QStringLiteral("ProductName"));
  QFont big(QStringLiteral("Arial"), 18, QFont::Bold);
  ProductName->setFont(big);
  ProductName->setStyleSheet(QStringLiteral("color: #000080;"));

  Version = new QLabel(QLatin1String(kVersion), this);
  Version->setObjectName(QStringLiteral("Version"));

  Comments = new QPlainTextEdit(this);
  Comments->setObjectName(QStringLiteral("Comments"));
  Comments->setReadOnly(true);
  Comments->setPlainText(AboutText(dataFolder));
  Comments->setFixedSize(340, 180);
  Comments->setFocusPolicy(Qt::ClickFocus);  // the folder can be selected and copied

  okButton = new QPushButton(QStringLiteral("&OK"), this);
  okButton->setObjectName(QStringLiteral("OKButton"));
  okButton->setDefault(true);
  okButton->setAutoDefault(true);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* names = new QVBoxLayout;
  names->setSpacing(2);
  names->addWidget(ProductName);
  names->addWidget(Version);
  names->addStretch(1);

  auto* top = new QHBoxLayout;
  top->setSpacing(14);
  top->addWidget(ProgramIcon, 0, Qt::AlignTop);
  top->addLayout(names, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 12);
  layout->setSpacing(10);
  layout->addLayout(top);
  layout->addWidget(Comments);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  okButton->setFocus();
}

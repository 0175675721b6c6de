#include "splash.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "icons.h"

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frmSplash"));
  setWindowTitle(QStringLiteral("Vantrell"));
  setFixedSize(kWidth, kHeight);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, kWidth, kHeight);
  Image1->setScaledContents(true);
  // Drawn for the screen's pixel density, so that it stays sharp on
  // high-density screens.
  QScreen* screen = QGuiApplication::primaryScreen();
  const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
  QPixmap picture = icons::SplashPicture(QSize(kWidth, kHeight) * ratio);
  picture.setDevicePixelRatio(ratio);
  Image1->setPixmap(picture);
  Image1->raise();

  if (screen) move(screen->availableGeometry().center() - rect().center());
}

void TfrmSplash::ShowAndPaint() {
  show();
  raise();
  repaint();
  QCoreApplication::processEvents();
}

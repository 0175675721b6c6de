// The splash window shown while the program opens its database.
#pragma once

#include <QWidget>

class QLabel;

// A borderless 387 x 210 window centred on the screen, filled by the
// stretched picture Image1.
class TfrmSplash : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmSplash(QWidget* parent = nullptr);

  // Shows the window and paints it at once, before the start-up work that
  // follows keeps the event loop busy.
  void ShowAndPaint();

  QLabel* Image1 = nullptr;

  static constexpr int kWidth = 387;
  static constexpr int kHeight = 210;
};

// The path label: one line showing a file's full path. A path too long for
// the label is shortened in the middle, whole folders at a time, so that the
// root and the file name stay readable.
#pragma once

#include <QString>
#include <QWidget>

class QFontMetrics;

class TFileLabel : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString path READ path WRITE setPath)

 public:
  explicit TFileLabel(QWidget* parent = nullptr);

  // The path as given; shown with the platform's separators.
  void setPath(const QString& path);
  QString path() const { return path_; }

  // The text painted at the label's present width.
  QString shownText() const;
  bool isShortened() const;

  // Fits path (in any separator style) into width pixels of fm:
  //  1. the whole path when it fits;
  //  2. else the root, the first folder and as many of the folders nearest
  //     the file name as fit, the dropped folders replaced by one "…";
  //  3. else root + "…" + file name, dropping the first folder too;
  //  4. else root + "…" + the file name elided in its middle.
  // The path keeps its own separators (a "C:\..." path on Linux is split at
  // its backslashes).
  static QString Shorten(const QString& path, const QFontMetrics& fm, int width);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void doubleClicked();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void refresh();

  QString path_;
};

// The help window: the program's help pages (HTML in the resources under
// ":/help") shown by topic number.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;
class QToolButton;

// One top-level window "Vantrell Help" for the whole program, with Back,
// Forward and Contents buttons, a find box and the page browser. It is
// created on first use and lives until the program ends; closing it only
// hides it.
//
// While a modal dialog of the program is open, the help window is attached
// to that dialog so that it can still be read, scrolled and clicked (a modal
// dialog blocks every other window); when the dialog goes away the help
// window becomes independent again and stays open.
class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  static THelpWindow* Instance();

  // Shows the window, brings it to the front and scrolls to the topic's
  // anchor. An unknown topic shows the contents page.
  void ShowTopic(int topic);

  // The page and anchor shown, e.g. "qrc:/help/mainwin.html#t1450".
  QString CurrentTopicSource() const;

  QTextBrowser* Browser() const { return browser_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  THelpWindow();

  void FollowModalDialog();
  void AttachTo(QWidget* host);
  void FindInPage(bool backward);

  QToolButton* back_ = nullptr;
  QToolButton* forward_ = nullptr;
  QToolButton* contents_ = nullptr;
  QLineEdit* find_ = nullptr;
  QLabel* findResult_ = nullptr;
  QTextBrowser* browser_ = nullptr;
  QPointer<QWidget> host_;  // the modal dialog the window is attached to
  bool placed_ = false;      // given its first place on the screen
};

// "qrc:/help/<page>.html#t<topic>"; the contents page for an unknown topic.
QString HelpTopicUrl(int topic);

// Whether the help has a page for the topic.
bool HelpTopicExists(int topic);

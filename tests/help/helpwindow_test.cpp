// The help window: topics open at their anchor, navigation, finding text,
// and staying usable while a modal dialog of the program is open.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>

#include "helpwindow.h"

namespace {

// Vertical position of a named anchor in the shown document.
qreal AnchorTop(QTextBrowser* browser, const QString& anchor) {
  QTextDocument* doc = browser->document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
    for (auto frag = b.begin(); !frag.atEnd(); ++frag)
      if (frag.fragment().charFormat().anchorNames().contains(anchor))
        return doc->documentLayout()->blockBoundingRect(b).top();
  return -1;
}

QToolButton* Button(THelpWindow* w, const QString& text) {
  for (QToolButton* b : w->findChildren<QToolButton*>())
    if (b->text().remove(u'&') == text) return b;
  return nullptr;
}

TEST(HelpWindow, IsOneWindowForTheProgram) {
  THelpWindow* w = THelpWindow::Instance();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(THelpWindow::Instance(), w);
  EXPECT_TRUE(w->isWindow());
  EXPECT_EQ(w->windowTitle(), u"Vantrell Help");
  w->ShowTopic(1000);
  w->close();  // closing only hides it
  EXPECT_EQ(THelpWindow::Instance(), w);
  EXPECT_FALSE(w->isVisible());
}

TEST(HelpWindow, ShowTopicOpensThePageAtTheTopicsAnchor) {
  THelpWindow* w = THelpWindow::Instance();
  w->ShowTopic(1450);
  QApplication::processEvents();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/mainwin.html#t1450");

  QTextBrowser* browser = w->Browser();
  const qreal top = AnchorTop(browser, QStringLiteral("t1450"));
  ASSERT_GT(top, 0);
  // The record-list section is in the middle of a long page: the view is
  // scrolled so that its heading is at the top.
  QScrollBar* bar = browser->verticalScrollBar();
  ASSERT_LT(bar->value(), bar->maximum());
  EXPECT_NEAR(bar->value(), top, 2.0);
  const QTextCursor atTop = browser->cursorForPosition(QPoint(10, 4));
  EXPECT_TRUE(atTop.block().text().contains(u"File Title")) << atTop.block().text().toStdString();
}

TEST(HelpWindow, UnknownTopicShowsTheContents) {
  THelpWindow* w = THelpWindow::Instance();
  w->ShowTopic(1450);
  w->ShowTopic(4711);
  QApplication::processEvents();
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/index.html#t1000");
  EXPECT_EQ(w->Browser()->documentTitle(), u"Contents");
  // Scrolled to the very top: the page starts with its heading.
  EXPECT_LE(w->Browser()->verticalScrollBar()->value(), AnchorTop(w->Browser(), QStringLiteral("t1000")));
  EXPECT_TRUE(w->Browser()->toPlainText().startsWith(u"Vantrell Help"));
}

TEST(HelpWindow, BackForwardAndContentsButtons) {
  THelpWindow* w = THelpWindow::Instance();
  w->ShowTopic(1000);
  w->ShowTopic(1330);
  w->ShowTopic(1540);
  QToolButton* back = Button(w, QStringLiteral("Back"));
  QToolButton* forward = Button(w, QStringLiteral("Forward"));
  QToolButton* contents = Button(w, QStringLiteral("Contents"));
  ASSERT_TRUE(back && forward && contents);

  EXPECT_TRUE(back->isEnabled());
  EXPECT_FALSE(forward->isEnabled());
  back->click();
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/search.html#t1330");
  EXPECT_TRUE(forward->isEnabled());
  forward->click();
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/fileops.html#t1540");
  contents->click();
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/index.html#t1000");
}

TEST(HelpWindow, FollowingALinkOpensItsTarget) {
  THelpWindow* w = THelpWindow::Instance();
  w->ShowTopic(1000);
  // The contents page links to the search topic; follow it as a click does.
  w->Browser()->setSource(w->Browser()->source().resolved(QUrl(QStringLiteral("search.html#t1330"))));
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/search.html#t1330");
  EXPECT_TRUE(w->Browser()->toPlainText().contains(u"Files found"));
}

TEST(HelpWindow, FindsTextOnThePageAndSaysWhenItIsNotThere) {
  THelpWindow* w = THelpWindow::Instance();
  w->ShowTopic(1460);
  auto* find = w->findChild<QLineEdit*>();
  ASSERT_NE(find, nullptr);
  find->setText(QStringLiteral("ctrl+space"));
  emit find->returnPressed();
  EXPECT_EQ(w->Browser()->textCursor().selectedText().toLower(), u"ctrl+space");

  find->setText(QStringLiteral("no such words here"));
  emit find->returnPressed();
  bool saysNotFound = false;
  for (QLabel* l : w->findChildren<QLabel*>()) saysNotFound |= l->text() == u"Not found";
  EXPECT_TRUE(saysNotFound);
}

TEST(HelpWindow, StaysUsableBesideAModalDialogAndOutlivesIt) {
  THelpWindow* w = THelpWindow::Instance();
  w->ShowTopic(1000);

  auto* dialog = new QDialog;
  dialog->setModal(true);
  dialog->show();
  ASSERT_EQ(QApplication::activeModalWidget(), dialog);

  // Asking for help while the dialog is open puts the help window over the
  // dialog, which a modal dialog does not block.
  w->ShowTopic(1410);
  EXPECT_EQ(w->parentWidget(), dialog);
  EXPECT_TRUE(w->isWindow());
  EXPECT_TRUE(w->isVisible());

  // The dialog closes and is deleted: the help window stays, on its own.
  dialog->hide();
  EXPECT_EQ(w->parentWidget(), nullptr);
  EXPECT_TRUE(w->isVisible());
  delete dialog;
  EXPECT_EQ(THelpWindow::Instance(), w);
  EXPECT_EQ(w->CurrentTopicSource(), u"qrc:/help/catalogs.html#t1410");

  // Deleted while still shown: the help window is let go before that.
  dialog = new QDialog;
  dialog->setModal(true);
  dialog->show();
  w->ShowTopic(1420);
  EXPECT_EQ(w->parentWidget(), dialog);
  delete dialog;
  EXPECT_EQ(THelpWindow::Instance(), w);
  EXPECT_EQ(w->parentWidget(), nullptr);
}

}  // namespace

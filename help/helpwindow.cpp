#include "helpwindow.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include "topics.h"

// The resources live in this static library; naming them here makes the
// linker keep them in every program that uses the help.
static void InitHelpResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(help);
    return true;
  }();
  (void)done;
}

namespace {

const HelpTopicPage* FindTopic(int topic) {
  for (const HelpTopicPage& t : kHelpTopics)
    if (t.topic == topic) return &t;
  return nullptr;
}

}  // namespace

QString HelpTopicUrl(int topic) {
  InitHelpResources();
  const HelpTopicPage* t = FindTopic(topic);
  if (!t) t = FindTopic(kHelpContentsTopic);
  return QStringLiteral("qrc:/help/%1#t%2").arg(QLatin1String(t->page)).arg(t->topic);
}

bool HelpTopicExists(int topic) {
  InitHelpResources();
  return FindTopic(topic) != nullptr;
}

THelpWindow* THelpWindow::Instance() {
  static QPointer<THelpWindow> instance;
  if (!instance) {
    InitHelpResources();
    instance = new THelpWindow;
    // A window without parent is not deleted by anyone else; the
    // application takes it down when it quits.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, instance.data(), &QObject::deleteLater);
  }
  return instance;
}

THelpWindow::THelpWindow() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Vantrell Help"));
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto makeButton = [this](const QString& text, QStyle::StandardPixmap icon, const QString& tip) {
    auto* b = new QToolButton(this);
    b->setText(text);
    b->setIcon(style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    b->setToolTip(tip);
    return b;
  };
  contents_ = makeButton(QStringLiteral("&Contents"), QStyle::SP_FileDialogContentsView,
                         QStringLiteral("Contents (Alt+Home)"));
  back_ = makeButton(QStringLiteral("&Back"), QStyle::SP_ArrowBack,
                     QStringLiteral("Back to the page seen before (Alt+Left)"));
  forward_ = makeButton(QStringLiteral("&Forward"), QStyle::SP_ArrowForward,
                        QStringLiteral("Forward again (Alt+Right)"));
  back_->setEnabled(false);
  forward_->setEnabled(false);

  auto* findLabel = new QLabel(QStringLiteral("F&ind:"), this);
  find_ = new QLineEdit(this);
  find_->setClearButtonEnabled(true);
  find_->setPlaceholderText(QStringLiteral("word on this page"));
  find_->setMaximumWidth(220);
  findLabel->setBuddy(find_);
  findResult_ = new QLabel(this);
  findResult_->setMinimumWidth(QFontMetrics(font()).horizontalAdvance(QStringLiteral("Not found")) + 6);

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(4, 4, 4, 2);
  bar->setSpacing(4);
  bar->addWidget(contents_);
  bar->addWidget(back_);
  bar->addWidget(forward_);
  bar->addStretch(1);
  bar->addWidget(findLabel);
  bar->addWidget(find_);
  bar->addWidget(findResult_);

  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  browser_->setOpenExternalLinks(true);
  browser_->setFrameShape(QFrame::StyledPanel);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addLayout(bar);
  layout->addWidget(browser_, 1);

  connect(contents_, &QToolButton::clicked, this, [this] { ShowTopic(kHelpContentsTopic); });
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, findResult_, &QLabel::clear);
  connect(find_, &QLineEdit::returnPressed, this, [this] { FindInPage(false); });
  connect(find_, &QLineEdit::textChanged, findResult_, &QLabel::clear);

  auto shortcut = [this](const QKeySequence& keys, auto slot) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { browser_->backward(); });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { browser_->forward(); });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Home), [this] { ShowTopic(kHelpContentsTopic); });
  shortcut(QKeySequence::Find, [this] {
    find_->setFocus();
    find_->selectAll();
  });
  shortcut(QKeySequence::FindNext, [this] { FindInPage(false); });
  shortcut(QKeySequence::FindPrevious, [this] { FindInPage(true); });
  shortcut(QKeySequence(Qt::Key_Escape), [this] { close(); });

  resize(720, 640);
}

void THelpWindow::ShowTopic(int topic) {
  FollowModalDialog();
  if (!placed_) {
    // Centred on the screen of the window the user is working in.
    QScreen* screen = nullptr;
    if (QWidget* active = QApplication::activeWindow()) screen = active->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
      const QRect area = screen->availableGeometry();
      resize(size().boundedTo(area.size()));
      move(area.center() - rect().center());
    }
    placed_ = true;
  }
  if (isMinimized())
    showNormal();
  else
    show();
  raise();
  activateWindow();
  browser_->setSource(QUrl(HelpTopicUrl(topic)));
  browser_->setFocus();
}

QString THelpWindow::CurrentTopicSource() const { return browser_->source().toString(); }

void THelpWindow::FollowModalDialog() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal->window() != window() && !modal->isAncestorOf(this))
    AttachTo(modal->window());
}

// Makes `host` (a modal dialog, or nullptr) the window's parent, keeping
// its place, size and visibility.
void THelpWindow::AttachTo(QWidget* host) {
  if (host == host_ && host == parentWidget()) return;
  if (host_) host_->removeEventFilter(this);
  const bool wasVisible = isVisible();
  const QRect place = geometry();
  setParent(host, Qt::Window);
  host_ = host;
  if (host_) host_->installEventFilter(this);
  if (placed_) setGeometry(place);
  if (wasVisible) show();
}

bool THelpWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == host_ && event->type() == QEvent::Hide && !host_->isVisible()) {
    // The dialog closes (and may be deleted next, which would take this
    // window with it): move on to a modal dialog still open under it, or
    // become an independent window again.
    QWidget* next = QApplication::activeModalWidget();
    if (next == host_ || (next && !next->isVisible())) next = nullptr;
    AttachTo(next ? next->window() : nullptr);
  }
  return QWidget::eventFilter(watched, event);
}

void THelpWindow::FindInPage(bool backward) {
  const QString text = find_->text();
  if (text.isEmpty()) return;
  const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
  bool found = browser_->find(text, flags);
  if (!found) {
    // Go round: start again from the other end of the page.
    const QTextCursor keep = browser_->textCursor();
    QTextCursor from(browser_->document());
    from.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    browser_->setTextCursor(from);
    found = browser_->find(text, flags);
    if (!found) browser_->setTextCursor(keep);
  }
  findResult_->setText(found ? QString() : QStringLiteral("Not found"));
}

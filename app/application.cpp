#include "application.h"

#include <QFont>

#include <QMetaObject>

#include <exception>

#include "prompts.h"

namespace {

const QString kTitle = QStringLiteral("Vantrell");

}  // namespace

TVantrellApplication::TVantrellApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kTitle);
  setOrganizationName(QStringLiteral("Brannock"));
  // No display name: Qt would append it to every window title on X11.
  // The windows are laid out in Arial (a metric-compatible face where it is
  // not installed); menus, message boxes and the tray menu use the same
  // family, at the desktop's size.
  QFont font = QApplication::font();
  font.setFamily(QStringLiteral("Arial"));
  QApplication::setFont(font);
}

TVantrellApplication* TVantrellApplication::Instance() {
  return dynamic_cast<TVantrellApplication*>(QCoreApplication::instance());
}

bool TVantrellApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleError(std::current_exception());
    return false;
  }
}

void TVantrellApplication::InstallErrorHandler() { handlerInstalled_ = true; }

QString TVantrellApplication::ErrorMessageText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + u'.';
  return message;
}

QString TVantrellApplication::MessageOf(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QStringLiteral("An unexpected error occurred");
}

void TVantrellApplication::HandleError(std::exception_ptr error) {
  // Once the program is ending, a further error (for instance from a window
  // torn down on the way out) would only repeat the news.
  if (ending_) return;
  const bool fatal = handlerInstalled_;
  if (fatal) ending_ = true;

  const QString text = ErrorMessageText(MessageOf(error));
  try {
    prompts::Current().Alert(activeWindow(), kTitle, text);
  } catch (...) {
    // The box itself failed: nothing more can be shown; the program still
    // ends (or goes on) as it would have after the box.
  }
  if (fatal) EndProgram();
}

void TVantrellApplication::EndProgram() {
  // Ends every running event loop, nested ones (modal dialogs) included, and
  // keeps new ones from starting; exec() returns 1.
  QCoreApplication::exit(1);
  // exec() clears that state when it starts, so an error caught before the
  // main loop runs (while windows are shown from the start-up code) ends the
  // main loop as soon as it begins.
  QMetaObject::invokeMethod(
      this, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

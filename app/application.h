// The application object: names the program and catches every error that
// escapes an event handler.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>

class TVantrellApplication : public QApplication {
 public:
  // Sets application name "Vantrell", organisation "Brannock" and display
  // name "Vantrell".
  TVantrellApplication(int& argc, char** argv);

  // Delivers the event; an exception that escapes the receiver's handler is
  // passed to HandleError instead of unwinding into the event loop.
  bool notify(QObject* receiver, QEvent* event) override;

  // From now on an escaped error ends the program after its message: the
  // event loops return and exec() gives exit code 1. Until then an error is
  // shown and the program goes on.
  void InstallErrorHandler();
  bool ErrorHandlerInstalled() const { return handlerInstalled_; }

  // Shows an error no handler caught: one box with the message, caption
  // "Vantrell", error icon and OK; then, once the handler is installed, ends
  // the program. After the end has begun further errors are not shown. Also
  // for the program's top-level catch.
  void HandleError(std::exception_ptr error);

  // The box's text: a full stop is appended when the message's last
  // character sorts after the full stop (letters and digits do, '!' and ')'
  // do not).
  static QString ErrorMessageText(const QString& message);

  // The text of an exception: its message for a std::exception (UTF-8), a
  // general text for anything else.
  static QString MessageOf(std::exception_ptr error);

  static TVantrellApplication* Instance();

 private:
  void EndProgram();

  bool handlerInstalled_ = false;
  bool ending_ = false;
};

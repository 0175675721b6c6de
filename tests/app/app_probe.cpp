// A small program the shell tests run as separate processes, because what
// they check only shows between processes (two copies of the program) or
// ends the process (the installed error handler).
//
//   app_probe instance CAPTION [FOLDER]
//                                becomes the first instance and prints
//                                "first", then "shown" and ends when asked
//                                to show itself; or prints "second", hands
//                                over to the first as started for FOLDER,
//                                prints the first's folder and every message
//                                shown, and ends (exit 0 when it answered)
//   app_probe error MODE         raises errors from event handlers (see
//                                RunErrors), then prints every alert shown
//                                and the code exec() returned
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "application.h"
#include "prompts.h"
#include "singleinstance.h"

namespace {

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// A probe that is never asked to end still ends on its own, so a failing
// test cannot leave it behind.
void EndEventually(int code) {
  QTimer::singleShot(60000, [code] { QCoreApplication::exit(code); });
}

int RunInstance(const QString& caption, const QString& folder) {
  TSingleInstance instance(caption);
  if (!instance.IsFirst()) {
    Say("second");
    prompts::ScriptedPrompts recorder;
    prompts::SetCurrent(&recorder);
    const bool answered = instance.HandOverTo(folder);
    prompts::SetCurrent(nullptr);
    Say(("folder:" + instance.FirstDataFolder()).toUtf8().constData());
    for (const QString& text : recorder.Texts()) Say(("message:" + QString(text).replace('\n', '|')).toUtf8().constData());
    return answered ? 0 : 2;
  }
  instance.SetDataFolder("/catalogue of the first");
  QObject::connect(&instance, &TSingleInstance::ShowRequested, [] {
    Say("shown");
    QCoreApplication::exit(0);
  });
  Say("first");
  EndEventually(4);
  return QCoreApplication::exec();
}

// An object whose event handler fails, for errors delivered outside a timer.
class Failing : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("failed while starting");
    return QObject::event(e);
  }
};

void Fail(const char* message) { throw std::runtime_error(message); }

// Modes:
//   before  an error before the handler is installed (the program goes on),
//           then one after it (the program ends)
//   after   two errors queued at once after installing: one box only
//   modal   an error inside a modal dialog's own event loop
//   early   an error delivered before the main loop has started
int RunErrors(TVantrellApplication& app, const QString& mode) {
  if (mode == u"before") {
    QTimer::singleShot(0, [] { Fail("failed before"); });
    QTimer::singleShot(0, [&app] {
      Say("continued");
      app.InstallErrorHandler();
      QTimer::singleShot(0, [] { Fail("failed after"); });
    });
  } else if (mode == u"after") {
    app.InstallErrorHandler();
    QTimer::singleShot(0, [] { Fail("first failure"); });
    QTimer::singleShot(0, [] { Fail("second failure"); });
  } else if (mode == u"modal") {
    app.InstallErrorHandler();
    QTimer::singleShot(0, [] {
      QDialog dialog;
      QTimer::singleShot(0, &dialog, [] { Fail("failed in dialog"); });
      dialog.exec();
      Say("dialog returned");
      // Windows opened on the way out must not keep the program alive.
      QDialog another;
      another.exec();
      Say("second dialog returned");
    });
  } else if (mode == u"early") {
    app.InstallErrorHandler();
    Failing failing;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&failing, &event);
    Say("start-up went on");
  } else {
    return 64;
  }
  EndEventually(4);
  return TVantrellApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 64;
  TVantrellApplication app(argc, argv);
  const QString what = QString::fromLocal8Bit(argv[1]);
  const QString arg = QString::fromLocal8Bit(argv[2]);
  if (what == u"instance") return RunInstance(arg, argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString());
  if (what != u"error") return 64;

  prompts::ScriptedPrompts recorder;
  prompts::SetCurrent(&recorder);
  const int code = RunErrors(app, arg);
  for (const auto& entry : recorder.log) {
    if (entry.call == prompts::ScriptedPrompts::Call::Alert)
      std::printf("alert|%s|%s\n", qPrintable(entry.caption), qPrintable(entry.text));
  }
  std::printf("exec returned %d\n", code);
  prompts::SetCurrent(nullptr);
  return code;
}

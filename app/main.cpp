// The program: one copy per user, a splash window while the database is
// opened, then the main window.
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#include "application.h"
#include "crtdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "mainwindow.h"
#include "folder.h"
#include "parentconsole.h"
#include "prompts.h"
#include "singleinstance.h"
#include "splash.h"


int main(int argc, char** argv) {
  QCoreApplication::setApplicationVersion(QStringLiteral(VANTRELL_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription("Vantrell keeps catalogues of your files.");
  const QCommandLineOption helpOption = parser.addHelpOption();
  const QCommandLineOption versionOption = parser.addVersionOption();
  QCommandLineOption dataDirOption("data-dir", "Use the database in <folder>.", "folder");
  parser.addOption(dataDirOption);

  // --help and --version are answered before the application object exists,
  // so they print and end where no display is available. Errors in the
  // arguments, and --help-all (which lists the options of the window system
  // too), are left to process() below, which sees the arguments without the
  // options Qt itself takes (-platform, -display...).
  {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    parser.parse(args);
    if (parser.isSet(helpOption) || parser.isSet(versionOption)) UseParentConsole();
    if (parser.isSet(helpOption)) {
      // Without an application object Qt cannot know the program's name.
      QString text = parser.helpText();
      const QString name = args.isEmpty() ? QStringLiteral("vantrell") : QFileInfo(args.constFirst()).fileName();
      text.replace(QStringLiteral("<executable_name>"), name);
      std::fputs(text.toLocal8Bit().constData(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (parser.isSet(versionOption)) {
      std::fputs("vantrell " VANTRELL_VERSION "\n", stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  }

  TVantrellApplication app(argc, argv);
  parser.process(app);

  const bool dataDirGiven = parser.isSet(dataDirOption);
  QString dataDir = dataDirGiven ? parser.value(dataDirOption) : store::DefaultDataFolder();
  dataDir = QDir::cleanPath(QDir(dataDir).absolutePath());

  TSingleInstance instance(TSingleInstance::CaptionFromExecutable(QString::fromLocal8Bit(argv[0])));
  if (!instance.IsFirst()) {
    // Another copy runs: it is brought forward, and this one ends.
    instance.HandOverTo(dataDir);
    return 0;
  }
  // A catalogue left beside the program by an earlier version is offered to
  // be moved to the user's data folder; declined, it is opened where it is.
  if (!dataDirGiven) {
    const QString legacy =
        store::FromUtf8(store::LegacyDataFolderUtf8(store::ToUtf8(QCoreApplication::applicationDirPath())));
    if (!legacy.isEmpty() && QDir::cleanPath(legacy) != dataDir) {
      prompts::Prompts& p = prompts::Current();
      if (!store::MissingDatabaseFilesUtf8(store::ToUtf8(dataDir)).empty()) {
        const prompts::Button answer = p.Message(
            nullptr, prompts::Kind::Confirmation,
            "A catalogue was found beside the program, in\n" + QDir::toNativeSeparators(legacy) +
                "\n\nThe program now keeps its catalogue in your own data folder, where cleaning or "
                "reinstalling the program cannot delete it:\n" +
                QDir::toNativeSeparators(dataDir) + "\n\nMove the catalogue there now?\n(No opens it where it is.)",
            prompts::Yes | prompts::No, prompts::Yes);
        std::string error;
        if (answer != prompts::Yes) {
          dataDir = legacy;
        } else if (!store::MoveDataFolderUtf8(store::ToUtf8(legacy), store::ToUtf8(dataDir), &error)) {
          p.Message(nullptr, prompts::Kind::Error,
                    store::FromUtf8(error) + "\n\nThe catalogue stays where it is and is opened there.");
          dataDir = legacy;
        }
      } else {
        p.Message(nullptr, prompts::Kind::Information,
                  "A second catalogue was found beside the program, in\n" + QDir::toNativeSeparators(legacy) +
                      "\n\nIt was left as it is. To work on it, start the program with\n--data-dir \"" +
                      QDir::toNativeSeparators(legacy) + "\"");
      }
    }
  }
  instance.SetDataFolder(dataDir);

  TfrmSplash splash;
  splash.ShowAndPaint();

  QString folderError;
  if (!store::EnsureDataFolder(dataDir, &folderError)) {
    splash.hide();
    prompts::Current().Message(nullptr, prompts::Kind::Error, folderError);
    return 1;
  }

  TDataModule1 DataModule1;
  DataModule1.DataModule1Create(
      dataDir,
      [&splash](const QString& dir) {
        TfrmCrtDb frm(dir);
        splash.hide();
        frm.exec();
      },
      [](const QString& message) {
        prompts::Current().Alert(nullptr, "Vantrell", TVantrellApplication::ErrorMessageText(message));
      });

  std::unique_ptr<TfrmVantrell> window;
  try {
    window = std::make_unique<TfrmVantrell>(DataModule1, dataDir);
  } catch (const std::exception& e) {
    splash.hide();
    prompts::Current().Alert(nullptr, "Vantrell", TVantrellApplication::ErrorMessageText(QString::fromUtf8(e.what())));
    return 1;
  }
  app.InstallErrorHandler();
  QObject::connect(&instance, &TSingleInstance::ShowRequested, window.get(),
                   [w = window.get()] { BringForward(w); });

  splash.hide();
  splash.close();
  if (!window->StartsInTray()) window->show();
  return app.exec();
}

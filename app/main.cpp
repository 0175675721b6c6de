// The program: one copy per user, a splash window while the database is
// opened, then the main window.
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "application.h"
#include "crtdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "mainwindow.h"
#include "prompts.h"
#include "singleinstance.h"
#include "splash.h"


int main(int argc, char** argv) {
  TVantrellApplication app(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription("Vantrell keeps catalogues of your files.");
  parser.addHelpOption();
  QCommandLineOption dataDirOption("data-dir", "Use the database in <folder>.", "folder");
  parser.addOption(dataDirOption);
  parser.process(app);

  TSingleInstance instance(TSingleInstance::CaptionFromExecutable(QString::fromLocal8Bit(argv[0])));
  if (!instance.IsFirst()) {
    // Another copy runs: bring it forward and end.
    instance.ActivateFirst();
    return 0;
  }

  TfrmSplash splash;
  splash.ShowAndPaint();

  QString dataDir = parser.isSet(dataDirOption) ? parser.value(dataDirOption) : store::DefaultDataFolder();
  dataDir = QDir::cleanPath(QDir(dataDir).absolutePath());
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

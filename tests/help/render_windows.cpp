// render_shell_windows <folder> [topic...]: draws the about window, the
// "Database Utility" window, the splash and the help window (at the contents,
// the record list topic and any topics given) into PNG files in <folder>, on
// the offscreen platform unless another is chosen, so that they can be
// looked at.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>

#include "about.h"
#include "crtdb.h"
#include "datafiles.h"
#include "helpwindow.h"
#include "prompts.h"
#include "splash.h"

namespace {

bool Save(QWidget* w, const QString& folder, const QString& name) {
  w->show();
  QApplication::processEvents();
  const QString path = QDir(folder).filePath(name);
  if (!w->grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: render_shell_windows FOLDER [TOPIC...]\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  // Message boxes would wait for a click; they are recorded instead.
  prompts::ScriptedPrompts script;
  prompts::ScopedPrompts guard(&script);

  QTemporaryDir data;
  bool ok = true;
  {
    TfrmCrtDb created(data.path());
    ok &= Save(&created, out, QStringLiteral("crtdb-created.png"));
  }
  {
    QFile::remove(store::DataFilePath(data.path(), store::kCatalogIndex));
    TfrmCrtDb index(data.path());
    ok &= Save(&index, out, QStringLiteral("crtdb-index.png"));
  }
  {
    TfrmAbout about(QDir::homePath() + QStringLiteral("/.local/share/Brannock/Vantrell/data"));
    ok &= Save(&about, out, QStringLiteral("about.png"));
  }
  {
    TfrmSplash splash;
    splash.ShowAndPaint();
    ok &= Save(&splash, out, QStringLiteral("splash.png"));
  }
  THelpWindow* help = THelpWindow::Instance();
  QList<int> topics{1000, 1450};
  for (int i = 2; i < argc; ++i) topics << QString::fromLocal8Bit(argv[i]).toInt();
  for (int topic : topics) {
    help->ShowTopic(topic);
    ok &= Save(help, out, QStringLiteral("help-%1.png").arg(topic));
  }
  for (const QString& text : script.Texts()) std::fprintf(stderr, "message: %s\n", qPrintable(text));
  return ok ? 0 : 1;
}

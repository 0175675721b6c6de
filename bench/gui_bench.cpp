// The program's own window against a large and a small database: time from
// start to the main window shown, a tab switch, adding files, moving and
// deleting records, the search window, a report, pack and reindex, and the
// resident memory of the running program. gui_bench.h lists the files the
// measures live in.
//
//   vantrell-gui-bench --dir DIR [--records N] [--measure browse,add,...]
//                                                     the measures (all by default), BENCH lines
//   vantrell-gui-bench --startup DATADIR              (child) seconds to the window shown
//   vantrell-gui-bench --tabs DATADIR                 (child) tab switch seconds
//   (the other child modes: the table below)
#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <exception>
#include <functional>

#include "gui_bench.h"

using namespace guibench;

namespace {

using Value = std::function<QString(const char*)>;

// The child modes: the option that selects one, and what it runs with the
// option's value (`value` reads the other options it needs).
struct ChildMode {
  const char* option;
  std::function<int(const QString& arg, const Value& value)> run;
};

const ChildMode kChildModes[] = {
    {"--startup", [](const QString& a, const Value&) { return Startup(a); }},
    {"--tabs", [](const QString& a, const Value&) { return Session(a); }},
    {"--walk", [](const QString& a, const Value&) { return Walk(a); }},
    {"--add-folder", [](const QString& a, const Value& v) { return AddBatch(a, false, v("--data")); }},
    {"--add-tree", [](const QString& a, const Value& v) { return AddBatch(a, true, v("--data")); }},
    {"--move", [](const QString& a, const Value&) { return RecordBatch(a, true); }},
    {"--search", [](const QString& a, const Value& v) { return SearchWindow(a, v("--text")); }},
    {"--report", [](const QString& a, const Value& v) { return CatalogReport(a, v("--catalog"), v("--pdf")); }},
    {"--plain-report", [](const QString& a, const Value& v) { return PlainReport(a, v("--catalog"), v("--pdf")); }},
    {"--delete", [](const QString& a, const Value&) { return RecordBatch(a, false); }},
    {"--pack", [](const QString& a, const Value&) { return Maintenance(a, true); }},
    {"--reindex", [](const QString& a, const Value&) { return Maintenance(a, false); }},
    {"--compare", [](const QString& a, const Value&) { return CompareWindow(a); }},
};

// Every measure, in the order a run takes them. A new measure: a file of
// its own (gui_<kind>.cpp) holding its child mode and its Measure function,
// both declared in gui_bench.h, a row in kChildModes above and a row here.
struct NamedMeasure {
  const char* name;  // for --measure
  void (*run)(GuiRun&);
};
const NamedMeasure kMeasures[] = {
    {"browse", MeasureBrowse}, {"add", MeasureAdd},       {"batch", MeasureBatch},
    {"search", MeasureSearch}, {"report", MeasureReport}, {"maintenance", MeasureMaintenance},
    {"compare", MeasureCompare},
};

}  // namespace

int main(int argc, char** argv) {
  g_clock.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("Brannock");
  QCoreApplication::setApplicationName("Vantrell");
  QStringList args = app.arguments();
  const Value value = [&](const char* opt) {
    int i = args.indexOf(opt);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
  };
  try {
    for (const ChildMode& mode : kChildModes)
      if (!value(mode.option).isEmpty()) return mode.run(value(mode.option), value);
    QString dir = value("--dir");
    if (dir.isEmpty()) {
      std::fprintf(stderr,
                   "usage: vantrell-gui-bench --dir DIR [--records N] [--measure NAME[,NAME...]]\n"
                   "  measures: browse add batch search report maintenance compare\n");
      return 2;
    }
    size_t n = value("--records").isEmpty() ? 1000000 : value("--records").toULongLong();
    // Settings and sockets of this run only.
    qputenv("XDG_CONFIG_HOME", (dir + "/config").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      QString runtime = dir + "/runtime";
      QDir().mkpath(runtime);
      QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    GuiRun run;
    run.self = QCoreApplication::applicationFilePath();
    run.dir = dir;
    run.large = dir + "/gui-large";
    run.n = n;
    MakeDatabase(run.large, n);
    const QStringList only = value("--measure").split(',', Qt::SkipEmptyParts);
    for (const NamedMeasure& measure : kMeasures)
      if (only.isEmpty() || only.contains(QLatin1String(measure.name))) measure.run(run);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrell-gui-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

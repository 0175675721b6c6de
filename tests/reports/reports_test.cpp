// The catalog and record reports written to PDF, each word's place read
// back with pdftotext -bbox: the columns where the layout puts them, the
// binder offset, a wide title's second line, shortened paths, the footer
// and descriptions continued over pages.
#include <gtest/gtest.h>

#include <QFile>
#include <QApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QDir>
#include <QDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <tuple>
#include <vector>

#include "cataloglayout.h"
#include "filefacts.h"
#include "prompts.h"
#include "reportsystem.h"

namespace {

struct Word {
  int page;
  double left, right, top;  // inches from the paper's left and top edges
  QString text;
};

class ReportsTest : public ::testing::Test {
 protected:
  // Writes a report to a Letter-size PDF and reads its words back.
  std::vector<Word> Render(const std::function<void(report::TReport&)>& print) {
    const QString pdf = dir_.path() + "/report.pdf";
    {
      QPdfWriter writer(pdf);
      writer.setPageSize(QPageSize(QPageSize::Letter));
      writer.setPageMargins(QMarginsF(0, 0, 0, 0));
      writer.setResolution(1200);
      QPainter painter(&writer);
      report::TReport r(writer, painter);
      print(r);
      pages_ = r.Page();
    }
    // VANTRELL_KEEP_REPORTS=folder keeps each PDF there to be looked at.
    if (const QString keep = qEnvironmentVariable("VANTRELL_KEEP_REPORTS"); !keep.isEmpty())
      QFile::copy(pdf, keep + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pdf");
    QProcess p;
    p.start("pdftotext", {"-bbox", pdf, "-"});
    EXPECT_TRUE(p.waitForFinished(30000));
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    std::vector<Word> words;
    int page = 0;
    static const QRegularExpression word(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>");
    for (const QString& line : html.split('\n')) {
      if (line.contains("<page ")) ++page;
      const auto m = word.match(line);
      if (m.hasMatch())
        words.push_back({page, m.captured(1).toDouble() / 72, m.captured(3).toDouble() / 72,
                         m.captured(2).toDouble() / 72, m.captured(4)});
    }
    return words;
  }
  // Pixels of the first page that are clearly red, and those shaded 10 %.
  std::pair<int, int> Colours() const {
    QProcess p;
    p.start("pdftoppm", {"-r", "100", "-f", "1", "-l", "1", dir_.path() + "/report.pdf"});
    p.waitForFinished(30000);
    const QByteArray ppm = p.readAllStandardOutput();
    // "P6\n<width> <height>\n255\n", then three bytes a pixel.
    int newlines = 0;
    qsizetype at = 0;
    while (at < ppm.size() && newlines < 3)
      if (ppm[at++] == '\n') ++newlines;
    int red = 0, shaded = 0;
    for (qsizetype i = at; i + 2 < ppm.size(); i += 3) {
      const int r = (unsigned char)ppm[i], g = (unsigned char)ppm[i + 1], b = (unsigned char)ppm[i + 2];
      if (r > 200 && r - g > 80 && r - b > 80) ++red;
      if (std::abs(r - 230) <= 4 && std::abs(g - 230) <= 4 && std::abs(b - 230) <= 4) ++shaded;
    }
    return {red, shaded};
  }
  static const Word* Find(const std::vector<Word>& words, const QString& text, int nth = 0) {
    for (const Word& w : words)
      if (w.text == text && nth-- == 0) return &w;
    return nullptr;
  }
  QTemporaryDir dir_;
  int pages_ = 0;
};

std::function<bool(reports::Row&)> RowsOf(std::vector<reports::Row> rows) {
  auto at = std::make_shared<size_t>(0);
  return [rows, at](reports::Row& out) {
    if (*at >= rows.size()) return false;
    out = rows[(*at)++];
    return true;
  };
}

TEST_F(ReportsTest, ShortFormPutsEveryColumnInItsPlace) {
  reports::Options o;
  o.full = false;
  const QString wide = "Annual accounts of the association with every appendix, the minutes and the letters";
  const auto words = Render([&](report::TReport& r) {
    reports::PrintCatalogReport(r, o, "Letters", "3",
                                RowsOf({{"Alpha", "/home/me/alpha.txt", "1,024", "12/03/2019 14:22:05", ""},
                                        {wide, "/srv/a/b/c/d/e/f/g/h/very/deep/folders/of/archive/2019/report.pdf",
                                         "12", "01/01/2020 00:00:00", ""},
                                        {"Gamma", "/g.txt", "1,234,567,890", "02/02/2020", "", false},
                                        {"Delta", "/d.txt", "5", "8. 2. 2021 15:41:36", ""},
                                        {"Epsilon", "/" + QString(70, u'n') + ".txt", "77", "03/03/2020", ""}}),
                                QDate(2024, 5, 7));
  });
  const auto near = [](double a, double b) { return std::abs(a - b) < 0.03; };
  const Word* name = Find(words, "Letters");
  ASSERT_NE(name, nullptr);
  EXPECT_TRUE(near(name->left, 0.6)) << name->left;
  for (const char* heading : {"Title", "Path", "Bytes", "Date"}) ASSERT_NE(Find(words, heading), nullptr) << heading;
  EXPECT_TRUE(near(Find(words, "Title")->left, 0.6));
  EXPECT_TRUE(near(Find(words, "Path")->left, 3.95));
  EXPECT_TRUE(near(Find(words, "Bytes")->right, 7.35));
  EXPECT_TRUE(near(Find(words, "Date")->right, 7.95));
  const Word* alpha = Find(words, "Alpha");
  ASSERT_NE(alpha, nullptr);
  EXPECT_TRUE(near(alpha->left, 0.6));
  const Word* path = Find(words, "/home/me/alpha.txt");
  ASSERT_NE(path, nullptr);
  EXPECT_TRUE(near(path->left, 3.95));
  EXPECT_TRUE(near(path->top, alpha->top));
  EXPECT_TRUE(near(Find(words, "1,024")->right, 7.35));
  const Word* date = Find(words, "12/03/2019");
  ASSERT_NE(date, nullptr);
  EXPECT_TRUE(near(date->right, 7.95 - 0.03) || near(date->right, 7.95)) << "the date keeps its blank";
  EXPECT_EQ(Find(words, "14:22:05"), nullptr) << "no time";
  // A date stored without its time (a file dated at midnight) is printed
  // whole; a size wider than its cell is narrowed into it and does not run
  // over the path.
  ASSERT_NE(Find(words, "02/02/2020"), nullptr);
  EXPECT_TRUE(near(Find(words, "02/02/2020")->right, 7.95));
  // A locale's date with blanks in it is printed whole.
  ASSERT_NE(Find(words, "2021"), nullptr);
  EXPECT_TRUE(near(Find(words, "2021")->top, Find(words, "Delta")->top));
  EXPECT_EQ(Find(words, "15:41:36"), nullptr);
  const Word* big = Find(words, "1,234,567,890");
  ASSERT_NE(big, nullptr);
  EXPECT_TRUE(near(big->right, 7.35));
  EXPECT_GE(big->left, 6.75 - 0.01);
  // The wide title pushes its path to the next line; the path is shortened.
  const Word* annual = Find(words, "Annual");
  const Word* shortened = nullptr;
  for (const Word& w : words)
    if (w.text.startsWith("/...")) shortened = &w;
  ASSERT_NE(annual, nullptr);
  ASSERT_NE(shortened, nullptr);
  EXPECT_GT(shortened->top, annual->top + 0.05);
  EXPECT_TRUE(shortened->text.endsWith("/report.pdf")) << shortened->text.toStdString();
  EXPECT_LE(shortened->right - shortened->left, 2.8);
  // A name too wide for its cell even without its folders is squeezed into
  // the cell instead of running over the size and the date.
  const Word* longName = nullptr;
  for (const Word& w : words)
    if (w.text.endsWith("nnn.txt")) longName = &w;
  ASSERT_NE(longName, nullptr);
  EXPECT_TRUE(near(longName->left, 3.95));
  EXPECT_LE(longName->right, 6.75 + 0.01);
  ASSERT_NE(Find(words, "77"), nullptr);
  EXPECT_TRUE(near(Find(words, "77")->right, 7.35));
  // The footer: the count and the date.
  const Word* titles = Find(words, "Titles");
  ASSERT_NE(titles, nullptr);
  EXPECT_TRUE(near(titles->left, 0.6));
  EXPECT_NE(Find(words, "2024"), nullptr);
  EXPECT_GE(Find(words, "2024")->left, 7.0 - 0.01);
  EXPECT_EQ(pages_, 1);
  // The row of a file out of reach is red; the second row and the boxes
  // are shaded.
  const auto [red, shaded] = Colours();
  EXPECT_GT(red, 5);
  EXPECT_GT(shaded, 200);
}

// The Date cell holds the whole date and no time, in every form FLDATE is
// written in: each locale's short date and time, the long-date fallback and
// the older dd/mm/yyyy form.
TEST(ReportDate, WholeDateWithoutTimeInEveryLocale) {
  const auto dos = [](int y, int mo, int d, int h, int mi, int s) {
    return (int64_t)(y - 1980) << 25 | (int64_t)mo << 21 | (int64_t)d << 16 | h << 11 | mi << 5 | s / 2;
  };
  const QDate day(2021, 2, 8);
  int checked = 0;
  for (const QLocale& locale :
       QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
    const QString date = locale.toString(day, QLocale::ShortFormat);
    for (const auto& [h, m, s] : std::initializer_list<std::tuple<int, int, int>>{{15, 41, 36}, {3, 5, 0}, {0, 0, 0}}) {
      const QString text = browse::FileDateText(dos(2021, 2, 8, h, m, s), locale);
      const QString expected = text.startsWith(date) ? date : QStringLiteral("2021-02-08");
      ASSERT_EQ(reports::DateWithoutTime(text).trimmed(), expected)
          << locale.name().toStdString() << ": " << text.toStdString();
      ++checked;
    }
  }
  EXPECT_GT(checked, 300);
  EXPECT_EQ(reports::DateWithoutTime("12/03/2019 14:22:05"), "12/03/2019 ");
  EXPECT_EQ(reports::DateWithoutTime("8. 2. 2021"), "8. 2. 2021");
  EXPECT_EQ(reports::DateWithoutTime("2 Feb 2021 15:41:36"), "2 Feb 2021 ");
  EXPECT_EQ(reports::DateWithoutTime("08.02.21"), "08.02.21");
}

TEST_F(ReportsTest, BinderOffsetMovesAllButTheDescription) {
  reports::Options o;
  o.binder = true;
  const auto words = Render([&](report::TReport& r) {
    reports::PrintRecordReport(r, o, "Letters", {"Alpha", "/a.txt", "1", "12/03/2019 14:22:05", "Description words"});
  });
  const auto near = [](double a, double b) { return std::abs(a - b) < 0.03; };
  EXPECT_TRUE(near(Find(words, "Letters")->left, 0.8));
  EXPECT_TRUE(near(Find(words, "Alpha")->left, 0.8));
  EXPECT_TRUE(near(Find(words, "/a.txt")->left, 4.15));
  EXPECT_TRUE(near(Find(words, "Description")->left, 0.8));
  // The bold date is wider than its cell: narrowed, it stays clear of the size.
  ASSERT_NE(Find(words, "12/03/2019"), nullptr);
  EXPECT_GE(Find(words, "12/03/2019")->left, Find(words, "1")->right + 0.02);
  EXPECT_TRUE(near(Find(words, "12/03/2019")->right, 8.15));
  EXPECT_EQ(Find(words, "Title"), nullptr) << "the Full form has no headings";
  EXPECT_EQ(Colours().first, 0) << "nothing red for a file in reach";
}

TEST_F(ReportsTest, FullFormGivesEachRecordItsOwnPage) {
  reports::Options o;
  o.box = false;  // rules instead of boxes: nothing but rows could be shaded
  const auto words = Render([&](report::TReport& r) {
    reports::PrintCatalogReport(r, o, "Letters", "2",
                                RowsOf({{"Alpha", "/a.txt", "1", "12/03/2019 14:22:05", "First words"},
                                        {"Beta", "/b.txt", "2", "12/03/2019 14:22:05", "Second words"}}),
                                QDate(2024, 5, 7));
  });
  EXPECT_EQ(pages_, 2);
  ASSERT_NE(Find(words, "Beta"), nullptr);
  EXPECT_EQ(Find(words, "Beta")->page, 2);
  EXPECT_EQ(Find(words, "Second")->page, 2);
  EXPECT_EQ(Find(words, "Letters", 1)->page, 2) << "each page has the header";
  EXPECT_EQ(Find(words, "Title"), nullptr) << "no headings";
  EXPECT_EQ(Find(words, "Titles"), nullptr) << "no footer";
  EXPECT_LT(Colours().second, 1000) << "no shaded rows (a shaded row is thousands of pixels)";
}

TEST_F(ReportsTest, LongDescriptionContinuesOnNextPages) {
  QString text;
  for (int i = 1; i <= 400; ++i) text += QString("Line %1 of a long description.\n").arg(i);
  const auto words = Render([&](report::TReport& r) {
    reports::PrintRecordReport(r, reports::Options{}, "Letters", {"Alpha", "/a.txt", "1", "12/03/2019", text});
  });
  EXPECT_GE(pages_, 3);
  int continuedLines = 0, headers = 0;
  for (const Word& w : words) {
    if (w.text == "Continued") ++continuedLines;
    if (w.text == "Letters") ++headers;
  }
  EXPECT_EQ(continuedLines, pages_ - 1);
  EXPECT_EQ(headers, pages_);
  const Word* again = Find(words, "continued...");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->page, 2);
  ASSERT_NE(Find(words, "400"), nullptr);
  EXPECT_EQ(Find(words, "400")->page, pages_) << "the last line on the last page";
  // Descriptions stop at the 0.75 inch margin; the continuation line below
  // them stays inside the paper's 0.25 inch.
  for (const Word& w : words) {
    EXPECT_LE(w.top, 11 - 0.25) << w.text.toStdString();
    if (w.text == "Line") {
      EXPECT_LE(w.top, 11 - 0.75);
    }
  }
}

// A PDF file that cannot be written (its folder missing, or a file where a
// folder should be) is said so before anything is printed, nothing is
// written, and the setup dialog comes back; a bare file name is made whole
// in a save dialog, and the file is kept by its whole path.
TEST_F(ReportsTest, PdfFileThatCannotBeWrittenIsSaidAndSetupStays) {
  prompts::ScriptedPrompts script;
  prompts::ScopedPrompts scoped(&script);
  QFile plain(dir_.path() + "/plain");
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  int printed = 0;
  const auto print = [&](report::TReport& r) {
    ++printed;
    reports::Options o;
    reports::PrintCatalogReport(r, o, "Letters", "1", RowsOf({{"Alpha", "/a.txt", "1", "", "Text"}}),
                                QDate(2024, 5, 7));
  };
  report::TReportSystem system;
  system.askSetup = false;
  system.destination = report::Destination::File;
  for (const QString& bad : {dir_.path() + "/missing/r.pdf", dir_.path() + "/plain/r.pdf"}) {
    script.Clear();
    system.fileName = bad;
    EXPECT_FALSE(system.Execute(nullptr, print));
    EXPECT_EQ(printed, 0);
    EXPECT_FALSE(QFileInfo::exists(bad));
    ASSERT_EQ(script.Texts().size(), 1);
    EXPECT_TRUE(script.Texts()[0].contains(QFileInfo(bad).path())) << script.Texts()[0].toStdString();
  }

  // Through the dialog: a name in a missing folder is refused and the dialog
  // shown again; a bare name goes through the save dialog.
  script.Clear();
  system.askSetup = true;
  system.fileName = dir_.path() + "/missing/r.pdf";
  const QString chosen = dir_.path() + "/chosen.pdf";
  script.AnswerFile(chosen);
  int shown = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog->objectName() != "ReportSetup") return;
    ++shown;
    if (shown == 2) dialog->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)->setText("bare.pdf");
    dialog->accept();
  });
  timer.start(20);
  const QString cwd = QDir::currentPath();
  QDir::setCurrent(dir_.path());
  EXPECT_TRUE(system.Execute(nullptr, print));
  QDir::setCurrent(cwd);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(printed, 1);
  EXPECT_EQ(system.fileName, chosen);
  EXPECT_TRUE(QFileInfo::exists(chosen));
  EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/bare.pdf"));
  ASSERT_EQ(script.Count(prompts::ScriptedPrompts::Call::ChooseSaveFile), 1);
  EXPECT_TRUE(QDir::isAbsolutePath(script.log.last().text));
  EXPECT_TRUE(script.log.last().text.endsWith("/bare.pdf"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({"chosen.pdf", "plain"})) << "no file left over";
}

// The report printed through the system's print service to its PDF
// printer, as the Report Setup's printer choice does: the job's PDF has the
// report's pages and text. Skipped, saying why, where the service cannot
// run.
TEST_F(ReportsTest, PrintsThroughThePrintService) {
  const QString queue = "VantrellPDF";
  const auto run = [](const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000)) return std::pair{-1, QString()};
    return std::pair{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                     QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError())};
  };
  if (QStandardPaths::findExecutable("lpstat").isEmpty()) GTEST_SKIP() << "CUPS is not installed (no lpstat)";
  const auto running = [&] { return run("lpstat", {"-r"}).second.contains("is running"); };
  if (!running() && !QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"}).isEmpty()) {
    run(QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"}), {});
    for (int i = 0; i < 50 && !running(); ++i) QThread::msleep(200);
  }
  if (!running()) GTEST_SKIP() << "the CUPS scheduler is not running and cannot be started here";
  const QString ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
  if (run("lpstat", {"-v", queue}).first != 0) {
    if (!QFile::exists(ppd)) GTEST_SKIP() << "the PDF printer (printer-driver-cups-pdf) is not installed";
    const auto added = run(QStandardPaths::findExecutable("lpadmin", {"/usr/sbin", "/sbin"}),
                           {"-p", queue, "-E", "-v", "cups-pdf:/", "-P", ppd});
    if (run("lpstat", {"-v", queue}).first != 0)
      GTEST_SKIP() << "no PDF printer queue could be added: " << added.second.toStdString();
  }
  const QDir out(QDir::homePath() + "/PDF");
  const QStringList before = out.entryList({"*.pdf"}, QDir::Files);

  std::vector<reports::Row> rows;
  for (int i = 1; i <= 150; ++i) rows.push_back({QString("Printed row %1").arg(i), "/p.txt", "1", "01/01/2020 10:00:00", ""});
  reports::Options o;
  o.full = false;
  report::TReportSystem system;
  system.askSetup = false;
  system.destination = report::Destination::Printer;
  system.printerName = queue;
  ASSERT_TRUE(system.Execute(nullptr, [&](report::TReport& r) {
    reports::PrintCatalogReport(r, o, "Printed", "150", RowsOf(rows), QDate(2024, 5, 7));
  }));
  ASSERT_GE(system.Pages(), 2);

  // The job's PDF, once the print service has written it whole.
  QString job;
  for (int i = 0; i < 300 && job.isEmpty(); ++i) {
    for (const QString& f : out.entryList({"*.pdf"}, QDir::Files, QDir::Time))
      if (!before.contains(f) && f.contains("ReportPrinter_Report")) job = out.filePath(f);
    if (job.isEmpty() || !run("lpstat", {"-o", queue}).second.trimmed().isEmpty()) {
      job.clear();
      QThread::msleep(200);
    }
  }
  ASSERT_FALSE(job.isEmpty()) << "no PDF came out of the print queue in 60 s";
  const QString info = run("pdfinfo", {job}).second;
  EXPECT_TRUE(info.contains(QRegularExpression(QString("Pages:\\s+%1\\b").arg(system.Pages())))) << info.toStdString();
  // The print service redraws the fonts, so the text is looked at, not
  // read: the first page carries ink.
  QProcess gray;
  gray.start("pdftoppm", {"-r", "20", "-gray", "-f", "1", "-l", "1", job});
  ASSERT_TRUE(gray.waitForFinished(30000));
  const QByteArray pgm = gray.readAllStandardOutput();
  const qsizetype dark = std::count_if(pgm.begin() + std::min<qsizetype>(pgm.size(), 20), pgm.end(),
                                       [](char c) { return (unsigned char)c < 128; });
  EXPECT_GT(dark, 50) << "the printed page is blank";
  QFile::remove(job);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

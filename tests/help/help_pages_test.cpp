// The help pages as the help window reads them: every topic of the program
// has its anchor with text after it, every link leads somewhere, every page
// can be reached from the contents.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <map>
#include <memory>
#include <queue>

#include "helpwindow.h"
#include "topics.h"

namespace {

// One help page parsed by Qt's rich-text reader, the same reader the help
// window uses.
struct Page {
  QString name;
  std::unique_ptr<QTextDocument> doc;
  QSet<QString> anchors;  // named anchors
  QStringList links;      // href of every link
};

const std::map<QString, Page>& Pages() {
  static std::map<QString, Page> pages = [] {
    // The resources of the help library are registered by its first use.
    (void)HelpTopicExists(kHelpContentsTopic);
    std::map<QString, Page> all;
    QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")});
    while (it.hasNext()) {
      const QString path = it.next();
      QFile f(path);
      if (!f.open(QIODevice::ReadOnly)) continue;
      Page p;
      p.name = it.fileName();
      p.doc = std::make_unique<QTextDocument>();
      p.doc->setHtml(QString::fromUtf8(f.readAll()));
      for (QTextBlock b = p.doc->begin(); b.isValid(); b = b.next()) {
        for (auto frag = b.begin(); !frag.atEnd(); ++frag) {
          const QTextCharFormat fmt = frag.fragment().charFormat();
          for (const QString& n : fmt.anchorNames()) p.anchors.insert(n);
          if (fmt.isAnchor() && !fmt.anchorHref().isEmpty()) p.links << fmt.anchorHref();
        }
      }
      all.emplace(p.name, std::move(p));
    }
    return all;
  }();
  return pages;
}

bool BlockHasAnchor(const QTextBlock& b, const QString* name = nullptr) {
  for (auto frag = b.begin(); !frag.atEnd(); ++frag) {
    const QStringList names = frag.fragment().charFormat().anchorNames();
    if (name ? names.contains(*name) : !names.isEmpty()) return true;
  }
  return false;
}

// The heading that carries the anchor and the text that follows it up to the
// next anchored heading.
std::pair<QString, QString> SectionOf(const QTextDocument& doc, const QString& anchor) {
  QTextBlock b = doc.begin();
  while (b.isValid() && !BlockHasAnchor(b, &anchor)) b = b.next();
  if (!b.isValid()) return {};
  const QString heading = b.text();
  QString body;
  for (b = b.next(); b.isValid() && !BlockHasAnchor(b); b = b.next()) body += b.text() + u' ';
  return {heading.trimmed(), body.simplified()};
}

// Every topic number the program's windows, controls and menu commands
// carry. Written out here, apart from the help's own table, so that a topic
// left out of that table is noticed.
const int kProgramTopics[] = {1000, 1300, 1400, 1450, 1460, 1470, 1310, 1320, 1330, 1340,
                              1350, 1355, 1358, 1360, 1370, 1380, 1390, 1410, 1420, 1430,
                              1510, 1520, 1530, 1540, 1550, 1610, 1620, 1810, 1820, 1830,
                              1840, 1845, 1850, 1860, 1865, 1870, 1880, 1885, 1920};

TEST(HelpTopics, EveryTopicOfTheProgramHasAPage) {
  for (int topic : kProgramTopics) {
    SCOPED_TRACE(topic);
    EXPECT_TRUE(HelpTopicExists(topic));
    const QUrl url(HelpTopicUrl(topic));
    EXPECT_EQ(url.scheme(), u"qrc");
    EXPECT_EQ(url.fragment(), QStringLiteral("t%1").arg(topic));
  }
}

TEST(HelpTopics, UnknownTopicLeadsToTheContents) {
  EXPECT_FALSE(HelpTopicExists(0));
  EXPECT_FALSE(HelpTopicExists(1999));
  EXPECT_EQ(HelpTopicUrl(1999), HelpTopicUrl(kHelpContentsTopic));
  EXPECT_EQ(HelpTopicUrl(kHelpContentsTopic), u"qrc:/help/index.html#t1000");
}

TEST(HelpTopics, EveryTopicAnchorHasAHeadingAndText) {
  for (const HelpTopicPage& t : kHelpTopics) {
    SCOPED_TRACE(t.topic);
    const auto page = Pages().find(QLatin1String(t.page));
    ASSERT_NE(page, Pages().end()) << t.page << " is not in the resources";
    const QString anchor = QStringLiteral("t%1").arg(t.topic);
    ASSERT_TRUE(page->second.anchors.contains(anchor)) << t.page << " has no anchor " << anchor.toStdString();
    const auto [heading, body] = SectionOf(*page->second.doc, anchor);
    EXPECT_FALSE(heading.isEmpty());
    // A real explanation, not a stub line.
    EXPECT_GE(body.size(), 80) << heading.toStdString() << ": " << body.toStdString();
  }
}

TEST(HelpTopics, EachTopicAnchorIsOnOnePageAndInTheTable) {
  QSet<QString> listed;
  for (const HelpTopicPage& t : kHelpTopics) listed.insert(QStringLiteral("t%1").arg(t.topic));
  QHash<QString, QString> seen;
  for (const auto& [name, page] : Pages()) {
    for (const QString& a : page.anchors) {
      if (!a.startsWith(u't') || !a.mid(1).toInt()) continue;  // not a topic anchor
      EXPECT_FALSE(seen.contains(a)) << a.toStdString() << " on " << name.toStdString() << " and "
                                     << seen.value(a).toStdString();
      seen.insert(a, name);
      EXPECT_TRUE(listed.contains(a)) << a.toStdString() << " on " << name.toStdString()
                                      << " is missing from the topic table";
    }
  }
  EXPECT_EQ(seen.size(), listed.size());
}

TEST(HelpPages, EveryLinkLeadsToAnExistingPageAndPlace) {
  ASSERT_GE(Pages().size(), 10u);
  for (const auto& [name, page] : Pages()) {
    const QUrl base(QStringLiteral("qrc:/help/") + name);
    for (const QString& href : page.links) {
      SCOPED_TRACE((name + QStringLiteral(" -> ") + href).toStdString());
      const QUrl target = base.resolved(QUrl(href));
      if (target.scheme() != u"qrc") continue;  // links out of the help
      const QString file = target.path().section(u'/', -1);
      const auto to = Pages().find(file);
      ASSERT_NE(to, Pages().end());
      if (target.hasFragment()) {
        EXPECT_TRUE(to->second.anchors.contains(target.fragment()));
      }
    }
  }
}

TEST(HelpPages, EveryPageCanBeReachedFromTheContents) {
  QSet<QString> reached{QStringLiteral("index.html")};
  std::queue<QString> todo;
  todo.push(QStringLiteral("index.html"));
  while (!todo.empty()) {
    const QString name = todo.front();
    todo.pop();
    const auto page = Pages().find(name);
    if (page == Pages().end()) continue;
    for (const QString& href : page->second.links) {
      const QUrl target = QUrl(QStringLiteral("qrc:/help/") + name).resolved(QUrl(href));
      if (target.scheme() != u"qrc") continue;
      const QString file = target.path().section(u'/', -1);
      if (!reached.contains(file)) {
        reached.insert(file);
        todo.push(file);
      }
    }
  }
  for (const auto& [name, page] : Pages()) EXPECT_TRUE(reached.contains(name)) << name.toStdString();
}

TEST(HelpPages, EveryPageHasATitleAndTheStyleSheet) {
  ASSERT_TRUE(QFile::exists(QStringLiteral(":/help/help.css")));
  for (const auto& [name, page] : Pages()) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_FALSE(page.doc->metaInformation(QTextDocument::DocumentTitle).isEmpty());
    QFile f(QStringLiteral(":/help/") + name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("href=\"help.css\""));
  }
}

}  // namespace

// The zip lister and the unzip layer on archives written by the zip tool and
// on archives built byte by byte: ordinary, streamed, Zip64, self-extracting,
// damaged and hostile ones.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

#include "unzip.h"
#include "zipendrecords.h"
#include "ziplister.h"
#include "zipwalk.h"

// Readable names in failure messages.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// --- Archives by hand --------------------------------------------------------

uint32_t Crc(const QByteArray& d) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : d) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return ~c;
}

void Put(QByteArray& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(char(v >> (8 * i)));
}

constexpr uint16_t kDate = (41 << 9) | (6 << 5) | 15;   // 2021-06-15
constexpr uint16_t kTime = (10 << 11) | (20 << 5) | 15;  // 10:20:30

struct Item {
  Item(QByteArray n, QByteArray d, bool deflated = false, bool described = false, bool wide = false, uint16_t f = 0)
      : name(n), data(d), deflate(deflated), descriptor(described), zip64(wide), flags(f) {}
  QByteArray name;
  QByteArray data;
  bool deflate = false;
  bool descriptor = false;     // sizes after the data (flag bit 3)
  bool zip64 = false;          // sizes and offset in Zip64 extra fields
  uint16_t flags = 0;
  uint32_t external = 0100644u << 16;
  int64_t declared = -1;       // an uncompressed size to claim instead of the real one
  QByteArray centralExtra;
};

struct Layout {
  Layout(bool cd = true, bool z64 = false, int64_t claim = -1) : centralDirectory(cd), zip64End(z64), claimEntries(claim) {}
  bool centralDirectory = true;
  bool zip64End = false;
  int64_t claimEntries = -1;
};

QByteArray Build(const std::vector<Item>& items, const Layout& layout = {}) {
  QByteArray out, cd;
  for (const Item& it : items) {
    const QByteArray body = it.deflate ? qCompress(it.data).mid(6).chopped(4) : it.data;
    const uint64_t usize = it.declared >= 0 ? (uint64_t)it.declared : (uint64_t)it.data.size();
    const uint32_t crc = Crc(it.data);
    const uint16_t flags = it.flags | (it.descriptor ? 8 : 0), method = it.deflate ? 8 : 0;
    const uint64_t offset = (uint64_t)out.size();
    QByteArray local;
    Put(local, 0x04034b50, 4);
    Put(local, it.zip64 ? 45 : 20, 2);
    Put(local, flags, 2);
    Put(local, method, 2);
    Put(local, kTime, 2);
    Put(local, kDate, 2);
    Put(local, it.descriptor ? 0 : crc, 4);
    Put(local, it.descriptor ? 0 : it.zip64 ? 0xFFFFFFFF : body.size(), 4);
    Put(local, it.descriptor ? 0 : it.zip64 ? 0xFFFFFFFF : usize, 4);
    Put(local, it.name.size(), 2);
    Put(local, it.zip64 ? 20 : 0, 2);
    local += it.name;
    if (it.zip64) {
      Put(local, 1, 2), Put(local, 16, 2), Put(local, usize, 8), Put(local, body.size(), 8);
    }
    out += local + body;
    if (it.descriptor) {
      Put(out, 0x08074b50, 4), Put(out, crc, 4), Put(out, body.size(), 4), Put(out, usize, 4);
    }
    Put(cd, 0x02014b50, 4);
    Put(cd, 0x031E, 2);
    Put(cd, it.zip64 ? 45 : 20, 2);
    Put(cd, flags, 2);
    Put(cd, method, 2);
    Put(cd, kTime, 2);
    Put(cd, kDate, 2);
    Put(cd, crc, 4);
    Put(cd, it.zip64 ? 0xFFFFFFFF : body.size(), 4);
    Put(cd, it.zip64 ? 0xFFFFFFFF : usize, 4);
    Put(cd, it.name.size(), 2);
    Put(cd, (it.zip64 ? 28 : 0) + it.centralExtra.size(), 2);
    Put(cd, 0, 2 + 2 + 2);
    Put(cd, it.external, 4);
    Put(cd, it.zip64 ? 0xFFFFFFFF : offset, 4);
    cd += it.name;
    if (it.zip64) {
      Put(cd, 1, 2), Put(cd, 24, 2), Put(cd, usize, 8), Put(cd, body.size(), 8), Put(cd, offset, 8);
    }
    cd += it.centralExtra;
  }
  if (!layout.centralDirectory) return out;
  const uint64_t cdOffset = (uint64_t)out.size();
  const uint64_t count = layout.claimEntries >= 0 ? (uint64_t)layout.claimEntries : items.size();
  out += cd;
  if (layout.zip64End) {
    const uint64_t at = (uint64_t)out.size();
    Put(out, 0x06064b50, 4), Put(out, 44, 8), Put(out, 45, 2), Put(out, 45, 2), Put(out, 0, 8);
    Put(out, count, 8), Put(out, count, 8), Put(out, cd.size(), 8), Put(out, cdOffset, 8);
    Put(out, 0x07064b50, 4), Put(out, 0, 4), Put(out, at, 8), Put(out, 1, 4);
  }
  Put(out, 0x06054b50, 4);
  Put(out, 0, 4);
  Put(out, layout.zip64End ? 0xFFFF : count, 2);
  Put(out, layout.zip64End ? 0xFFFF : count, 2);
  Put(out, layout.zip64End ? 0xFFFFFFFF : cd.size(), 4);
  Put(out, layout.zip64End ? 0xFFFFFFFF : cdOffset, 4);
  Put(out, 0, 2);
  return out;
}

// --- Helpers -------------------------------------------------------------------

class ZipTest : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return dir_.filePath(name); }

  QString Write(const QString& name, const QByteArray& bytes) {
    QFile f(Path(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return f.fileName();
  }

  static QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

  // Runs a shell command in the test folder; its standard output.
  QString Sh(const QString& command) {
    QProcess p;
    p.setWorkingDirectory(dir_.path());
    p.start("/bin/sh", {"-c", command});
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << command.toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
  }

  // A source tree: stored and deflated files, a folder, an empty folder.
  void MakeTree() {
    QDir(dir_.path()).mkpath("src/Docs/Empty");
    Write("src/a.txt", "hello\n");
    Write("src/Docs/ReadMe.TXT", QByteArray("line of text\n").repeated(500));
    Write("src/Docs/b.bin", QByteArray(3000, '\0'));
  }

  static QStringList Names(const zip::Listing& l) {
    QStringList n;
    for (const auto& e : l.entries) n << e.name;
    return n;
  }

  // Files below a folder, relative, sorted.
  static QStringList Files(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
  }

  struct Messages {
    std::vector<std::pair<int, QString>> all;
    zip::ExtractCallbacks callbacks() {
      zip::ExtractCallbacks c;
      c.message = [this](int code, const QString& m) {
        all.emplace_back(code, m);
        return true;
      };
      return c;
    }
    int errors() const {
      int n = 0;
      for (const auto& m : all) n += m.first > 0;
      return n;
    }
    bool has(const QString& text) const {
      for (const auto& m : all)
        if (m.second.contains(text)) return true;
      return false;
    }
  };

  zip::ExtractResult Extract(const QString& archive, const QString& folder, Messages& m, bool dirNames = true,
                             bool overwrite = true, const QStringList& names = {}) {
    QDir().mkpath(folder);
    return zip::Extract(archive, folder, names, {dirNames, overwrite}, m.callbacks());
  }

  QTemporaryDir dir_;
};

// --- Listing -------------------------------------------------------------------

TEST_F(ZipTest, ListsWhatTheZipToolWroteInFileOrder) {
  MakeTree();
  Sh("cd src && zip -q -r ../plain.zip . && zip -q -r -fd ../described.zip . && zip -q -r -fz ../zip64.zip . &&"
     " zip -q -r - . | cat > ../streamed.zip");
  for (const char* name : {"plain.zip", "described.zip", "zip64.zip", "streamed.zip"}) {
    SCOPED_TRACE(name);
    const zip::Listing l = zip::ListArchive(Path(name));
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(Names(l).join('\n') + '\n', Sh(QString("zipinfo -1 %1").arg(name))) << "the directory's order";
    ASSERT_EQ(l.entries.size(), 5u);
    for (const auto& e : l.entries) {
      const QFileInfo f(Path("src/" + e.name));
      EXPECT_EQ(e.directory(), f.isDir()) << e.name.toStdString();
      if (!e.directory()) {
        EXPECT_EQ(e.uncompressedSize, (uint64_t)f.size()) << e.name.toStdString();
      }
      EXPECT_LE(std::abs(e.modified().secsTo(f.lastModified())), 2) << e.name.toStdString();
    }
  }
  // Without their central directory the same archives are walked from
  // their local headers: every entry, sizes from the data descriptors.
  for (const char* name : {"plain.zip", "described.zip", "zip64.zip", "streamed.zip"}) {
    SCOPED_TRACE(name);
    const zip::CentralDirectory cd = zip::FindCentralDirectory(Path(name));
    ASSERT_TRUE(cd.found);
    const QString cut = Write(QString("cut-%1").arg(name), Read(Path(name)).left(cd.offset) + QByteArray(22, '\0'));
    const zip::Listing walked = zip::ListArchive(cut), listed = zip::ListArchive(Path(name));
    EXPECT_EQ(walked.error, zip::kReadError) << "the file ends where the next header should be";
    ASSERT_EQ(Names(walked), Names(listed));
    for (size_t i = 0; i < listed.entries.size(); ++i) {
      EXPECT_EQ(walked.entries[i].uncompressedSize, listed.entries[i].uncompressedSize);
      EXPECT_EQ(walked.entries[i].compressedSize, listed.entries[i].compressedSize);
      EXPECT_EQ(walked.entries[i].crc32, listed.entries[i].crc32);
    }
  }
  EXPECT_TRUE(zip::ListArchive(Path("none.zip")).entries.empty());
  EXPECT_EQ(zip::ListArchive(Path("none.zip")).error, "") << "a missing file is no error";
}

TEST_F(ZipTest, NamesSizesAndDatesAsStored) {
  const QByteArray longName = QByteArray("deep/").repeated(60) + "end.txt";  // 307 bytes
  Item unicodePath{"caf\x82.txt", "x"};
  const QByteArray utf8Name = "na\xC3\xAF" "ve";
  Put(unicodePath.centralExtra, 0x7075, 2);
  Put(unicodePath.centralExtra, 5 + utf8Name.size(), 2);
  Put(unicodePath.centralExtra, 1, 1);
  Put(unicodePath.centralExtra, Crc("caf\x82.txt"), 4);
  unicodePath.centralExtra += utf8Name;
  Item huge{"huge.bin", "small", false, false, true};
  huge.declared = int64_t(5) << 30;
  const QString path = Write("names.zip", Build({{longName, "a"},
                                                  {"\x81" "ber \xE1.txt", "b"},  // code page 437
                                                  {"\xC3\xBC" "ber.txt", "c"},    // valid UTF-8
                                                  unicodePath,
                                                  huge}, {true, true}));
  const zip::Listing l = zip::ListArchive(path);
  EXPECT_EQ(l.error, "");
  ASSERT_EQ(l.entries.size(), 5u);
  EXPECT_EQ(l.entries[0].name, QString::fromLatin1(longName)) << "long names are kept whole";
  EXPECT_EQ(l.entries[1].name, QString::fromUtf8("über ß.txt"));
  EXPECT_EQ(l.entries[2].name, QString::fromUtf8("über.txt"));
  EXPECT_EQ(l.entries[3].name, QString::fromUtf8("naïve")) << "the Unicode path field stands for its name";
  EXPECT_EQ(l.entries[4].uncompressedSize, uint64_t(5) << 30) << "64-bit sizes from the Zip64 field";
  EXPECT_EQ(l.entries[4].compressedSize, 5u);
  EXPECT_EQ(l.entries[0].modified(), QDateTime(QDate(2021, 6, 15), QTime(10, 20, 30)));
  zip::ZipDirEntry bad;
  bad.modDate = (41 << 9) | (13 << 5) | 1;  // month 13
  EXPECT_FALSE(bad.modified().isValid());

  // Extraction knows the entries by the names the listing gives them.
  Messages m;
  const QString named = Write("named.zip", Build({{"\x81" "ber \xE1.txt", "b"}, unicodePath}));
  EXPECT_EQ(Extract(named, Path("named"), m, true, true, {QString::fromUtf8("über ß.txt"), "naïve"}).extracted, 2);
  EXPECT_EQ(Files(Path("named")), QStringList({"naïve", "über ß.txt"}));
  // A name flagged UTF-8 that is not: the library refuses the archive's
  // directory, for the listing as for extraction. The listing still shows
  // the entries from their local headers, the flag's reading of the name
  // among them, and says the directory could not be read; extraction gives
  // a message and writes nothing.
  const QString flagged = Write("flagged.zip", Build({{"ok.txt", "a"}, {"\xFC.txt", "d", false, false, false, 1 << 11}}));
  const zip::Listing f = zip::ListArchive(flagged);
  ASSERT_EQ(f.entries.size(), 2u);
  EXPECT_EQ(f.entries[1].name, QString::fromUtf8("\xEF\xBF\xBD.txt")) << "the flag says UTF-8";
  EXPECT_FALSE(f.error.isEmpty());
  EXPECT_FALSE(Extract(flagged, Path("refused"), m).error.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(Path("refused/ok.txt")));
}

TEST_F(ZipTest, SelfExtractingArchivesListAndExtract) {
  MakeTree();
  Sh("cd src && zip -q -r ../inner.zip . && cd .. && head -c 20000 /dev/urandom > stub &&"
     " cat stub inner.zip > sfx.zip && cat stub inner.zip > adjusted.zip && zip -q -A adjusted.zip");
  const QStringList expected = Names(zip::ListArchive(Path("inner.zip")));
  for (const char* name : {"sfx.zip", "adjusted.zip"}) {
    SCOPED_TRACE(name);
    const zip::Listing l = zip::ListArchive(Path(name));
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(Names(l), expected);
    Messages m;
    EXPECT_EQ(Extract(Path(name), Path(QString("out-%1").arg(name)), m).extracted, 3);
    EXPECT_EQ(Read(Path(QString("out-%1/Docs/ReadMe.TXT").arg(name))), Read(Path("src/Docs/ReadMe.TXT")));
  }
  // Without a central directory a program is searched from byte 14000, at
  // most 60000 bytes far.
  const QByteArray walkable = Build({{"one.txt", "1"}, {"two.txt", "2"}}, {false}) + QByteArray(22, '\0');
  Write("near.exe", Read(Path("stub")) + walkable);
  Write("far.EXE", Read(Path("stub")).repeated(4) + walkable);
  EXPECT_EQ(Names(zip::ListArchive(Path("near.exe"))), QStringList({"one.txt", "two.txt"}));
  EXPECT_EQ(zip::ListArchive(Path("far.EXE")).error, zip::kNoEntriesFound);
}

// --- The local header walk ------------------------------------------------------

TEST_F(ZipTest, HeaderWalkErrorsKeepTheEntriesBeforeThem) {
  const QByteArray two = Build({{"one.txt", QByteArray(100, 'a')}, {"two.txt", QByteArray(100, 'b')}}, {false});
  const int second = 30 + 7 + 100;  // where the second header starts
  auto walk = [&](const QByteArray& bytes) { return zip::ListArchive(Write("walk.zip", bytes)); };

  zip::Listing l = walk(QByteArray(70000, 'x'));
  EXPECT_EQ(l.error, zip::kNoEntriesFound);
  l = walk(QByteArray("xxP") + two + QByteArray(22, '\0'));
  EXPECT_EQ(Names(l), QStringList({"one.txt", "two.txt"})) << "a P just before the signature";
  EXPECT_EQ(l.error, zip::kReadError);
  l = walk(two.left(second + 30 + 3));
  EXPECT_EQ(Names(l), QStringList({"one.txt"}));
  EXPECT_EQ(l.error, zip::kReadError2) << "the second name is cut";
  l = walk(two + QByteArray(10, '\0'));
  EXPECT_EQ(Names(l), QStringList({"one.txt"}));
  EXPECT_EQ(l.error, zip::kReadError3) << "the second entry's data reaches into the last 22 bytes";
  l = walk(two.left(20));
  EXPECT_EQ(l.error, zip::kNoEntriesFound) << "a first header cut off is searched past";

  // Entries whose sizes follow their data: the walk finds each one's end
  // and goes on to the next, also when the data holds a header signature.
  Item stored{"stored.bin", QByteArray("PK\x03\x04", 4).repeated(3), false, true};
  Item deflated{"deflated.txt", QByteArray("text ").repeated(2000), true, true};
  Item empty{"empty/", "", false, true};
  l = walk(Build({stored, deflated, empty, {"last.txt", "z"}}, {false}) + QByteArray("PK\x01\x02", 4) +
           QByteArray(18, '\0'));
  EXPECT_EQ(l.error, "");
  ASSERT_EQ(Names(l), QStringList({"stored.bin", "deflated.txt", "empty/", "last.txt"}));
  EXPECT_EQ(l.entries[0].uncompressedSize, 12u);
  EXPECT_EQ(l.entries[1].uncompressedSize, 10000u);
  EXPECT_EQ(l.entries[1].crc32, Crc(deflated.data));
}

// --- Hostile archives -------------------------------------------------------------

TEST_F(ZipTest, HostileDirectoriesGiveAMessageAndTheValidEntries) {
  const std::vector<Item> two = {{"a.txt", "aaa"}, {"b.txt", "bbb"}};
  Messages m;
  // A Zip64 directory that claims four billion entries.
  const QString billions = Write("billions.zip", Build(two, {true, true, 4000000000LL}));
  zip::Listing l = zip::ListArchive(billions);
  EXPECT_EQ(Names(l), QStringList({"a.txt", "b.txt"}));
  EXPECT_TRUE(l.error.contains("4000000000")) << l.error.toStdString();
  EXPECT_FALSE(Extract(billions, Path("out"), m).error.isEmpty());
  // A 16-bit count that disagrees.
  l = zip::ListArchive(Write("count.zip", Build(two, {true, false, 0xFFFF})));
  EXPECT_EQ(l.entries.size(), 2u);
  EXPECT_FALSE(l.error.isEmpty());
  // A directory offset past the end, and a name length past the directory's
  // end: the walk lists the entries and says the directory is damaged.
  QByteArray bytes = Build(two);
  QByteArray past = bytes;
  past[past.size() - 3] = '\x7F';
  QByteArray longName = bytes;
  longName[bytes.indexOf("PK\x01\x02") + 28] = '\xFF';
  for (const QByteArray& b : {past, longName}) {
    l = zip::ListArchive(Write("damaged.zip", b));
    EXPECT_EQ(Names(l), QStringList({"a.txt", "b.txt"}));
    EXPECT_TRUE(l.error.contains("damaged")) << l.error.toStdString();
  }
  // Many entries that say their sizes follow the data, without any data
  // descriptor: each ends at the next header, and the walk stays quick.
  QByteArray headerOnly = Build({{"f", "", false, true}}, {false}).left(31);
  QByteArray many;
  for (int i = 0; i < 20000; ++i) many += headerOnly + "twenty bytes of data";
  many += QByteArray(22, 'z');
  l = zip::ListArchive(Write("many.zip", many));
  EXPECT_EQ(l.entries.size(), 20000u);
  EXPECT_EQ(l.error, zip::kReadError);

  // Every byte of a small archive spoilt in turn, and every length of it:
  // no crash, no hang, every file written lands inside the folder, no
  // temporary file stays.
  bytes = Build({{"d/x.txt", QByteArray("data ").repeated(40), true}, {"y.txt", "why"}, {"d/", ""}});
  QDir().mkpath(Path("fuzz/out"));
  for (int i = 0; i <= bytes.size(); ++i) {
    QByteArray spoilt = bytes;
    if (i < bytes.size()) spoilt[i] = char(spoilt[i] ^ 0xA5);
    for (const QByteArray& b : {spoilt, bytes.left(i)}) {
      const QString p = Write("fuzz.zip", b);
      zip::ListArchive(p);
      zip::Extract(p, Path("fuzz/out"), {}, {true, true}, {});
    }
  }
  const QStringList landed = Files(Path("fuzz"));
  EXPECT_TRUE(landed.contains("out/y.txt") && landed.contains("out/d/x.txt"));
  for (const QString& f : landed) EXPECT_TRUE(f.startsWith("out/") && !f.contains(".unzip-")) << f.toStdString();
}

// --- Extraction -------------------------------------------------------------------

TEST_F(ZipTest, ExtractsAllOrChosenEntriesWithOrWithoutFolders) {
  MakeTree();
  Sh("cd src && zip -q -r ../t.zip .");
  const zip::Listing l = zip::ListArchive(Path("t.zip"));
  Messages m;
  zip::ExtractResult r = Extract(Path("t.zip"), Path("all"), m);
  EXPECT_EQ(r.extracted, 3) << "folders are made, not counted";
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(m.all.size(), 0u);
  EXPECT_EQ(Files(Path("all")), QStringList({"Docs/ReadMe.TXT", "Docs/b.bin", "a.txt"}));
  EXPECT_TRUE(QFileInfo(Path("all/Docs/Empty")).isDir());
  EXPECT_EQ(Read(Path("all/Docs/ReadMe.TXT")), Read(Path("src/Docs/ReadMe.TXT")));
  for (const auto& e : l.entries)
    if (!e.directory()) {
      EXPECT_EQ(QFileInfo(Path("all/" + e.name)).lastModified(), e.modified()) << e.name.toStdString();
    }

  // Chosen entries by their stored names; without folders the bare name.
  r = Extract(Path("t.zip"), Path("flat"), m, false, true, {"Docs/ReadMe.TXT", "Docs/", "nothere.txt"});
  EXPECT_EQ(r.extracted, 1);
  EXPECT_EQ(Files(Path("flat")), QStringList({"ReadMe.TXT"}));
  EXPECT_EQ(m.errors(), 0);
  EXPECT_TRUE(m.has("nothere.txt")) << "a name not in the archive is a note";

  // Names that differ only in letter case are different entries: exactly
  // the one asked for is extracted.
  const QString twins = Write("twins.zip", Build({{"Read.txt", "upper"}, {"read.txt", "lower"}, {"READ.TXT", "all"}}));
  r = Extract(twins, Path("twins"), m, true, true, {"Read.txt"});
  EXPECT_EQ(r.extracted, 1);
  EXPECT_EQ(Files(Path("twins")), QStringList({"Read.txt"}));
  EXPECT_EQ(Read(Path("twins/Read.txt")), "upper");

  // Overwrite off leaves an existing file and does not count it; on, it is replaced.
  Write("flat/a.txt", "old");
  r = Extract(Path("t.zip"), Path("flat"), m, false, false, {"a.txt"});
  EXPECT_EQ(r.extracted, 0);
  EXPECT_EQ(Read(Path("flat/a.txt")), "old");
  r = Extract(Path("t.zip"), Path("flat"), m, false, true, {"a.txt"});
  EXPECT_EQ(r.extracted, 1);
  EXPECT_EQ(Read(Path("flat/a.txt")), "hello\n");

  EXPECT_FALSE(zip::Extract(Path("t.zip"), Path("no/such/folder"), {}, {}).error.isEmpty());
  EXPECT_EQ(zip::Extract(Path("none.zip"), Path("all"), {}, {}).error, "Error: file not found: " + Path("none.zip"));
}

TEST_F(ZipTest, NothingLandsOutsideTheFolder) {
  Item link{"link", "/etc/passwd"};
  link.external = 0120777u << 16;
  const QString path = Write("evil.zip", Build({{"../up.txt", "1"},
                                               {"/abs.txt", "2"},
                                               {"\\abs2.txt", "3"},
                                               {"C:/drive.txt", "4"},
                                               {"a\\..\\..\\back.txt", "5"},
                                               link,
                                               {"ok/good.txt", "fine"}}));
  for (bool dirNames : {true, false}) {
    SCOPED_TRACE(dirNames);
    QDir(Path("outer")).removeRecursively();
    Messages m;
    const zip::ExtractResult r = Extract(path, Path("outer/target"), m, dirNames);
    EXPECT_EQ(r.extracted, 1);
    EXPECT_EQ(m.errors(), 6);
    EXPECT_TRUE(m.has("symbolic link"));
    EXPECT_EQ(Files(Path("outer")), QStringList({dirNames ? "target/ok/good.txt" : "target/good.txt"}));
  }

  // Links already in the folder are never written through, neither as a
  // folder on an entry's path nor in a file's own place.
  QDir(Path("outer")).removeRecursively();
  QDir().mkpath(Path("outer/target/real"));
  QDir().mkpath(Path("elsewhere"));
  Write("elsewhere/f.txt", "theirs");
  ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("outer/target/link")));
  ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("outer/target/real/deeper")));
  ASSERT_TRUE(QFile::link(Path("elsewhere/f.txt"), Path("outer/target/f.txt")));
  const QString through = Write("through.zip", Build({{"link/x.txt", "1"},
                                                     {"link/new/y.txt", "2"},
                                                     {"real/deeper/z.txt", "3"},
                                                     {"link/", ""},
                                                     {"f.txt", "4"},
                                                     {"real/ok.txt", "fine"}}));
  for (bool overwrite : {true, false}) {
    SCOPED_TRACE(overwrite);
    Messages m;
    const zip::ExtractResult r = Extract(through, Path("outer/target"), m, true, overwrite);
    EXPECT_EQ(r.extracted, overwrite ? 1 : 0);
    EXPECT_EQ(m.errors(), 5);
    EXPECT_TRUE(m.has("symbolic link"));
    EXPECT_EQ(Files(Path("elsewhere")), QStringList({"f.txt"}));
    EXPECT_EQ(Read(Path("elsewhere/f.txt")), "theirs");
    EXPECT_TRUE(QFileInfo(Path("outer/target/f.txt")).isSymLink());
  }
  EXPECT_EQ(Read(Path("outer/target/real/ok.txt")), "fine");
}

TEST_F(ZipTest, BadDataIsReportedAndNeverReplacesAGoodFile) {
  const QByteArray text = QByteArray("zip bomb ").repeated(5000);
  Item inflating{"big.txt", text, true};
  inflating.declared = 1000;
  Item stored{"stored.txt", "0123456789"};
  stored.declared = 4;
  QByteArray bytes = Build({inflating, stored, {"crc.txt", "checked data"}});
  bytes[bytes.indexOf("checked data")] = 'C';  // the CRC no longer matches
  const QString path = Write("bad.zip", bytes);
  QDir().mkpath(Path("out"));
  for (const char* name : {"big.txt", "stored.txt", "crc.txt"}) Write(QString("out/%1").arg(name), "good old file");
  Messages m;
  const zip::ExtractResult r = Extract(path, Path("out"), m);
  EXPECT_EQ(r.extracted, 0);
  EXPECT_EQ(m.errors(), 3);
  EXPECT_TRUE(m.has("declared size of 1000 bytes"));
  EXPECT_TRUE(m.has("CRC"));
  for (const char* name : {"big.txt", "stored.txt", "crc.txt"})
    EXPECT_EQ(Read(Path(QString("out/%1").arg(name))), "good old file") << name;
  EXPECT_EQ(Files(Path("out")).size(), 3) << "no temporary file left";

  // An encrypted entry needs a password.
  Write("secret.txt", "secret");
  Sh("zip -q -P pw enc.zip secret.txt");
  Messages e;
  EXPECT_EQ(Extract(Path("enc.zip"), Path("enc"), e).extracted, 0);
  ASSERT_EQ(e.all.size(), 1u);
  EXPECT_GT(e.all[0].first, 0);
  EXPECT_TRUE(e.all[0].second.contains("is encrypted: a password is needed")) << e.all[0].second.toStdString();
  EXPECT_EQ(Files(Path("enc")), QStringList());
}

TEST_F(ZipTest, AStopLeavesNoPartialFile) {
  const QByteArray big(1 << 20, 'q');
  const QString path = Write("big.zip", Build({{"first.txt", "1"}, {"big.bin", big, true}, {"last.txt", "3"}}));
  QDir().mkpath(Path("out"));
  Write("out/big.bin", "old contents");
  int steps = 0;
  QStringList started;
  zip::ExtractCallbacks c;
  c.progress = [&](zip::ExtractCallbacks::Step s, const QString& name, qint64 size) {
    if (s == zip::ExtractCallbacks::Step::FileStarts) {
      started << name;
      if (name == "big.bin") {
        EXPECT_EQ(size, 1 << 20);
      }
    }
    return s != zip::ExtractCallbacks::Step::Progress || ++steps < 3;
  };
  const zip::ExtractResult r = zip::Extract(path, Path("out"), {}, {true, true}, c);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.extracted, 1);
  EXPECT_EQ(started, QStringList({"first.txt", "big.bin"}));
  EXPECT_EQ(Read(Path("out/big.bin")), "old contents");
  EXPECT_EQ(Files(Path("out")), QStringList({"big.bin", "first.txt"}));
}

}  // namespace

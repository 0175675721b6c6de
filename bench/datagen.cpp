#include "datagen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace bench {

const char* const kFieldNames[kFieldCount] = {"CATALOG", "FLTITLE", "FLNAME",
                                              "FLSIZE",  "FLDATE",  "FLDESC"};

void Rows::add(const std::string_view (&fields)[kFieldCount]) {
  Entry e;
  e.start = arena_.size();
  for (int k = 0; k < kFieldCount; ++k) {
    e.len[k] = uint16_t(fields[k].size());
    arena_.append(fields[k]);
  }
  starts_.push_back(e);
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); };
  if (needle.empty()) return true;
  if (hay.size() < needle.size()) return false;
  for (size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && lower(hay[i + k]) == lower(needle[k])) ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

namespace {

// --- vocabulary ---------------------------------------------------------------

const char* const kUsers[] = {"alice",  "bmorgan", "chen",    "dkowalski", "elena",  "fpereira",
                              "gunnar", "hsato",   "ivanova", "jdoe",      "kmuller", "lucia",
                              "mnovak", "olga",    "pjensen", "rahul",     "sofia",  "tnguyen",
                              "ulrike", "vdubois", "wei",     "xavier",    "yuki",   "zoltan"};

const char* const kHosts[] = {"workstation", "laptop-old", "nas01", "thinkpad", "desktop-2016",
                              "server",      "macmini",    "htpc",  "office-pc"};

const char* const kProjects[] = {"aurora",     "bluefin",  "cobalt-api", "delta_sync", "ember",
                                 "falcon-web", "granite",  "harbor",     "iris-ml",    "juniper",
                                 "kestrel",    "lumen",    "monsoon",    "nimbus-cli", "orchid",
                                 "pylon",      "quartz",   "raven",      "sierra",     "tundra",
                                 "umbra",      "vortex",   "willow",     "xenon",      "yarrow",
                                 "zephyr",     "atlas-db", "beacon",     "cinder",     "drift"};

const char* const kProjectDirs[] = {"src", "src", "src", "include", "tests", "docs", "assets",
                                    "scripts", "third_party", "build", "tools", "examples"};

const char* const kModules[] = {"core",   "net",     "ui",      "storage", "util",   "parser",
                                "render", "audio",   "config",  "crypto",  "http",   "json",
                                "model",  "widgets", "plugins", "io",      "engine", "server",
                                "client", "common",  "detail",  "impl",    "legacy", "v2"};

const char* const kSourceStems[] = {"main",    "parser",   "lexer",  "buffer",  "socket",
                                    "request", "response", "cache",  "index",   "session",
                                    "window",  "dialog",   "table",  "matrix",  "vector",
                                    "thread",  "pool",     "logger", "options", "registry",
                                    "stream",  "codec",    "format", "layout",  "schema",
                                    "router",  "handler",  "queue",  "timer",   "settings"};

const char* const kSourceExts[] = {"cpp", "cpp", "h", "h", "hpp", "c", "py", "js", "ts",
                                   "go",  "rs",  "java", "cmake", "md", "json", "yaml", "sh"};

const char* const kDocFolders[] = {"Finance", "Letters", "Taxes",   "Work",    "School",
                                   "Health",  "House",   "Travel",  "Manuals", "Contracts",
                                   "Recipes", "Insurance", "Car",   "Bank",    "Statements"};

const char* const kDocExts[] = {"pdf", "pdf", "pdf", "docx", "xlsx", "odt", "ods", "txt", "rtf", "pptx"};

const char* const kEvents[] = {"Birthday",  "Wedding",     "Holiday",     "Beach",   "Hiking",
                               "Christmas", "Graduation",  "Zoo",         "Garden",  "Concert",
                               "Road Trip", "Ski Weekend", "Family Visit", "Museum", "Camping"};

const char* const kArtists[] = {"The Blue Notes",  "Marta Kovač",     "Northern Lights",
                                "Los Hermanos",    "DJ Kestrel",      "Anna Björk",
                                "The Quiet Hours", "Orquesta Solar",  "Iron Meadow",
                                "Chloé Martin",    "Paper Satellites", "Jonas Weber Trio",
                                "Velvet Avenue",   "Sakura Drive",    "Golden Harbour"};

const char* const kMovieDirs[] = {"Movies", "Series", "Documentaries", "ISO", "Clips"};
const char* const kVideoExts[] = {"mkv", "mp4", "avi", "iso", "mov"};
const char* const kLabels[] = {"SEAGATE_2TB", "WD_BACKUP", "DATA", "MEDIA", "USB32",
                               "ARCHIVE_A", "PHOTOS_HDD", "EXT4_DISK"};

// Words for titles, album and song names and descriptions; a few with
// letters outside ASCII, as real titles have.
const char* const kWords[] = {
    "annual",   "report",   "final",    "draft",     "summer",   "winter",   "notes",
    "meeting",  "budget",   "plan",     "photo",     "holiday",  "family",   "project",
    "review",   "letter",   "contract", "old",       "new",      "backup",   "copy",
    "version",  "scan",     "receipt",  "manual",    "guide",    "recipe",   "garden",
    "house",    "car",      "trip",     "music",     "live",     "session",  "demo",
    "mix",      "remaster", "edition",  "collection", "part",    "chapter",  "episode",
    "season",   "volume",   "the",      "of",        "and",      "for",      "with",
    "blue",     "red",      "green",    "golden",    "silver",   "black",    "white",
    "river",    "mountain", "city",     "night",     "morning",  "light",    "dream",
    "road",     "home",     "north",    "south",     "east",     "west",     "spring",
    "autumn",   "school",   "work",     "office",    "client",   "presentation", "slides",
    "Übersicht", "café",    "Résumé",   "naïve",     "Straße",   "façade",   "Größe",
    "Zürich",   "München",  "København", "año",      "Ελλάδα",   "Москва",   "quarterly",
    "tax",      "return",   "statement", "payroll",  "invitation", "agenda",  "minutes",
    "proposal", "invoice",  "schedule", "inventory", "catalog",  "index",    "readme",
    "license",  "changelog", "roadmap", "sketch",    "portrait", "landscape", "panorama",
};

// Words that may go into a path: not the search words, so that the search
// measures find only what the path generator puts there on purpose.
bool UsableInPath(const char* w) {
  return !ContainsNoCase(w, kSearchWord) && !ContainsNoCase(w, kManyWord);
}

// --- helpers ----------------------------------------------------------------------

std::string Capitalized(std::string w) {
  if (!w.empty() && w[0] >= 'a' && w[0] <= 'z') w[0] = char(w[0] - 32);
  return w;
}

// Upper case of an ASCII word; other words are left as they are.
std::string UpperAscii(std::string w) {
  for (char c : w)
    if (static_cast<unsigned char>(c) >= 0x80) return w;
  for (char& c : w)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return w;
}

// A word of the vocabulary that may go into a path.
const char* PathWord(Rng& rng) {
  for (;;) {
    const char* w = rng.pick(kWords);
    if (UsableInPath(w)) return w;
  }
}

// The longest prefix of at most `bytes` bytes that does not split a UTF-8
// character.
std::string_view Cut(std::string_view s, size_t bytes) {
  if (s.size() <= bytes) return s;
  size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

std::string WithThousands(uint64_t v) {
  std::string digits = std::to_string(v), out;
  int lead = int(digits.size() % 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (int(i) - lead) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

uint64_t LogUniform(Rng& rng, double lo, double hi) {
  return uint64_t(std::exp(std::log(lo) + rng.unit() * (std::log(hi) - std::log(lo))));
}

std::string TwoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// Words joined in one of the casings people type titles in.
std::string WordsTitle(Rng& rng, int words, size_t width) {
  int style = int(rng.below(4));
  std::string t;
  for (int i = 0; i < words; ++i) {
    std::string w = rng.pick(kWords);
    if (style == 0 || (style == 3 && i == 0)) w = Capitalized(w);
    if (style == 2) w = UpperAscii(w);
    std::string next = t.empty() ? w : t + " " + w;
    if (next.size() > width) break;
    t = std::move(next);
  }
  if (rng.chance(0.3)) {
    std::string next = t + " " + std::to_string(rng.range(1, 2024));
    if (next.size() <= width) t = next;
  }
  return t;
}

// --- folder trees ---------------------------------------------------------------

enum TreeKind { kCode, kBackup, kPictures, kMusic, kMedia, kOffice, kTreeKinds };

// One run of rows is one folder scan of one tree: the folder changes now
// and then while the files stream by, the way a catalogue is filled.
struct Scan {
  TreeKind kind;
  std::string root;     // fixed for the run
  std::string folder;   // current folder below the root
  int year = 2019;
  int mediaNo = 0;      // track / image counter
};

std::string NewFolder(Rng& rng, Scan& s) {
  switch (s.kind) {
    case kCode: {
      std::string f = std::string("/") + rng.pick(kProjectDirs);
      int depth = int(rng.range(0, 5));
      for (int i = 0; i < depth; ++i) f += std::string("/") + rng.pick(kModules);
      return f;
    }
    case kBackup: {
      static const char* const kSub[] = {"Documents", "Pictures", "Mail", "Desktop", ".config"};
      std::string f = std::string("/") + rng.pick(kSub);
      int depth = int(rng.range(0, 4));
      for (int i = 0; i < depth; ++i) f += "/" + Capitalized(PathWord(rng));
      if (rng.chance(0.3)) f += "/" + std::to_string(rng.range(2005, 2023));
      return f;
    }
    case kPictures: {
      int month = int(rng.range(1, 12)), day = int(rng.range(1, 28));
      s.mediaNo = int(rng.range(1, 9000));
      return "/" + std::to_string(s.year) + "/" + std::to_string(s.year) + "-" + TwoDigits(month) +
             "-" + TwoDigits(day) + " " + rng.pick(kEvents);
    }
    case kMusic: {
      s.mediaNo = 0;
      return std::string("/") + rng.pick(kArtists) + "/" + Capitalized(PathWord(rng)) + " " +
             PathWord(rng) + " (" + std::to_string(rng.range(1965, 2024)) + ")";
    }
    case kMedia: {
      return std::string("/") + rng.pick(kMovieDirs) + "/" + Capitalized(PathWord(rng)) + " " +
             Capitalized(PathWord(rng)) + " (" + std::to_string(rng.range(1950, 2024)) + ")";
    }
    case kOffice:
    default: {
      std::string f = std::string("/") + rng.pick(kDocFolders);
      if (rng.chance(0.7)) f += "/" + std::to_string(rng.range(2001, 2024));
      // Some folders get the long names people give them.
      if (rng.chance(0.2)) {
        f += "/" + Capitalized(PathWord(rng));
        for (int i = int(rng.range(2, 8)); i > 0; --i) f += std::string(" ") + PathWord(rng);
        f += " (copy " + std::to_string(rng.range(1, 4)) + ")";
      }
      return f;
    }
  }
}

Scan NewScan(Rng& rng) {
  Scan s;
  s.kind = TreeKind(rng.below(kTreeKinds));
  std::string user = rng.pick(kUsers);
  s.year = int(rng.range(1999, 2024));
  switch (s.kind) {
    case kCode:
      s.root = "/home/" + user + "/Documents/Projects/" + rng.pick(kProjects);
      break;
    case kBackup:
      s.root = std::string("/mnt/backup/") + rng.pick(kHosts) + "/" + std::to_string(s.year) + "-" +
               TwoDigits(int(rng.range(1, 12))) + "-" + TwoDigits(int(rng.range(1, 28))) +
               "/home/" + user;
      break;
    case kPictures:
      s.root = "/home/" + user + "/Pictures";
      break;
    case kMusic:
      s.root = "/home/" + user + "/Music";
      break;
    case kMedia:
      s.root = "/media/" + user + "/" + rng.pick(kLabels);
      break;
    case kOffice:
    default:
      s.root = "/home/" + user + "/Documents";
      break;
  }
  s.folder = NewFolder(rng, s);
  return s;
}

struct FileInfo {
  std::string name;   // file name with extension
  std::string title;  // title derived from the file name
  uint64_t size = 0;
};

// Title from a file name: extension dropped, separators as spaces.
std::string TitleFromFile(std::string_view file) {
  size_t dot = file.rfind('.');
  std::string_view stem = file.substr(0, dot == std::string_view::npos || dot == 0 ? file.size() : dot);
  std::string t;
  for (char c : stem) {
    if (c == '_' || c == '-' || c == '.') c = ' ';
    if (c == ' ' && (t.empty() || t.back() == ' ')) continue;
    t += c;
  }
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

FileInfo NewFile(Rng& rng, Scan& s) {
  FileInfo f;
  switch (s.kind) {
    case kCode: {
      const char* ext = rng.pick(kSourceExts);
      f.name = std::string(rng.pick(kSourceStems));
      if (rng.chance(0.4)) f.name += std::string("_") + rng.pick(kModules);
      f.name += std::string(".") + ext;
      f.size = LogUniform(rng, 120, 90000);
      break;
    }
    case kBackup:
    case kOffice: {
      const char* ext = rng.pick(kDocExts);
      std::string stem = Capitalized(PathWord(rng)) + (rng.chance(0.5) ? " " : "_") + PathWord(rng);
      if (rng.chance(0.5)) stem += "_" + std::to_string(rng.range(2001, 2024));
      f.name = stem + "." + ext;
      f.size = LogUniform(rng, 8000, 6000000);
      break;
    }
    case kPictures: {
      bool raw = rng.chance(0.15);
      static const char* const kPrefix[] = {"IMG_", "DSC_", "DSCN", "P"};
      f.name = std::string(rng.pick(kPrefix)) + std::to_string(1000 + (s.mediaNo++ % 9000)) +
               (raw ? ".NEF" : (rng.chance(0.8) ? ".JPG" : ".jpg"));
      f.size = raw ? LogUniform(rng, 18e6, 45e6) : LogUniform(rng, 900e3, 12e6);
      break;
    }
    case kMusic: {
      bool flac = rng.chance(0.25);
      f.name = TwoDigits(++s.mediaNo % 100) + " - " + Capitalized(PathWord(rng)) + " " +
               PathWord(rng) + (flac ? ".flac" : ".mp3");
      f.size = flac ? LogUniform(rng, 15e6, 70e6) : LogUniform(rng, 2.5e6, 14e6);
      break;
    }
    case kMedia:
    default: {
      const char* ext = rng.pick(kVideoExts);
      f.name = Capitalized(PathWord(rng)) + "." + Capitalized(PathWord(rng)) + "." +
               std::to_string(rng.range(1950, 2024)) + "." + (rng.chance(0.5) ? "1080p" : "720p") +
               "." + ext;
      f.size = LogUniform(rng, 250e6, 8e9);
      break;
    }
  }
  // About one file in a hundred is an invoice, named in any of the ways
  // people write it; the search measures look for exactly these.
  if (rng.chance(0.01)) {
    static const char* const kInvoice[] = {"Invoice", "invoice", "INVOICE", "Invoices"};
    f.name = std::string(rng.pick(kInvoice)) + (rng.chance(0.5) ? "_" : " ") +
             std::to_string(rng.range(2001, 2024)) + "-" + TwoDigits(int(rng.range(1, 12))) + "_" +
             UpperAscii(rng.pick(kProjects)) + ".pdf";
    f.size = LogUniform(rng, 20000, 900000);
  }
  // One file in four is some kind of report, the word written in any case
  // before the extension: the many-hits search finds these.
  if (rng.chance(0.25)) {
    static const char* const kReport[] = {"_report", " Report", "-REPORT", "_Reports", " report"};
    size_t dot = f.name.rfind('.');
    f.name.insert(dot == std::string::npos ? f.name.size() : dot, rng.pick(kReport));
  }
  f.title = TitleFromFile(f.name);
  return f;
}

std::string RandomDate(Rng& rng, int year) {
  char b[32];
  std::snprintf(b, sizeof b, "%02d/%02d/%04d %02d:%02d:%02d", int(rng.range(1, 28)),
                int(rng.range(1, 12)), year, int(rng.range(0, 23)), int(rng.range(0, 59)),
                int(rng.range(0, 59)));
  return b;
}

std::string RandomDescription(Rng& rng) {
  size_t target = size_t(rng.range(20, 500));
  std::string d;
  bool sentenceStart = true;
  while (d.size() < target) {
    std::string w = rng.pick(kWords);
    if (sentenceStart) w = Capitalized(w);
    if (!d.empty()) d += ' ';
    d += w;
    sentenceStart = rng.chance(0.12);
    if (sentenceStart) d += '.';
  }
  std::string_view cut = Cut(d, target - 1);
  while (!cut.empty() && cut.back() == ' ') cut.remove_suffix(1);
  return std::string(cut) + ".";
}

// Distinct catalog names; none but the big one begins "Archive 2019".
std::vector<std::string> CatalogNames(Rng& rng, size_t count) {
  static const char* const kBases[] = {"Photos",  "Music",   "Backup",    "Projects", "Documents",
                                       "Movies",  "Archive", "Laptop",    "Desktop",  "NAS",
                                       "CD",      "DVD",     "USB Stick", "Work",     "Old Disk",
                                       "Scans",   "Ebooks",  "Games",     "Software", "Mail",
                                       "Fotos",   "Reisen",  "Vidéos",    "Travail",  "Series"};
  std::set<std::string> seen{std::string(kBigCatalog)};
  std::vector<std::string> names;
  while (names.size() < count) {
    std::string n = rng.pick(kBases);
    n += " " + (rng.chance(0.6) ? std::to_string(rng.range(1995, 2024))
                                : TwoDigits(int(rng.range(1, 99))));
    if (rng.chance(0.15)) n += std::string(" ") + static_cast<char>('A' + rng.below(6));
    if (n.size() > size_t(kCatalogWidth) || n.rfind(kBigCatalog, 0) == 0) continue;
    if (seen.insert(n).second) names.push_back(n);
  }
  return names;
}

}  // namespace

std::string RandomTitle(Rng& rng) { return WordsTitle(rng, int(rng.range(2, 6)), kTitleWidth); }

Dataset Generate(size_t count, uint64_t seed) {
  Rng rng(seed);
  Dataset ds;

  // Catalog sizes: the big catalog fixed, the others falling off like
  // Zipf's law, so a few hold most records and many hold a handful.
  size_t big = count >= 20000 ? 10000 : count / 10;
  size_t others = kCatalogCount - 1;
  std::vector<std::string> names = CatalogNames(rng, others);
  std::vector<double> weight(others);
  double total = 0;
  for (size_t k = 0; k < others; ++k) total += weight[k] = std::pow(double(k + 1), -1.1);
  std::vector<size_t> remaining(others + 1, 0);
  size_t rest = count - big, given = 0;
  for (size_t k = 0; k < others; ++k) {
    remaining[k] = size_t(double(rest) * weight[k] / total);
    given += remaining[k];
  }
  for (size_t k = 0; given < rest; k = (k + 1) % others, ++given) ++remaining[k];
  names.push_back(std::string(kBigCatalog));
  remaining[others] = big;
  // The catalog names in a shuffled order, so the big ones are not all
  // first in the alphabet by accident of generation.
  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  for (size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[rng.below(i)]);

  const std::vector<size_t> initial = remaining;
  ds.rows.reserve(count, count * 200);
  size_t left = count;
  while (left > 0) {
    // The next scan goes to a catalog drawn by how much it still has to get.
    uint64_t draw = rng.below(left);
    size_t cat = 0;
    for (size_t i : order) {
      if (draw < remaining[i]) {
        cat = i;
        break;
      }
      draw -= remaining[i];
    }
    size_t run = std::min<size_t>(remaining[cat], LogUniform(rng, 20, 3000));
    remaining[cat] -= run;
    left -= run;
    const std::string& catalog = names[cat];

    Scan scan = NewScan(rng);
    for (size_t r = 0; r < run; ++r) {
      if (rng.chance(0.08)) scan.folder = NewFolder(rng, scan);
      FileInfo f = NewFile(rng, scan);
      std::string path = scan.root + scan.folder + "/" + f.name;
      if (path.size() > size_t(kNameWidth)) path = scan.root + "/" + f.name;
      if (path.size() > size_t(kNameWidth)) path = "/mnt/backup/misc/" + f.name;
      std::string title =
          rng.chance(0.55) ? f.title : WordsTitle(rng, int(rng.range(1, 7)), kTitleWidth);
      if (title.empty()) title = f.name;
      std::string size = WithThousands(f.size);
      std::string date = RandomDate(rng, scan.year);
      std::string desc = rng.chance(0.10) ? RandomDescription(rng) : std::string();

      std::string_view fields[kFieldCount] = {
          Cut(catalog, kCatalogWidth), Cut(title, kTitleWidth), Cut(path, kNameWidth),
          Cut(size, kSizeWidth),       Cut(date, kDateWidth),   desc};
      // Stored character fields lose trailing blanks; keep the rows equal
      // to what reads back.
      for (int k = 0; k < kDesc; ++k)
        while (!fields[k].empty() && fields[k].back() == ' ') fields[k].remove_suffix(1);
      ds.rows.add(fields);
      if (cat == others) ++ds.bigCatalogRows;
      if (ContainsNoCase(fields[kName], kSearchWord)) ++ds.searchHits;
      if (ContainsNoCase(fields[kName], kManyWord)) ++ds.manyHits;
    }
  }
  for (size_t i = 0; i < names.size(); ++i)
    if (initial[i] > 0) ds.catalogs.push_back(names[i]);
  return ds;
}

}  // namespace bench

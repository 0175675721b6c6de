// The engine's side of the interoperability test (interop_test.py):
//
//   interop_tool write FOLDER   builds the program's records table in FOLDER
//                               and prints, as JSON, what a reader must find
//   interop_tool dump TABLE     reads any table with the engine and prints its
//                               fields and every record as JSON
//
// Both print UTF-8 JSON on stdout and exit 1 with a message on stderr when the
// engine throws.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "robust_support.h"
#include "xbase.h"

namespace {

std::string Json(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string FieldsJson(const std::vector<xbase::FieldDef>& fields) {
  std::string out = "[";
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    if (i) out += ", ";
    out += "[" + Json(f.name) + ", " + Json(std::string(1, f.type)) + ", " +
           std::to_string(f.width) + ", " + std::to_string(f.decimals) + "]";
  }
  return out + "]";
}

// Cut to a byte width at a character boundary, as a reader expects a stored
// field to be cut (worked out here, not by asking the engine).
std::string Cut(const std::string& s, size_t width) {
  if (s.size() <= width) return s;
  size_t n = width;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

int Write(const std::string& folder) {
  using robust::Rec;
  std::vector<Rec> recs = {
      {"Music", "Blue in Green", "/home/ann/music/Blue in Green.flac", "12,345,678",
       "01/03/2024 10:20:30", "Modal jazz, 1959.\r\nSecond line."},
      {"Documents", "Отчёт за год — Überblick", "/home/zoë/Документы/отчёт.pdf", "1,024",
       "31/12/2023 23:59:59", robust::MixedText(3000, 2)},
      {"Photos", "Ærøskøbing harbour", "/srv/photos/ærø.jpg", "0", "", ""},
      {"Temporary", std::string(79, 'T') + "é", "/" + std::string(260, 'n'), "1,000,000,000",
       "02/02/2022 02:02:02", "日本語のメモ ✓"},
      {"Music", "Deleted track", "/home/ann/music/gone.mp3", "5", "", "deleted but kept"},
      {"Documents", "Deleted letter", "/home/zoë/letter.odt", "77", "", robust::MixedText(700, 6)},
      {"Backup", "Block edge", "/backup/edge.bin", "504", "", robust::MixedText(504, 9)},
      {"Backup", "Emptied", "/backup/emptied.bin", "1", "", "short"},
  };
  robust::BuildRecordsTable(folder, recs, {4, 5});

  // Rewrite some memos in place: one grows past its blocks, one is emptied.
  {
    xbase::Environment env;
    xbase::Table t(env);
    t.SetDatabaseName(folder);
    t.SetTableName(robust::kRecordsFile);
    t.Open();
    auto rewrite = [&](Rec& r, const std::string& desc) {
      if (!t.Locate("FLNAME", r.name)) throw xbase::Error(xbase::ErrorCode::NotFound, r.name);
      t.Edit();
      t.SetFieldByName("FLDESC", desc);
      t.Post();
      r.desc = desc;
    };
    rewrite(recs[1], robust::MixedText(5000, 7));
    rewrite(recs[7], "");
    t.Close();
  }

  const auto fields = robust::RecordsFields();
  std::string out = "{\"fields\": [";
  for (size_t i = 0; i < fields.size(); ++i) {
    out += std::string(i ? ", " : "") + "[" + Json(robust::kRecordFieldNames[i]) + ", " +
           Json(std::string(1, fields[i].type)) + ", " + std::to_string(fields[i].width) +
           ", 0]";
  }
  out += "],\n \"records\": [";
  for (size_t i = 0; i < recs.size(); ++i) {
    const Rec& r = recs[i];
    const bool deleted = i == 4 || i == 5;
    out += std::string(i ? ",\n  " : "\n  ") + "{\"deleted\": " + (deleted ? "true" : "false") +
           ", \"values\": {\"CATALOG\": " + Json(Cut(r.catalog, 20)) +
           ", \"FLTITLE\": " + Json(Cut(r.title, 80)) + ", \"FLNAME\": " + Json(Cut(r.name, 255)) +
           ", \"FLSIZE\": " + Json(Cut(r.size, 10)) + ", \"FLDATE\": " + Json(Cut(r.date, 21)) +
           ", \"FLDESC\": " + Json(r.desc) + "}}";
  }
  out += "]}\n";
  std::cout << out;
  return 0;
}

std::string RecordJson(xbase::Table& t) {
  std::string out = "{\"recno\": " + std::to_string(t.RecNo()) +
                    ", \"deleted\": " + (t.IsDeletedRecord() ? "true" : "false") +
                    ", \"values\": {";
  const auto& fields = t.Fields();
  for (size_t i = 0; i < fields.size(); ++i)
    out += std::string(i ? ", " : "") + Json(fields[i].name) + ": " +
           Json(t.FieldByName(fields[i].name));
  return out + "}}";
}

int Dump(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);

  // Every record, deleted ones included, in file order.
  xbase::Environment all;
  all.SetDeleted(false);
  xbase::Table t(all);
  t.SetDatabaseName(folder);
  t.SetTableName(file);
  t.Open();
  std::string out = "{\"fields\": " + FieldsJson(t.Fields()) + ",\n \"records\": [";
  bool first = true;
  for (t.First(); !t.Eof(); t.Next()) {
    out += std::string(first ? "\n  " : ",\n  ") + RecordJson(t);
    first = false;
  }
  t.Close();

  // The record numbers a user sees.
  xbase::Environment env;
  xbase::Table v(env);
  v.SetDatabaseName(folder);
  v.SetTableName(file);
  v.Open();
  out += "],\n \"visible\": [";
  first = true;
  for (v.First(); !v.Eof(); v.Next()) {
    out += std::string(first ? "" : ", ") + std::to_string(v.RecNo());
    first = false;
  }
  out += "],\n \"count\": " + std::to_string(v.RecordCount()) + "}\n";
  v.Close();
  std::cout << out;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: interop_tool write FOLDER | dump TABLE\n";
    return 2;
  }
  const std::string cmd = argv[1];
  try {
    if (cmd == "write") return Write(argv[2]);
    if (cmd == "dump") return Dump(argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "interop_tool: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "interop_tool: unknown command " << cmd << "\n";
  return 2;
}

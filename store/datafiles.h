// Names and place of the database files.
#pragma once

#include <QString>

#include <string>

namespace store {

// The files of the catalog database, all in the data folder.
inline constexpr char kRecordsTable[] = "VTLDataA.dbf";  // one record per catalogued file
inline constexpr char kRecordsIndex[] = "VTLDataA.nsx";  // tag CatFlTl
inline constexpr char kRecordsMemo[] = "VTLDataA.SMT";   // FLDESC texts
inline constexpr char kCatalogTable[] = "VTLCa.dbf";     // one record per catalog
inline constexpr char kCatalogIndex[] = "VTLCa.nsx";     // tag CtLg

inline constexpr char kRecordsTag[] = "CatFlTl";
inline constexpr char kCatalogTag[] = "CtLg";

// "<folder>/<file>" with forward slashes on every platform.
QString DataFilePath(const QString& dataDir, const char* file);

// The data folder used when none is given: "<executable folder>/data" when
// that folder, or the executable folder if it does not exist yet, can be
// written (portable use); otherwise "data" in the per-user application data
// folder, which depends on the application and organization names set on
// the QCoreApplication. `executableDir` empty means the running program's
// folder.
QString DefaultDataFolder(const QString& executableDir = {});

// Makes sure the data folder exists, creating it (and missing parents) when
// needed. On failure returns false and, when `error` is given, a sentence
// naming the folder.
bool EnsureDataFolder(const QString& dir, QString* error);

// A path in the form the engine takes (the file system's byte encoding).
std::string EnginePath(const QString& path);
QString FromEnginePath(const std::string& path);

// Text from the engine (UTF-8) and back.
inline QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::string ToUtf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace store

namespace store {

// Field names of the records table, in table order, and of the
// catalog-names table (its only field is Catalog too).
inline constexpr char kFieldCatalog[] = "Catalog";
inline constexpr char kFieldTitle[] = "FLTITLE";
inline constexpr char kFieldName[] = "FLNAME";
inline constexpr char kFieldSize[] = "FLSIZE";
inline constexpr char kFieldDate[] = "FLDATE";
inline constexpr char kFieldDesc[] = "FLDESC";

// Widths in bytes of the character fields of the records table (Catalog's
// is kCatalogWidth in catalog.h).
inline constexpr int kTitleWidth = 80;
inline constexpr int kNameWidth = 255;
inline constexpr int kSizeWidth = 10;
inline constexpr int kDateWidth = 21;

}  // namespace store

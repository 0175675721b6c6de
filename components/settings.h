// The user's settings: one store per user, sections of named values, every
// value kept as text. On Windows the store is the registry key
// HKEY_CURRENT_USER\Software\Brannock\Vantrell (a section is a subkey); on
// Linux it is an INI file in the XDG config folder (a section is a group).
#pragma once

#include <QString>

#include <memory>
#include <stdexcept>

class QSettings;

// A stored value that is not text (a registry DWORD or binary value, an INI
// value that reads back as a list or a byte array). The message names the
// value: "Invalid data type for 'Width'".
class SettingsError : public std::runtime_error {
 public:
  explicit SettingsError(const QString& name);
};

// Every setting the program keeps, with its section, name and default.
namespace settings {

struct BoolSetting {
  const char* section;
  const char* name;
  bool def;
};

struct IntSetting {
  const char* section;
  const char* name;
  int def;
};

// A folder default of "C:\" or "C:" means the user's home folder where paths
// carry no drive letter; StringDefault() resolves it for this platform.
struct StringSetting {
  const char* section;
  const char* name;
  const char* def;
  bool homeFolderDefault = false;
};

inline constexpr char kFormOps[] = "FormOps";
inline constexpr char kPrintOps[] = "PrintOps";
inline constexpr char kStartUp[] = "StartUp";

// Main window options and geometry.
inline constexpr BoolSetting kHints{kFormOps, "Hints", true};
inline constexpr BoolSetting kCmbCLES{kFormOps, "CmbCLES", false};
inline constexpr BoolSetting kKeepOnTop{kFormOps, "KeepOnTop", false};
inline constexpr BoolSetting kFlatBtns{kFormOps, "FlatBtns", false};
inline constexpr BoolSetting kPosition{kFormOps, "Position", false};
inline constexpr IntSetting kTop{kFormOps, "Top", 10};
inline constexpr IntSetting kLeft{kFormOps, "Left", 10};
inline constexpr IntSetting kHeight{kFormOps, "Height", 566};
inline constexpr IntSetting kWidth{kFormOps, "Width", 591};
inline constexpr IntSetting kGridHeight{kFormOps, "GridHeight", 148};
inline constexpr BoolSetting kTryIcn{kFormOps, "TryIcn", false};
inline constexpr StringSetting kDFTab{kFormOps, "DFTab", ""};
inline constexpr BoolSetting kChkBxEditON{kFormOps, "ChkBxEditON", true};
inline constexpr BoolSetting kChkBxFrms{kFormOps, "ChkBxFrms", true};

// Report options.
inline constexpr BoolSetting kFullShort{kPrintOps, "FullShort", true};
inline constexpr BoolSetting kHdrBox{kPrintOps, "HdrBox", true};
inline constexpr BoolSetting kShaded{kPrintOps, "Shaded", true};
inline constexpr BoolSetting kLMBO{kPrintOps, "LMBO", false};

// Start folders and choices of the add, zip and file-operation windows.
inline constexpr StringSetting kAddStrtDir{kStartUp, "AddStrtDir", "C:\\", true};
inline constexpr StringSetting kAddStrtExt{kStartUp, "AddStrtExt", "*.*"};
// Whether Add without a chosen file takes every file below the folder.
inline constexpr BoolSetting kAddSubFldrs{kStartUp, "AddSubFldrs", false};
// Whether that walk also goes into other file systems mounted below the folder.
inline constexpr BoolSetting kAddOtherFs{kStartUp, "AddOtherFs", false};
inline constexpr StringSetting kZipStrtDir{kStartUp, "ZipStrtDir", "C:\\", true};
inline constexpr IntSetting kExpDirs{kStartUp, "ExpDirs", 0};
inline constexpr IntSetting kOvrWrt{kStartUp, "OvrWrt", 1};
inline constexpr IntSetting kExtAll{kStartUp, "ExtAll", 0};
inline constexpr StringSetting kCmrStrtDir{kStartUp, "cmrStrtDir", "C:", true};

inline constexpr BoolSetting kAllBools[] = {
    kHints,    kCmbCLES,     kKeepOnTop, kFlatBtns, kPosition, kTryIcn,
    kChkBxEditON, kChkBxFrms, kFullShort, kHdrBox,   kShaded,   kLMBO, kAddSubFldrs, kAddOtherFs};
inline constexpr IntSetting kAllInts[] = {kTop,     kLeft,    kHeight, kWidth,
                                          kGridHeight, kExpDirs, kOvrWrt, kExtAll};
inline constexpr StringSetting kAllStrings[] = {kDFTab,      kAddStrtDir, kAddStrtExt,
                                                kZipStrtDir, kCmrStrtDir};

// The default of a text setting on this platform: the stated text, or for the
// folder settings the user's home folder where paths have no drive letters.
QString StringDefault(const StringSetting& setting);

}  // namespace settings

class TSettings {
 public:
  // The user's store: QSettings("Brannock", "Vantrell").
  TSettings();
  // An INI file of the same layout (tests, portable use).
  explicit TSettings(const QString& iniFile);
  ~TSettings();
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  // A missing value yields the default; an existing empty value reads as "".
  QString ReadString(const QString& section, const QString& name, const QString& def) const;
  // Decimal text, or hexadecimal after "0x"/"0X". A missing value, an empty
  // text or one that is not a number yields the default.
  int ReadInteger(const QString& section, const QString& name, int def) const;
  // Read as an integer; any non-zero number is true.
  bool ReadBool(const QString& section, const QString& name, bool def) const;

  // Each write reaches the store at once. Write failures are not reported.
  void WriteString(const QString& section, const QString& name, const QString& value);
  void WriteInteger(const QString& section, const QString& name, int value);  // decimal
  void WriteBool(const QString& section, const QString& name, bool value);    // "1" / "0"

  // The same for a setting of the table above, with its own default.
  bool Read(const settings::BoolSetting& s) const;
  int Read(const settings::IntSetting& s) const;
  QString Read(const settings::StringSetting& s) const;
  void Write(const settings::BoolSetting& s, bool value);
  void Write(const settings::IntSetting& s, int value);
  void Write(const settings::StringSetting& s, const QString& value);

  // Where the values live: the INI file's path or the registry key.
  QString Location() const;

 private:
  // The stored text of a value, or a null QString when it is missing.
  // Throws SettingsError when the value exists but is not text.
  QString ReadText(const QString& section, const QString& name) const;
  void WriteText(const QString& section, const QString& name, const QString& value);

  std::unique_ptr<QSettings> store_;
};

// Parses an integer setting's text: optional sign and decimal digits, or
// "0x"/"0X" and up to eight hexadecimal digits (taken as a 32-bit pattern, so
// "0xFFFFFFFF" is -1). Returns false for anything else, or a decimal number
// outside the int range.
bool ParseSettingInteger(const QString& text, int* value);

#include "settings.h"

#include <QDir>
#include <QSettings>
#include <QVariant>

#include <cstdint>

SettingsError::SettingsError(const QString& name)
    : std::runtime_error(QStringLiteral("Invalid data type for '%1'").arg(name).toStdString()) {}

namespace settings {

QString StringDefault(const StringSetting& setting) {
#ifdef Q_OS_WIN
  return QString::fromLatin1(setting.def);
#else
  if (setting.homeFolderDefault) return QDir::homePath();
  return QString::fromLatin1(setting.def);
#endif
}

}  // namespace settings

namespace {

int HexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

QString Key(const QString& section, const QString& name) { return section + u'/' + name; }

}  // namespace

bool ParseSettingInteger(const QString& text, int* value) {
  const QString t = text.trimmed();
  qsizetype i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
    negative = t[i] == u'-';
    ++i;
  }
  const bool hex = i + 1 < t.size() && t[i] == u'0' && (t[i + 1] == u'x' || t[i + 1] == u'X');
  if (hex) i += 2;
  if (i >= t.size()) return false;

  // Accumulate in 64 bits; stop as soon as the number leaves the range that
  // can still be represented, so a long run of digits cannot overflow.
  const int base = hex ? 16 : 10;
  const std::int64_t limit = hex ? 0xFFFFFFFFLL : (negative ? 2147483648LL : 2147483647LL);
  std::int64_t n = 0;
  for (; i < t.size(); ++i) {
    const int d = HexDigit(t[i]);
    if (d < 0 || d >= base) return false;
    n = n * base + d;
    if (n > limit) return false;
  }
  if (hex) {
    // A hexadecimal text is a 32-bit pattern, as a registry DWORD would be.
    n = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
  }
  *value = static_cast<int>(negative ? -n : n);
  return true;
}

TSettings::TSettings()
    : store_(std::make_unique<QSettings>(QStringLiteral("Brannock"), QStringLiteral("Vantrell"))) {}

TSettings::TSettings(const QString& iniFile)
    : store_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

TSettings::~TSettings() = default;

QString TSettings::Location() const { return store_->fileName(); }

QString TSettings::ReadText(const QString& section, const QString& name) const {
  const QString key = Key(section, name);
  if (!store_->contains(key)) return QString();
  const QVariant v = store_->value(key);
  // Only text is accepted: a registry DWORD comes back as a number, binary
  // and multi-string values as byte arrays and lists, and an INI value such
  // as "a, b" or "@ByteArray(...)" as a list or a byte array.
  if (v.typeId() != QMetaType::QString) throw SettingsError(name);
  QString s = v.toString();
  if (s.isNull()) s = QLatin1String("");  // present but empty: not the same as missing
  return s;
}

void TSettings::WriteText(const QString& section, const QString& name, const QString& value) {
  store_->setValue(Key(section, name), value);
  store_->sync();
}

QString TSettings::ReadString(const QString& section, const QString& name,
                              const QString& def) const {
  const QString s = ReadText(section, name);
  return s.isNull() ? def : s;
}

int TSettings::ReadInteger(const QString& section, const QString& name, int def) const {
  const QString s = ReadText(section, name);
  int value = 0;
  if (s.isNull() || !ParseSettingInteger(s, &value)) return def;
  return value;
}

bool TSettings::ReadBool(const QString& section, const QString& name, bool def) const {
  return ReadInteger(section, name, def ? 1 : 0) != 0;
}

void TSettings::WriteString(const QString& section, const QString& name, const QString& value) {
  WriteText(section, name, value);
}

void TSettings::WriteInteger(const QString& section, const QString& name, int value) {
  WriteText(section, name, QString::number(value));
}

void TSettings::WriteBool(const QString& section, const QString& name, bool value) {
  WriteText(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TSettings::Read(const settings::BoolSetting& s) const {
  return ReadBool(QLatin1String(s.section), QLatin1String(s.name), s.def);
}

int TSettings::Read(const settings::IntSetting& s) const {
  return ReadInteger(QLatin1String(s.section), QLatin1String(s.name), s.def);
}

QString TSettings::Read(const settings::StringSetting& s) const {
  return ReadString(QLatin1String(s.section), QLatin1String(s.name), settings::StringDefault(s));
}

void TSettings::Write(const settings::BoolSetting& s, bool value) {
  WriteBool(QLatin1String(s.section), QLatin1String(s.name), value);
}

void TSettings::Write(const settings::IntSetting& s, int value) {
  WriteInteger(QLatin1String(s.section), QLatin1String(s.name), value);
}

void TSettings::Write(const settings::StringSetting& s, const QString& value) {
  WriteString(QLatin1String(s.section), QLatin1String(s.name), value);
}

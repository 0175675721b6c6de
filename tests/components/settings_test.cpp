// The settings store over an INI file: defaults, number parsing, what is
// written, and values of the wrong type.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "settings.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString IniPath() const { return dir_.filePath(QStringLiteral("Vantrell.ini")); }

  void WriteIni(const QByteArray& text) {
    QFile f(IniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
  }

  QByteArray IniText() const {
    QFile f(IniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
};

TEST_F(SettingsTest, NoStoreAtAllGivesEveryDefault) {
  TSettings s(IniPath());
  for (const auto& b : settings::kAllBools) EXPECT_EQ(s.Read(b), b.def) << b.name;
  for (const auto& i : settings::kAllInts) EXPECT_EQ(s.Read(i), i.def) << i.name;
  for (const auto& t : settings::kAllStrings)
    EXPECT_EQ(s.Read(t), settings::StringDefault(t)) << t.name;

  // The values a first start depends on, spelled out.
  EXPECT_TRUE(s.Read(settings::kHints));
  EXPECT_FALSE(s.Read(settings::kPosition));
  EXPECT_EQ(s.Read(settings::kHeight), 566);
  EXPECT_EQ(s.Read(settings::kWidth), 591);
  EXPECT_EQ(s.Read(settings::kGridHeight), 148);
  EXPECT_EQ(s.Read(settings::kAddStrtExt), QStringLiteral("*.*"));
#ifdef Q_OS_WIN
  EXPECT_EQ(s.Read(settings::kAddStrtDir), QStringLiteral("C:\\"));
  EXPECT_EQ(s.Read(settings::kCmrStrtDir), QStringLiteral("C:"));
#else
  EXPECT_EQ(s.Read(settings::kAddStrtDir), QDir::homePath());
  EXPECT_EQ(s.Read(settings::kCmrStrtDir), QDir::homePath());
#endif

  // Reading alone creates nothing.
  EXPECT_FALSE(QFileInfo::exists(IniPath()));
}

TEST_F(SettingsTest, NumbersAreDecimalOrHexadecimalElseTheDefault) {
  WriteIni(
      "[FormOps]\n"
      "Width=0x24F\n"
      "Height=0X24f\n"
      "Top=abc\n"
      "Left=\n"
      "GridHeight=12abc\n"
      "ExpDirs=-5\n"
      "OvrWrt=0x\n"
      "ExtAll=99999999999\n"
      "Hex32=0xFFFFFFFF\n"
      "Hex33=0x100000000\n"
      "Min=-2147483648\n"
      "Hints=0\n"
      "KeepOnTop=2\n"
      "Position=yes\n");
  TSettings s(IniPath());
  EXPECT_EQ(s.Read(settings::kWidth), 591);
  EXPECT_EQ(s.ReadInteger("FormOps", "Height", 1), 591);
  EXPECT_EQ(s.Read(settings::kTop), 10);
  EXPECT_EQ(s.ReadInteger("FormOps", "Left", 10), 10);
  EXPECT_EQ(s.ReadInteger("FormOps", "GridHeight", 148), 148);
  EXPECT_EQ(s.ReadInteger("FormOps", "ExpDirs", 0), -5);
  EXPECT_EQ(s.ReadInteger("FormOps", "OvrWrt", 1), 1);
  EXPECT_EQ(s.ReadInteger("FormOps", "ExtAll", 3), 3);
  EXPECT_EQ(s.ReadInteger("FormOps", "Hex32", 0), -1);
  EXPECT_EQ(s.ReadInteger("FormOps", "Hex33", 8), 8);
  EXPECT_EQ(s.ReadInteger("FormOps", "Min", 0), -2147483647 - 1);
  EXPECT_EQ(s.ReadInteger("Nowhere", "Width", 42), 42);
  // Booleans are numbers too: any non-zero one is true.
  EXPECT_FALSE(s.Read(settings::kHints));
  EXPECT_TRUE(s.Read(settings::kKeepOnTop));
  EXPECT_TRUE(s.ReadBool("FormOps", "Position", true));
  EXPECT_FALSE(s.ReadBool("FormOps", "Position", false));
}

TEST_F(SettingsTest, AnEmptyStringIsNotMissing) {
  WriteIni("[FormOps]\nDFTab=\n[StartUp]\nAddStrtExt=\n");
  TSettings s(IniPath());
  const QString dfTab = s.ReadString("FormOps", "DFTab", "Default");
  EXPECT_TRUE(dfTab.isEmpty());
  EXPECT_EQ(s.Read(settings::kAddStrtExt), QString());
  EXPECT_EQ(s.ReadString("FormOps", "Absent", "Default"), QStringLiteral("Default"));
}

TEST_F(SettingsTest, WritesAreTextInTheStoreAtOnce) {
  TSettings s(IniPath());
  s.Write(settings::kHints, false);
  s.Write(settings::kKeepOnTop, true);
  s.Write(settings::kTop, -7);
  s.Write(settings::kLMBO, true);
  s.Write(settings::kDFTab, QStringLiteral("Disks, CDs & more"));
  s.Write(settings::kAddStrtDir, QStringLiteral("/home/user/Music"));

  // On disk while the writing object is still alive, as plain text in the
  // value's own section.
  const QString text = QString::fromUtf8(IniText());
  const qsizetype formOps = text.indexOf(QStringLiteral("[FormOps]"));
  const qsizetype printOps = text.indexOf(QStringLiteral("[PrintOps]"));
  ASSERT_GE(formOps, 0) << text.toStdString();
  ASSERT_GE(printOps, 0) << text.toStdString();
  EXPECT_GT(text.indexOf(QStringLiteral("Hints=0\n")), formOps);
  EXPECT_GT(text.indexOf(QStringLiteral("KeepOnTop=1\n")), formOps);
  EXPECT_GT(text.indexOf(QStringLiteral("Top=-7\n")), formOps);
  EXPECT_GT(text.indexOf(QStringLiteral("LMBO=1\n")), printOps);

  // Another object on the same store reads back what was written; a text
  // with a comma stays one string.
  TSettings again(IniPath());
  EXPECT_FALSE(again.Read(settings::kHints));
  EXPECT_TRUE(again.Read(settings::kKeepOnTop));
  EXPECT_EQ(again.Read(settings::kTop), -7);
  EXPECT_TRUE(again.Read(settings::kLMBO));
  EXPECT_EQ(again.Read(settings::kDFTab), QStringLiteral("Disks, CDs & more"));
  EXPECT_EQ(again.Read(settings::kAddStrtDir), QStringLiteral("/home/user/Music"));
  // The same name in another section is another value.
  EXPECT_EQ(again.ReadInteger("StartUp", "Top", 99), 99);
}

TEST_F(SettingsTest, AValueThatIsNotTextIsAnError) {
  WriteIni(
      "[FormOps]\n"
      "Width=@ByteArray(abc)\n"
      "Height=1, 2\n"
      "DFTab=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n"
      "Top=\"1, 2\"\n");
  TSettings s(IniPath());
  try {
    s.Read(settings::kWidth);
    FAIL() << "no error for a byte array";
  } catch (const SettingsError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Width'");
  }
  EXPECT_THROW(s.ReadInteger("FormOps", "Height", 566), SettingsError);
  EXPECT_THROW(s.ReadBool("FormOps", "Height", true), SettingsError);
  EXPECT_THROW(s.ReadString("FormOps", "Height", ""), SettingsError);
  EXPECT_THROW(s.Read(settings::kDFTab), SettingsError);
  // A quoted text with a comma is a string (not a number, so the default).
  EXPECT_EQ(s.Read(settings::kTop), 10);
  // Values around a bad one still read.
  EXPECT_EQ(s.Read(settings::kLeft), 10);
}

}  // namespace

// The guard every table command runs in: an engine error is one "Error"
// box, and the table is left browsing with its data controls running.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <stdexcept>

#include <xbase.h>

#include "commandguard.h"
#include "prompts.h"

namespace {

TEST(CommandGuardTest, EngineErrorIsOneBoxAndTheTableBrowsesAgain) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.path().toStdString() + "/t.dbf";
  xbase::CreateTable(path, {{"NAME", 'C', 20, 0}});
  xbase::Environment env;
  xbase::Table t(env);
  t.SetDatabaseName(dir.path().toStdString());
  t.SetTableName("t.dbf");
  t.Open();
  t.Append();
  t.SetFieldByName("NAME", "original");
  t.Post();
  int dataChanges = 0;
  t.OnDataChange = [&](const std::string&) { ++dataChanges; };

  prompts::ScriptedPrompts p;
  bool ok = command::Run(p, nullptr, {&t}, [&] {
    t.Edit();
    t.SetFieldByName("NAME", "changed");
    t.DisableControls();
    t.DisableControls();
    throw xbase::Error(xbase::ErrorCode::Corrupt, "memo file /data/VTLDataA.SMT is damaged: block 9 is out of range");
  });
  EXPECT_FALSE(ok);
  ASSERT_EQ(p.Count(prompts::ScriptedPrompts::Call::Message), 1);
  EXPECT_EQ(p.Last().kind, prompts::Kind::Error);
  EXPECT_EQ(p.Last().text, "Memo file /data/VTLDataA.SMT is damaged: block 9 is out of range.");
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(t.FieldByName("NAME"), "original");
  // The controls run again and were told once of the record they show.
  EXPECT_FALSE(t.ControlsDisabled());
  dataChanges = 0;
  t.Refresh();
  EXPECT_EQ(dataChanges, 1);

  // A command that ends normally shows nothing.
  EXPECT_TRUE(command::Run(p, nullptr, {&t}, [&] { t.First(); }));
  EXPECT_EQ(p.Count(prompts::ScriptedPrompts::Call::Message), 1);

  // Anything but an engine error is a fault of the program: it passes on.
  EXPECT_THROW(command::Run(p, nullptr, {&t}, [] { throw std::logic_error("bug"); }), std::logic_error);
  EXPECT_EQ(p.Count(prompts::ScriptedPrompts::Call::Message), 1);
}

}  // namespace

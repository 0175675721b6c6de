// A child process gets exactly the arguments, input and environment it was
// given, and its outputs and exit status come back whole, on every system.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "childprocess.h"

namespace {

// echo: one line per argument on stdout, then the standard input and
// VANTRELL_ECHO_VALUE on stderr; ends with status 7.
VANTRELL_CHILD_ROLE(Echo, "echo") {
  for (const std::string& a : args) std::cout << "[" << a << "]\n";
  std::cout.flush();
  const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  const char* value = std::getenv("VANTRELL_ECHO_VALUE");
  std::cerr << input << "|" << (value ? value : "(none)");
  return 7;
}

TEST(ChildProcessTest, ArgumentsInputAndEnvironmentReachTheChildAsGiven) {
  const testsupport::Args args{"", "two words", "say \"x\"", "back\\slash\\", "\\\\\"", "t\tab", "\xC8\x99" "coala"};
  std::string input(100000, 'i');
  const testsupport::ProcessResult r = testsupport::RunProcess(
      testsupport::SelfPath(), {"--child-role", "echo", args[0], args[1], args[2], args[3], args[4], args[5], args[6]},
      input, {"VANTRELL_ECHO_VALUE=a=b"});
  EXPECT_EQ(r.code, 7);
  std::string expected;
  for (const std::string& a : args) expected += "[" + a + "]\n";
  std::string out = r.out;
  for (size_t at = 0; (at = out.find("\r\n", at)) != std::string::npos;) out.erase(at, 1);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(r.err, input + "|a=b");
}

// hold: says "ready", then waits for a line and ends with its length.
VANTRELL_CHILD_ROLE(Hold, "hold") {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  return int(line.size());
}

TEST(ChildProcessTest, AChildIsTalkedToWaitedForAndKilled) {
  testsupport::ChildProcess child;
  ASSERT_TRUE(testsupport::StartRole(child, "hold", {}));
  EXPECT_EQ(child.ReadLine(), "ready");
  EXPECT_TRUE(child.Send("four\n"));
  EXPECT_EQ(child.Wait(), 4);
  EXPECT_FALSE(child.Running());

  testsupport::ChildProcess held;
  ASSERT_TRUE(testsupport::StartRole(held, "hold", {}));
  EXPECT_EQ(held.ReadLine(), "ready");
  EXPECT_EQ(held.Kill(), -1);
  EXPECT_FALSE(held.Running());
  EXPECT_EQ(held.ReadLine(), std::nullopt);
}

}  // namespace

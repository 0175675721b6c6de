// The description clean-up on the rules the three commands follow.
#include <gtest/gtest.h>

#include "textcleanup.h"

namespace {

TEST(TextCleanupTest, RemoveReplaceAndCollapseOneCharacter) {
  const QChar cr(13), lf(10), sp(32);
  EXPECT_EQ(RemoveChar("a\rb\r\r", cr), "ab");
  EXPECT_EQ(ReplaceChar("alpha\nbeta\n", lf, sp), "alpha beta ");
  EXPECT_EQ(CollapseRuns("   x  ", sp), " x ") << "runs at both ends become one, nothing is trimmed";
  EXPECT_EQ(CollapseRuns("a \t  b", sp), "a \t b") << "a tab breaks a run and stays";
  const QString noBreak = QString(QChar(0xA0)).repeated(2);
  EXPECT_EQ(CollapseRuns(noBreak, sp), noBreak) << "a no-break space is another character";
  EXPECT_EQ(CollapseRuns("", sp), "");
  EXPECT_EQ(RemoveChar("", cr), "");
}

}  // namespace

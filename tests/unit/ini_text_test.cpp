// The headless INI text rules where they go beyond what the shared contract cases show: which
// section and key win, quotes, byte order marks, and where new lines go.

#include <gtest/gtest.h>

#include "headless/ini_text.h"

namespace tavoro::platform::headless {
namespace {

TEST(IniTextLookup, FirstMatchingSectionAndKeyWinAndQuotesAreStrippedOnce) {
  const std::string text =
      "\xEF\xBB\xBF[Skype]\r\nCallTo = \"  spaced  \"\r\nCallTo=second\r\n"
      "[SKYPE]\r\nAcceptFrom-1=later-section\r\nQuoted='x'\r\nHalf=\"x\r\nBare\r\n";
  EXPECT_EQ(FindProfileValue(text, "skype", "callto"), "  spaced  ");
  EXPECT_EQ(FindProfileValue(text, "Skype", "AcceptFrom-1"), std::nullopt)
      << "only the first section of a name is searched";
  EXPECT_EQ(FindProfileValue(text, "Skype", "Bare"), std::nullopt);
  EXPECT_EQ(FindProfileValue("[A]\nQ='x'\nH=\"x\n", "A", "Q"), "x");
  EXPECT_EQ(FindProfileValue("[A]\nQ='x'\nH=\"x\n", "A", "H"), "\"x");
  EXPECT_EQ(FindProfileValue("K=top\n[A]\n", "", "K"), "top") << "keys before any section";
}

TEST(IniTextUpdate, NewKeysGoAfterTheSectionsLastEntryAndBeforeBlankLines) {
  EXPECT_EQ(SetProfileValue("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "a", "z", "3"),
            "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
  EXPECT_EQ(SetProfileValue("[A]\nx=1", "A", "z", "3"), "[A]\nx=1\r\nz=3\r\n");
  EXPECT_EQ(SetProfileValue("[A]\nx=1", "B", "z", "3"), "[A]\nx=1\r\n[B]\r\nz=3\r\n");
  EXPECT_EQ(SetProfileValue("", "B", "z", "3"), "[B]\r\nz=3\r\n");
}

TEST(IniTextUpdate, RewriteKeepsLineEndingSpellingAndByteOrderMark) {
  EXPECT_EQ(SetProfileValue("\xEF\xBB\xBF"
                            "callto=a\r\n[A]\n  callTO = b \nnext=1\n",
                            "A", "CallTo", "c"),
            "\xEF\xBB\xBF"
            "callto=a\r\n[A]\ncallTO=c\nnext=1\n");
  EXPECT_EQ(SetProfileValue("\xEF\xBB\xBFk=a\r\n", "", "K", "b"), "\xEF\xBB\xBFk=b\r\n");
}

}  // namespace
}  // namespace tavoro::platform::headless

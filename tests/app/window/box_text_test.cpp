// The crossing between the box's Unicode lines and the keyword list's GBK text.
#include "app/window/box_text.h"

#include <gtest/gtest.h>

namespace quillrank {
namespace {

TEST(BoxText, JoinsLinesWithCrLfInGbk) {
  EXPECT_EQ(box_to_gbk(QStringLiteral("a|百度\n\nc|查询中…\n")),
            "a|\xB0\xD9\xB6\xC8\r\n\r\nc|\xB2\xE9\xD1\xAF\xD6\xD0\xA1\xAD\r\n");
  EXPECT_EQ(gbk_to_box("a|\xB0\xD9\xB6\xC8\r\nb|c\r\n"), QStringLiteral("a|百度\nb|c\n"));
}

TEST(BoxText, WritesWhatGbkLacksAsOneQuestionMarkEach) {
  EXPECT_EQ(box_to_gbk(QStringLiteral("a\U0001F600b")), "a?b");
}

TEST(BoxText, EndsAtTheFirstZeroCharacter) {
  EXPECT_EQ(box_to_gbk(QStringLiteral("a|b") + QChar(u'\0') + QStringLiteral("c|d")), "a|b");
}

}  // namespace
}  // namespace quillrank

#include "platform/TextPool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using platform::TextPool;

// Texts made side by side in shared blocks behave as texts of their own:
// each reads back as written, a change to one leaves the others alone, and
// they outlive the pool and the other texts of their block.
TEST(TextPool, TextsAreIndependentOfTheirBlockAndThePool) {
    auto pool = std::make_unique<TextPool>();
    std::vector<std::string> written;
    std::vector<QString> texts;
    for (int i = 0; i < 300'000; ++i) {  // many blocks, the largest size among them
        written.push_back("file" + std::to_string(i * 7919LL) + ".dat");
        texts.push_back(pool->Ascii(written.back().data(), qsizetype(written.back().size())));
    }
    texts.push_back(pool->Ascii("", 0));
    written.emplace_back();
    const std::string longText(5000, 'x');
    texts.push_back(pool->Ascii(longText.data(), qsizetype(longText.size())));
    written.push_back(longText);
    pool.reset();

    texts[10].append(QStringLiteral("!"));
    texts[11].replace(0, 4, QStringLiteral("F"));
    written[10] += "!";
    written[11].replace(0, 4, "F");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(texts[i].toStdString(), written[i]) << i;
        ASSERT_EQ(texts[i].utf16()[texts[i].size()], 0) << i;  // ends in a zero
    }
    // The last text left of a block may grow in place without harm.
    QString last = texts[5];
    texts.clear();
    last.append(QString(100, QLatin1Char('y')));
    EXPECT_EQ(last.toStdString(), written[5] + std::string(100, 'y'));
}

TEST(TextPool, OnlyBytesBelow0x80AreAscii) {
    EXPECT_TRUE(platform::IsAscii("plain text 123", 14));
    EXPECT_TRUE(platform::IsAscii("", 0));
    EXPECT_FALSE(platform::IsAscii("caf\xc3\xa9", 5));
    EXPECT_FALSE(platform::IsAscii("\x80", 1));
}

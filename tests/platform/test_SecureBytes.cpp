// Buffers of password material: what they keep and what they wipe.
#include "platform/Exceptions.h"
#include "platform/SecureBytes.h"

#include <gtest/gtest.h>

namespace {

TEST(SecureBytes, ShrinkingWipesTheDroppedBytes) {
    TSecureBytes bytes(4);
    for (std::size_t i = 0; i < 4; ++i) {
        bytes.Data()[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    bytes.Resize(2);
    EXPECT_EQ(bytes.Size(), 2u);
    bytes.Resize(4);
    EXPECT_EQ(bytes.Data()[0], 0xA0);
    EXPECT_EQ(bytes.Data()[1], 0xA1);
    EXPECT_EQ(bytes.Data()[2], 0x00);
    EXPECT_EQ(bytes.Data()[3], 0x00);
}

TEST(SecureBytes, NeverGrowsBeyondItsCapacity) {
    TSecureBytes bytes(3);
    EXPECT_THROW(bytes.Resize(4), Exception);
    EXPECT_EQ(bytes.Size(), 3u);
}

TEST(SecureBytes, MovingHandsOverTheBufferAndEmptiesTheSource) {
    TSecureBytes source(2);
    source.Data()[0] = 7;
    const std::uint8_t* buffer = source.Data();
    TSecureBytes target(std::move(source));
    EXPECT_EQ(target.Data(), buffer);
    EXPECT_EQ(target.Size(), 2u);
    EXPECT_TRUE(source.Empty());
    TSecureBytes other(5);
    other = std::move(target);
    EXPECT_EQ(other.Data(), buffer);
    EXPECT_EQ(other.Data()[0], 7);
    EXPECT_TRUE(target.Empty());
}

TEST(CleanseString, WipesAnOwnedBuffer) {
    QString text = QString::fromLatin1("secret");
    CleanseString(text);
    EXPECT_EQ(text, QString(6, QChar(0)));
}

TEST(CleanseString, LeavesASharedBufferToItsOtherHolder) {
    const QString holder = QString::fromLatin1("secret");
    QString copy = holder;
    CleanseString(copy);
    EXPECT_EQ(holder, QStringLiteral("secret"));
    QString literal = QStringLiteral("static");
    CleanseString(literal);
    EXPECT_EQ(literal, QStringLiteral("static"));
}

TEST(CleanseOnExit, WipesWhenTheScopeEndsByAnException) {
    std::uint8_t block[4] = {1, 2, 3, 4};
    try {
        TCleanseOnExit wipe(block, sizeof block);
        throw Exception(QStringLiteral("failure"));
    } catch (const Exception&) {
    }
    for (const std::uint8_t b : block) {
        EXPECT_EQ(b, 0);
    }
}

TEST(Utf8SecureBytes, EncodesIntoAWipingBuffer) {
    const struct {
        const char* Name;
        QString Text;
        QByteArray Utf8;
    } cases[] = {
        {"empty", QString(), QByteArray()},
        {"ASCII", QStringLiteral("pw"), QByteArray("pw")},
        {"Cyrillic and a pair", QString::fromUtf8("Ї\xF0\x9F\x94\x91"),
         QByteArray("\xD0\x87\xF0\x9F\x94\x91")},
        {"lone surrogate", QString(QChar(0xD800)), QByteArray("\xEF\xBF\xBD")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TSecureBytes bytes = Utf8SecureBytes(c.Text);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.Data()),
                             static_cast<qsizetype>(bytes.Size())),
                  c.Utf8);
    }
}

} // namespace

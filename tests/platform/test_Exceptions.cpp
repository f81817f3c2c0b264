#include "platform/Exceptions.h"
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

TEST(Exceptions, HandlersCatchTheGeneralClassAndKeepTheText) {
    const QString text = QStringLiteral("Пароль\rline");
    try {
        throw EDatabaseError(text);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), text);
        EXPECT_STREQ(e.what(), text.toUtf8().constData());
    }
    EOSError os(QStringLiteral("denied"), 5);
    EXPECT_EQ(os.ErrorCode(), 5);
}

TEST(MessageBox, RecorderSeesExactTextsAndRestoresThePreviousHandler) {
    QStringList outer;
    const MessageHandler previous =
        InstallMessageHandler([&outer](const QString& t) { outer.append(t); });
    {
        MessageRecorder recorder;
        ShowMessage(QStringLiteral("DB Error:\rboom"));
        ASSERT_EQ(recorder.Messages(), QStringList{QStringLiteral("DB Error:\rboom")});
    }
    ShowMessage(QStringLiteral("after"));
    EXPECT_EQ(outer, QStringList{QStringLiteral("after")});
    InstallMessageHandler(previous);
}

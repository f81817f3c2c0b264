// The application object: an exception thrown by an event handler ends in the standard
// error box, and the event loop goes on. Runs with its own main, as only one
// application object may exist.
#include "app/Application.h"
#include "platform/Exceptions.h"

#include <QLocale>
#include <QTimer>
#include <clocale>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

TEST(StandardErrorBox, FullStopRule) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Connection refused", "Connection refused."},
        {"Ends with a stop.", "Ends with a stop."},
        {"Port 5432", "Port 5432."}, // digits sort after the full stop
        {"Reason:", "Reason:."},     // so does the colon
        {"Why?", "Why?."},
        {"Stop!", "Stop!"}, // "!" sorts before it
        {"Trailing blank ", "Trailing blank "},
        {"Line\r", "Line\r"},
        {"Помилка", "Помилка."},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(StandardErrorText(S(c.message)), S(c.shown));
    }
}

// Throws from its event handler what the test asks for.
class TThrower : public QObject {
public:
    std::function<void()> Throw;
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        Throw();
        return true;
    }
};

TEST(Application, ExceptionsOfHandlersEndInTheStandardErrorBox) {
    TStandardErrorRecorder errors;
    TThrower thrower;
    thrower.Throw = [] { throw EDatabaseError(S("server closed the connection")); };
    QEvent first(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &first));
    thrower.Throw = [] { throw std::runtime_error("out of range"); };
    QEvent second(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &second));
    EXPECT_EQ(errors.Messages(),
              (QStringList{S("server closed the connection."), S("out of range.")}));
}

TEST(Application, TheEventLoopGoesOnAfterAnError) {
    TStandardErrorRecorder errors;
    TThrower thrower;
    thrower.Throw = [] { throw Exception(S("in the loop")); };
    bool after = false;
    QTimer::singleShot(0, [&] { QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User)); });
    QTimer::singleShot(20, [&] {
        after = true;
        QCoreApplication::quit();
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(after);
    EXPECT_EQ(errors.Messages(), QStringList{S("in the loop.")});
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    TApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "E2eDriver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

// Xlib last: its macros (Bool, None, Status...) would otherwise rename Qt's names.
#include <X11/Xlib.h>

namespace E2e {

namespace {

// Lets queued events run for a moment without spinning the processor.
void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString Xdo(const QStringList& args, int timeoutMs) {
    QProcess xdo;
    xdo.start(QStringLiteral("xdotool"), args);
    if (!xdo.waitForFinished(timeoutMs)) {
        xdo.kill();
        xdo.waitForFinished();
        return {};
    }
    if (xdo.exitStatus() != QProcess::NormalExit || xdo.exitCode() != 0)
        return {};
    return QString::fromUtf8(xdo.readAllStandardOutput()).trimmed();
}

QString WaitForWindow(const QString& titleRegex, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString ids = Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--name"), titleRegex});
        if (!ids.isEmpty())
            return ids.section(QLatin1Char('\n'), 0, 0);
        Pause(20);
    }
    return {};
}

bool WaitForNoWindow(const QString& titleRegex, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), titleRegex})
                .isEmpty())
            return true;
        Pause(100);
    } while (!deadline.hasExpired());
    return false;
}

// Without a window manager only the input focus can be set, not the active window.
void SendKeys(const QString& window, const QString& keys) {
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    Xdo({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

void TypeText(const QString& window, const QString& text) {
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

QRect WindowGeometry(const QString& window) {
    // --shell prints X=, Y=, WIDTH=, HEIGHT= lines.
    const QString text =
        Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    QRect rect;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            rect.moveLeft(value);
        else if (key == QLatin1String("Y"))
            rect.moveTop(value);
        else if (key == QLatin1String("WIDTH"))
            rect.setWidth(value);
        else if (key == QLatin1String("HEIGHT"))
            rect.setHeight(value);
    }
    return rect;
}

void ClickAt(int x, int y, bool extend) {
    QStringList args{QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(x),
                     QString::number(y)};
    if (extend)
        args << QStringLiteral("keydown") << QStringLiteral("shift");
    args << QStringLiteral("click") << QStringLiteral("1");
    if (extend)
        args << QStringLiteral("keyup") << QStringLiteral("shift");
    Xdo(args);
}

bool CloseWindow(const QString& window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.toULong();
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return true;
}

bool Screenshot(const QString& path) {
    QProcess import;
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"), path});
    return import.waitForFinished(20000) && import.exitCode() == 0;
}

struct TPageInspector::TImpl {
    quint16 port;
    QWebSocket socket;
    int nextId = 1;
    QHash<int, QJsonObject> replies;
};

TPageInspector::TPageInspector(quint16 port) : FImpl(std::make_unique<TImpl>()) {
    FImpl->port = port;
    QObject::connect(&FImpl->socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        if (message.contains(QLatin1String("id")))
            FImpl->replies.insert(message.value(QLatin1String("id")).toInt(), message);
    });
}

TPageInspector::~TPageInspector() = default;

bool TPageInspector::Attach(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QNetworkAccessManager network;
    const QUrl list(QStringLiteral("http://127.0.0.1:%1/json/list").arg(FImpl->port));
    while (!deadline.hasExpired()) {
        QNetworkReply* reply = network.get(QNetworkRequest(list));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        const QJsonArray targets = QJsonDocument::fromJson(reply->readAll()).array();
        reply->deleteLater();
        for (const QJsonValue& target : targets) {
            const QJsonObject t = target.toObject();
            if (t.value(QLatin1String("type")).toString() != QLatin1String("page"))
                continue;
            FImpl->socket.open(QUrl(t.value(QLatin1String("webSocketDebuggerUrl")).toString()));
            QEventLoop open;
            QObject::connect(&FImpl->socket, &QWebSocket::connected, &open, &QEventLoop::quit);
            QTimer::singleShot(5000, &open, &QEventLoop::quit);
            open.exec();
            return FImpl->socket.state() == QAbstractSocket::ConnectedState;
        }
        Pause(200);
    }
    return false;
}

QJsonValue TPageInspector::Evaluate(const QString& expression, int timeoutMs) {
    if (FImpl->socket.state() != QAbstractSocket::ConnectedState)
        return QJsonValue(QJsonValue::Undefined);
    const int id = FImpl->nextId++;
    const QJsonObject request{
        {QStringLiteral("id"), id},
        {QStringLiteral("method"), QStringLiteral("Runtime.evaluate")},
        {QStringLiteral("params"), QJsonObject{{QStringLiteral("expression"), expression},
                                               {QStringLiteral("returnByValue"), true}}}};
    FImpl->socket.sendTextMessage(
        QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
    QDeadlineTimer deadline(timeoutMs);
    while (!FImpl->replies.contains(id) && !deadline.hasExpired())
        Pause(20);
    const QJsonObject reply = FImpl->replies.take(id);
    const QJsonObject result = reply.value(QLatin1String("result")).toObject();
    if (reply.isEmpty() || result.contains(QLatin1String("exceptionDetails")))
        return QJsonValue(QJsonValue::Undefined);
    return result.value(QLatin1String("result")).toObject().value(QLatin1String("value"));
}

QJsonValue TPageInspector::WaitFor(const QString& expression, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QJsonValue value;
    do {
        value = Evaluate(expression, 2000);
        if (!value.isUndefined() && !value.isNull() && value != QJsonValue(false) &&
            value != QJsonValue(0))
            return value;
        Pause(100);
    } while (!deadline.hasExpired());
    return value;
}

} // namespace E2e

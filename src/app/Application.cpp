#include "app/Application.h"

#include "platform/Exceptions.h"

#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <utility>

namespace {

MessageHandler& CurrentErrorHandler() {
    static MessageHandler handler;
    return handler;
}

void ShowBox(const QString& text, QMessageBox::Icon icon) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // The same text on standard error: what a site administrator starting the program
    // from a terminal, or a script driving it, can read after the box is gone.
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
    QMessageBox box(icon, ApplicationTitle, shown, QMessageBox::Ok);
    // Messages carry database and file texts: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

QString StandardErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowStandardError(const QString& message) {
    const QString text = StandardErrorText(message);
    if (const MessageHandler& handler = CurrentErrorHandler()) {
        handler(text);
        return;
    }
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
}

MessageHandler InstallStandardErrorHandler(MessageHandler handler) {
    return std::exchange(CurrentErrorHandler(), std::move(handler));
}

TStandardErrorRecorder::TStandardErrorRecorder()
    : FPrevious(
          InstallStandardErrorHandler([this](const QString& text) { FMessages.append(text); })) {}

TStandardErrorRecorder::~TStandardErrorRecorder() {
    InstallStandardErrorHandler(std::move(FPrevious));
}

void InstallMessageBoxes() {
    InstallMessageHandler([](const QString& text) { ShowBox(text, QMessageBox::NoIcon); });
    InstallStandardErrorHandler([](const QString& text) { ShowBox(text, QMessageBox::Critical); });
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception& e) {
        ShowStandardError(e.Message());
    } catch (const std::exception& e) {
        ShowStandardError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

#include "platform/MessageBox.h"

#include <cstdio>
#include <utility>

namespace {
MessageHandler& CurrentHandler() {
    static MessageHandler handler;
    return handler;
}
} // namespace

void ShowMessage(const QString& text) {
    if (const MessageHandler& handler = CurrentHandler()) {
        handler(text);
        return;
    }
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
}

MessageHandler InstallMessageHandler(MessageHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

MessageRecorder::MessageRecorder()
    : FPrevious(InstallMessageHandler([this](const QString& text) { FMessages.append(text); })) {}

MessageRecorder::~MessageRecorder() {
    InstallMessageHandler(std::move(FPrevious));
}

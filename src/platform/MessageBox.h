// The modal message box of the system, behind one replaceable handler.
// Message texts use "\r" as their line break; the handler that draws a real box
// maps it for display. Tests install a recorder so that each text is asserted
// exactly as the system produced it.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Caption of every message box of the system.
inline const QString ApplicationTitle = QStringLiteral("Lodvar.");

using MessageHandler = std::function<void(const QString& text)>;

// Shows a modal box with the text, one OK button and the application title;
// returns when the box is closed. Without an installed handler the text goes to
// standard error, so a program without a display still reports it.
void ShowMessage(const QString& text);

// Installs a handler and returns the one it replaces (empty for the default).
MessageHandler InstallMessageHandler(MessageHandler handler);

// Records every message while it lives, in place of the real box.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const QStringList& Messages() const noexcept { return FMessages; }
    void Clear() { FMessages.clear(); }

private:
    QStringList FMessages;
    MessageHandler FPrevious;
};

// The application object and the boxes it shows.
//
// The standard error box: an error that no handler of the system catches while the
// user interface runs is shown with its message (a full stop added when the last
// character sorts after the full stop), the caption "Lodvar." and a stop icon; the
// application goes on. TApplication catches every exception at the event loop, so none
// crosses it. Like ShowMessage, the box goes through a replaceable handler, so tests
// record its texts.
#pragma once

#include "platform/MessageBox.h"

#include <QApplication>
#include <QStringList>

// The message with the full-stop rule of the standard error box applied.
QString StandardErrorText(const QString& message);

// Shows the standard error box for an error's message; returns when it is closed.
// Without an installed handler the text goes to standard error.
void ShowStandardError(const QString& message);

// Installs a handler for the standard error box (it receives the final text) and
// returns the one it replaces.
MessageHandler InstallStandardErrorHandler(MessageHandler handler);

// Records the texts of the standard error box while it lives.
class TStandardErrorRecorder {
public:
    TStandardErrorRecorder();
    ~TStandardErrorRecorder();
    TStandardErrorRecorder(const TStandardErrorRecorder&) = delete;
    TStandardErrorRecorder& operator=(const TStandardErrorRecorder&) = delete;

    const QStringList& Messages() const noexcept { return FMessages; }

private:
    QStringList FMessages;
    MessageHandler FPrevious;
};

// Installs the real boxes (QMessageBox, centred, one OK button, "\r" shown as a line
// break) behind ShowMessage and ShowStandardError.
void InstallMessageBoxes();

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    // Delivers the event; an exception thrown by a handler ends in the standard error
    // box instead of crossing the event loop.
    bool notify(QObject* receiver, QEvent* event) override;
};

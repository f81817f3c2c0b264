// Drives the real program from outside, as an operator would: windows and keys through the
// X server (xdotool), what the map page drew through the browser engine's remote-debugging
// protocol, and screenshots of the whole screen as artefacts of a run.
#pragma once

#include <QJsonValue>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

namespace E2e {

// Runs xdotool with the arguments and returns its standard output, trimmed; empty when it
// failed or did not end within the time.
QString Xdo(const QStringList& args, int timeoutMs = 10000);

// The id of the first visible window whose title matches the regular expression, waiting
// up to timeoutMs; empty when none appeared.
QString WaitForWindow(const QString& titleRegex, int timeoutMs);
// Whether no visible window with a matching title is there after waiting up to timeoutMs.
bool WaitForNoWindow(const QString& titleRegex, int timeoutMs);

// Gives the window the input focus and sends it keys ("Return", "ctrl+a") or text.
void SendKeys(const QString& window, const QString& keys);
void TypeText(const QString& window, const QString& text);

// The window's frame on the screen, in pixels.
QRect WindowGeometry(const QString& window);
// A left click at a screen position; with shift held when extend is true.
void ClickAt(int x, int y, bool extend = false);

// Asks the window to close as a window manager does (WM_DELETE_WINDOW); false when the
// display could not be reached.
bool CloseWindow(const QString& window);

// Saves a screenshot of the whole screen as PNG; false when it could not.
bool Screenshot(const QString& path);

// A connection to the page of the program's embedded browser, found through its
// remote-debugging port (QTWEBENGINE_REMOTE_DEBUGGING).
class TPageInspector {
public:
    explicit TPageInspector(quint16 port);
    ~TPageInspector();
    TPageInspector(const TPageInspector&) = delete;
    TPageInspector& operator=(const TPageInspector&) = delete;

    // Attaches to the first page target, waiting up to timeoutMs for it.
    bool Attach(int timeoutMs);
    // Evaluates a JavaScript expression in the page and returns its value (by value, so
    // objects come back as JSON); an undefined QJsonValue on failure or time-out.
    QJsonValue Evaluate(const QString& expression, int timeoutMs = 10000);
    // Evaluates the expression until it yields a truthy value or the time passes.
    QJsonValue WaitFor(const QString& expression, int timeoutMs);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace E2e

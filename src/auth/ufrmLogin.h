// The login dialog: asks for the operator's user name and password, looks the user up
// in the users table over the session connection, checks the password against the
// stored bcrypt hash, makes sure the session connection is open, records the login name
// in the main settings file and closes with OK. ExecuteLogin hands the connection
// profile read for the configured alias to the session context.
//
// The lookup, the hash check (hundreds of milliseconds), the port probe and the connect
// block the dialog while they run; a wait cursor shows it, and Login, Cancel, closing
// and keys given meanwhile are dropped, so a second Enter cannot start a second attempt.
//
// Password material the dialog holds (FPassword, the remembered password, the box's
// text) is wiped when the dialog is disposed of.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TKeyboardLayoutWatcher;
class TLodvarConnection;
class Tdm;

class TfrmLogin : public QDialog {
    Q_OBJECT

public:
    // Creates the form and loads the remembered settings (FormCreate). An error while
    // loading is shown in the standard error box; the dialog is usable all the same.
    explicit TfrmLogin(Tdm& Adm, QWidget* parent = nullptr);
    ~TfrmLogin() override;

    // The profile read for the alias; null when no alias is configured.
    TLodvarConnection* db_cnn() const noexcept { return Fdb_cnn.get(); }
    // Hands the profile over (on OK, to the session context).
    std::unique_ptr<TLodvarConnection> Takedb_cnn() noexcept;
    const QString& IniFileName() const noexcept { return FIniFileName; }

    // True while a login attempt runs, and until the input queued meanwhile is handled.
    bool LoginInProgress() const noexcept { return FLoginInProgress; }

    void actLoginExecute();
    void actCancelExecute();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Every way of closing ends here (FormClose).
    void done(int result) override;

private:
    class TWaitCursor;

    void FormCreate();
    void LoadLoginSettings();
    // Steps of one attempt after the user-name test; gives the text to show (empty when
    // there is none).
    QString RunLoginAttempt();
    // Points the session connection at the profile and connects it; gives the text to
    // show (empty when there is none). EDatabaseError passes to the caller.
    QString SetUpDmCnn(TLodvarConnection* Adb_cnn);
    void ShowKeyboardLayout(const QString& AFallback);
    void InputLanguageChanged();
    void edUserNamePropertiesEditValueChanged();
    void edPasswordPropertiesEditValueChanged();
    void cbShowPasswordPropertiesEditValueChanged();
    void WipePasswords() noexcept;

    Tdm& Fdm;

    QString FLogin;
    QString FPassword;
    QString FPasswordHash;
    std::unique_ptr<TLodvarConnection> Fdb_cnn;
    QString FIniFileName;
    QString Fdb_alias;
    QString FConnectionFileName;
    bool FLoginInProgress = false;

    QLabel* lblUserName;
    QLineEdit* edUserName;
    QLabel* lblPassord;
    QLineEdit* edPassword;
    QCheckBox* cbShowPassword;
    QLabel* lblLang;
    QPushButton* btnLogin;
    QPushButton* cxButton1;
    QObject* alMain;
    QAction* actLogin;
    QAction* actCancel;
    TKeyboardLayoutWatcher* FLayoutWatcher;
};

// The dialog of the running ExecuteLogin call; null when none exists.
extern TfrmLogin* frmLogin;

// Shows the login dialog modally. On OK, Adb_cnn receives the dialog's profile and the
// result is whether there is one; otherwise the result is false and Adb_cnn keeps its
// value.
bool ExecuteLogin(Tdm& Adm, std::unique_ptr<TLodvarConnection>& Adb_cnn);

// Text of the keyboard-layout indicator for a layout identifier (eight hexadecimal
// digits): its low eight bits 0x09 give " En ", 0x19 " Ru ", 0x22 " Uk "; anything else
// gives AFallback.
QString KeyboardLayoutIndicator(const QString& ALayoutName, const QString& AFallback);

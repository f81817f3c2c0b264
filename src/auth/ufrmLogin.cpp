#include "auth/ufrmLogin.h"

#include "app/Application.h"
#include "app/uDM.h"
#include "auth/Bcrypt.h"
#include "config/SettingsFiles.h"
#include "config/uLodvarClasses.h"
#include "config/uUtils.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/KeyboardLayout.h"
#include "platform/MessageBox.h"
#include "platform/OsServices.h"
#include "platform/SecureBytes.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

TfrmLogin* frmLogin = nullptr;

namespace {

template <class T, class P>
T* Make(P* parent, const char* name) {
    T* component = new T(parent);
    component->setObjectName(QString::fromLatin1(name));
    return component;
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

// The wait cursor while the window is blocked.
class TfrmLogin::TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QString KeyboardLayoutIndicator(const QString& ALayoutName, const QString& AFallback) {
    bool ok = false;
    const uint id = ALayoutName.toUInt(&ok, 16);
    if (!ok)
        return AFallback;
    switch (id & 0xFF) {
    case 0x09:
        return QStringLiteral(" En ");
    case 0x19:
        return QStringLiteral(" Ru ");
    case 0x22:
        return QStringLiteral(" Uk ");
    default:
        return AFallback;
    }
}

TfrmLogin::TfrmLogin(Tdm& Adm, QWidget* parent) : QDialog(parent), Fdm(Adm) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Provide Username and Password:"));
    setFixedSize(422, 154);
    move(207, 160);
    setFont(QFont(QStringLiteral("Segoe UI"), 9));

    lblUserName = Make<QLabel>(this, "lblUserName");
    lblUserName->setText(QStringLiteral("Логін:"));
    lblUserName->move(8, 16);
    edUserName = Make<QLineEdit>(this, "edUserName");
    edUserName->setGeometry(90, 16, 273, edUserName->sizeHint().height());
    lblPassord = Make<QLabel>(this, "lblPassord");
    lblPassord->setText(QStringLiteral("Пароль:"));
    lblPassord->move(8, 45);
    edPassword = Make<QLineEdit>(this, "edPassword");
    edPassword->setGeometry(90, 45, 273, edPassword->sizeHint().height());
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    cbShowPassword = Make<QCheckBox>(this, "cbShowPassword");
    cbShowPassword->setText(QStringLiteral("Показати пароль"));
    cbShowPassword->move(90, 85);
    cbShowPassword->adjustSize();
    lblLang = Make<QLabel>(this, "lblLang");
    lblLang->setText(QStringLiteral("lblLang"));
    lblLang->move(369, 32);

    alMain = Make<QObject>(this, "alMain");
    actLogin = Make<QAction>(alMain, "actLogin");
    actLogin->setText(QStringLiteral("Login..."));
    actCancel = Make<QAction>(alMain, "actCancel");
    actCancel->setText(QStringLiteral("Cancel"));
    btnLogin = Make<QPushButton>(this, "btnLogin");
    btnLogin->setText(actLogin->text());
    btnLogin->setGeometry(88, 110, 80, 36);
    cxButton1 = Make<QPushButton>(this, "cxButton1");
    cxButton1->setText(actCancel->text());
    cxButton1->setGeometry(281, 110, 80, 36);
    // Enter belongs to the handlers below, never to a default button of the dialog.
    for (QPushButton* button : {btnLogin, cxButton1}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    setTabOrder(edUserName, btnLogin);
    setTabOrder(btnLogin, edPassword);
    setTabOrder(edPassword, cxButton1);
    setTabOrder(cxButton1, cbShowPassword);

    connect(actLogin, &QAction::triggered, this, &TfrmLogin::actLoginExecute);
    connect(actCancel, &QAction::triggered, this, &TfrmLogin::actCancelExecute);
    connect(btnLogin, &QPushButton::clicked, actLogin, &QAction::trigger);
    connect(cxButton1, &QPushButton::clicked, actCancel, &QAction::trigger);
    connect(edUserName, &QLineEdit::textChanged, this,
            &TfrmLogin::edUserNamePropertiesEditValueChanged);
    connect(edPassword, &QLineEdit::textChanged, this,
            &TfrmLogin::edPasswordPropertiesEditValueChanged);
    connect(cbShowPassword, &QCheckBox::toggled, this,
            &TfrmLogin::cbShowPasswordPropertiesEditValueChanged);
    edUserName->installEventFilter(this);
    edPassword->installEventFilter(this);

    FLayoutWatcher = new TKeyboardLayoutWatcher(this);
    connect(FLayoutWatcher, &TKeyboardLayoutWatcher::LayoutChanged, this,
            &TfrmLogin::InputLanguageChanged);

    FormCreate();
}

TfrmLogin::~TfrmLogin() {
    WipePasswords();
}

void TfrmLogin::WipePasswords() noexcept {
    // The box shares its text with FPassword; once both have let go, the last copy is
    // ours alone and can be wiped.
    QString text = edPassword->text();
    CleanseString(FPassword);
    FPassword.clear();
    edPassword->setText(QString()); // setText, unlike clear(), also drops the undo history
    CleanseString(text);
}

std::unique_ptr<TLodvarConnection> TfrmLogin::Takedb_cnn() noexcept {
    return std::move(Fdb_cnn);
}

void TfrmLogin::FormCreate() {
    FIniFileName = MainSettingsFileName(Fdm.UserBinDir());
    try {
        LoadLoginSettings();
    } catch (const Exception& e) {
        ShowStandardError(e.Message());
    }
}

void TfrmLogin::LoadLoginSettings() {
    if (!Os::FileExists(FIniFileName))
        CreateDefaultSettingsFile(FIniFileName);
    if (!Os::FileExists(FIniFileName))
        throw Exception(QStringLiteral("Can not find INI file: ") + FIniFileName);

    Fdb_alias = ReadKey(TIniFile(FIniFileName), MainSettings::DbAlias);
    FConnectionFileName = ConnectionFileName(Fdm.UserBinDir(), Fdb_alias);
    const TIniFile connectionFile(FConnectionFileName);
    const QString login = ReadKey(connectionFile, ConnectionFile::Login);
    Fdm.setLogin(login);
    edUserName->setText(login);

    const QString stored = ReadKey(connectionFile, ConnectionFile::Password);
    if (!stored.isEmpty()) {
        QString password = DecryptStr(stored, SystemPassPhrase());
        TCleanseStringOnExit wipe(password);
        edPassword->setText(password);
    }

    if (Fdb_alias != EmptyAlias) {
        if (!Fdb_cnn)
            Fdb_cnn = std::make_unique<TLodvarConnection>(Fdm.UserBinDir(), Fdm.cnn());
        // LoadByAlias shows its own errors ("Error in LoadByAlias: ...") and raises none.
        Fdb_cnn->LoadByAlias(Fdb_alias, true);
    }
}

void TfrmLogin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowKeyboardLayout(QStringLiteral("???"));
    if (!edUserName->text().isEmpty())
        edPassword->setFocus();
    else
        edUserName->setFocus();
}

void TfrmLogin::ShowKeyboardLayout(const QString& AFallback) {
    lblLang->setText(KeyboardLayoutIndicator(Os::ActiveKeyboardLayoutName(), AFallback));
    lblLang->adjustSize();
}

void TfrmLogin::InputLanguageChanged() {
    ShowKeyboardLayout(QStringLiteral("??"));
}

void TfrmLogin::edUserNamePropertiesEditValueChanged() {
    FLogin = edUserName->text();
}

void TfrmLogin::edPasswordPropertiesEditValueChanged() {
    // The box has moved to a new buffer; the old one is now FPassword's alone.
    CleanseString(FPassword);
    FPassword = edPassword->text();
}

void TfrmLogin::cbShowPasswordPropertiesEditValueChanged() {
    edPassword->setEchoMode(cbShowPassword->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

bool TfrmLogin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || (watched != edPassword && watched != edUserName))
        return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (!IsEnter(key) && key != Qt::Key_Escape)
        return false;
    // edPasswordKeyDown: Enter logs in, Escape cancels; the user-name box ignores both.
    if (watched == edPassword) {
        if (IsEnter(key))
            actLogin->trigger();
        else
            actCancel->trigger();
    }
    return true;
}

void TfrmLogin::keyPressEvent(QKeyEvent* event) {
    // FormKeyDown: only keys addressed to the form itself, not those of its controls.
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || focus == this) {
        if (IsEnter(event->key())) {
            actLogin->trigger();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            actCancel->trigger();
            return;
        }
    }
    event->ignore();
}

void TfrmLogin::actLoginExecute() {
    if (FLoginInProgress)
        return;
    if (FLogin.isEmpty()) {
        ShowMessage(QStringLiteral("Provide UserName."));
        return;
    }
    FLoginInProgress = true;
    QString message;
    {
        const TWaitCursor wait;
        message = RunLoginAttempt();
    }
    // Keys and clicks given while the window was blocked are still queued. A zero timer
    // fires once they have been handled, so they find the attempt running and are
    // dropped instead of starting another one.
    QTimer::singleShot(0, this, [this] { FLoginInProgress = false; });
    if (!message.isEmpty())
        ShowMessage(message);
    else if (Fdm.cnn().Connected())
        accept();
}

QString TfrmLogin::RunLoginAttempt() {
    try {
        TDbQuery& qUsers = *Fdm.Queries().qUsers;
        qUsers.Close();
        qUsers.ParamByName(QStringLiteral("Login")).AsString(FLogin);
        qUsers.Open();
        if (qUsers.RecordCount() == 0)
            return QStringLiteral("Username: \r") + FLogin + QStringLiteral("\r not found.");
        FPasswordHash = qUsers.FieldByName(QStringLiteral("central_password")).AsString();
        bool rehashNeeded = false;
        if (!TBCrypt::CheckPassword(FPassword, FPasswordHash, rehashNeeded))
            return QStringLiteral("Wrong password.");
        Fdm.setLogin(edUserName->text());
        if (!Fdm.cnn().Connected()) {
            try {
                const QString message = SetUpDmCnn(Fdb_cnn.get());
                if (!message.isEmpty())
                    return message;
            } catch (const EDatabaseError& e) {
                return QStringLiteral("Database Error:") + e.Message();
            }
        }
        if (Fdm.cnn().Connected())
            WriteKey(TIniFile(FIniFileName), MainSettings::Login, Fdm.Login());
    } catch (const Exception& e) {
        return QStringLiteral("DB Error:") + e.Message();
    }
    return QString();
}

QString TfrmLogin::SetUpDmCnn(TLodvarConnection* Adb_cnn) {
    if (Adb_cnn == nullptr)
        return QStringLiteral("Setup IDB Connection and select it.");
    TDbConnection& cnn = Fdm.cnn();
    if (TLodvarConnection::CheckServerPort(Adb_cnn->server(), Adb_cnn->Port())) {
        cnn.SetServer(Adb_cnn->server());
        cnn.SetPortNumber(Adb_cnn->Port());
        cnn.SetUsername(Adb_cnn->DBUserName());
        cnn.SetPassword(Adb_cnn->dbPasswd());
        cnn.SetDatabase(Adb_cnn->DBName());
        cnn.SetConnected(true);
        return QString();
    }
    const QString message = QStringLiteral("PostgreSQL Server's port could not be reached.\r "
                                           "Server: ") +
                            Adb_cnn->server() + QStringLiteral("\r Port: ") +
                            QString::number(Adb_cnn->Port());
    cnn.Close();
    return message;
}

void TfrmLogin::actCancelExecute() {
    if (!FLoginInProgress)
        reject();
}

void TfrmLogin::closeEvent(QCloseEvent* event) {
    // A close asked for while an attempt blocked the window is dropped with the rest.
    if (FLoginInProgress) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmLogin::done(int result) {
    TDMQueries& queries = Fdm.Queries();
    queries.qUsers->Close();
    queries.qCommands->Close();
    queries.qIntersections->Close();
    QDialog::done(result);
}

bool ExecuteLogin(Tdm& Adm, std::unique_ptr<TLodvarConnection>& Adb_cnn) {
    auto dialog = std::make_unique<TfrmLogin>(Adm);
    frmLogin = dialog.get();
    struct TForget {
        ~TForget() { frmLogin = nullptr; }
    } forget;
    dialog->hide();
    if (dialog->exec() != QDialog::Accepted)
        return false;
    Adb_cnn = dialog->Takedb_cnn();
    return Adb_cnn != nullptr;
}

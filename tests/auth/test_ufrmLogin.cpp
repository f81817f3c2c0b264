// The login dialog against the test server: the flows and messages of an attempt, the
// remembered settings, the key rules, the form's controls and the layout indicator.
#include "../app/SessionTestKit.h"
#include "app/Application.h"
#include "app/uDM.h"
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

QLineEdit* Edit(TfrmLogin& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(S(name));
}

// Lets the dialog finish an attempt: input given meanwhile is dropped until then.
void Settle(TfrmLogin& dialog) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.LoginInProgress(); }));
}

class TLoginDialogTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // Users whose stored hash is empty or NULL.
        TPgTestServer::Instance().ExecAsSuperuser(
            S("ALTER TABLE kavex.central_users ALTER central_password DROP NOT NULL;"
              "DELETE FROM kavex.central_users WHERE central_login IN ('nohash', 'nullhash');"
              "INSERT INTO kavex.central_users (central_surname, central_name, central_login,"
              " central_password, central_creator_name, central_creator_user_uuid,"
              " central_unit_uuid) VALUES"
              " ('S', 'N', 'nohash', '', 'c', gen_random_uuid(), gen_random_uuid()),"
              " ('S', 'N', 'nullhash', NULL, 'c', gen_random_uuid(), gen_random_uuid());"));
    }

    // The session context, its own login at construction cancelled.
    std::unique_ptr<Tdm> MakeDm() {
        const TLoginDriver cancel([](TfrmLogin& dialog) { dialog.reject(); });
        auto dm = std::make_unique<Tdm>(nullptr, TSessionSite::PointAtServer);
        messages.Clear();
        return dm;
    }

    TSessionSite site;
    MessageRecorder messages;
    TStandardErrorRecorder errors;
};

TEST_F(TLoginDialogTest, OneAttempt) {
    const struct {
        const char* name;
        bool alias;
        const char* user;
        const char* password;
        QStringList messages;
        bool accepted;
        bool result;
    } cases[] = {
        {"empty user name", true, "", "U*U", {S("Provide UserName.")}, false, false},
        {"unknown user", true, "ghost", "U*U", {S("Username: \rghost\r not found.")}, false, false},
        {"empty hash",
         true,
         "nohash",
         "x",
         {S("DB Error:Invalid base64 hash string")},
         false,
         false},
        {"NULL hash",
         true,
         "nullhash",
         "x",
         {S("DB Error:Invalid base64 hash string")},
         false,
         false},
        {"wrong password", true, "admin", "U*U*", {S("Wrong password.")}, false, false},
        {"right password", true, "admin", "U*U", {}, true, true},
        {"other user", true, "operator", "U*U*", {}, true, true},
        {"no alias", false, "admin", "U*U", {}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSessionSite caseSite;
        caseSite.WriteProfile();
        if (!c.alias)
            caseSite.WriteFile(S("lodvar.ini"), "[LOCALE]\nLANG=1033\n");
        auto dm = MakeDm();
        bool stayedOpen = false;
        const TLoginDriver driver([&](TfrmLogin& dialog) {
            Edit(dialog, "edUserName")->setText(S(c.user));
            Edit(dialog, "edPassword")->setText(S(c.password));
            QTest::keyClick(Edit(dialog, "edPassword"), Qt::Key_Return);
            EXPECT_EQ(messages.Messages(), c.messages);
            stayedOpen = dialog.isVisible();
            if (stayedOpen) {
                // Every failed attempt leaves the boxes as typed.
                EXPECT_EQ(Edit(dialog, "edUserName")->text(), S(c.user));
                EXPECT_EQ(Edit(dialog, "edPassword")->text(), S(c.password));
                dialog.reject();
            }
        });
        std::unique_ptr<TLodvarConnection> profile;
        EXPECT_EQ(ExecuteLogin(*dm, profile), c.result);
        EXPECT_TRUE(driver.Done());
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(profile != nullptr, c.result);
        EXPECT_EQ(frmLogin, nullptr);
        if (c.accepted)
            EXPECT_EQ(dm->Login(), S(c.user));
        // Closing the dialog closes the users query.
        EXPECT_FALSE(dm->Queries().qUsers->Active());
        EXPECT_TRUE(errors.Messages().isEmpty());
    }
}

TEST_F(TLoginDialogTest, WrongPasswordThenRightOneWritesTheLoginToTheMainSettingsOnly) {
    site.WriteProfile();
    auto dm = MakeDm();
    const TLoginDriver driver([&](TfrmLogin& dialog) {
        EXPECT_EQ(Edit(dialog, "edUserName")->text(), S("admin"));
        QTest::keyClicks(Edit(dialog, "edPassword"), S("U*U*"));
        QTest::keyClick(Edit(dialog, "edPassword"), Qt::Key_Return);
        EXPECT_EQ(messages.Messages(), QStringList{S("Wrong password.")});
        ASSERT_TRUE(dialog.isVisible());
        Settle(dialog);
        QTest::keyClick(Edit(dialog, "edPassword"), Qt::Key_Backspace);
        QTest::keyClick(Edit(dialog, "edPassword"), Qt::Key_Return);
    });
    std::unique_ptr<TLodvarConnection> profile;
    EXPECT_TRUE(ExecuteLogin(*dm, profile));
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->Alias(), Alias);
    EXPECT_EQ(messages.Messages(), QStringList{S("Wrong password.")});
    const TIniFile ini(site.IniFileName());
    EXPECT_EQ(ini.ReadString(S("Login"), S("Login"), S("none")), S("admin"));
    const TIniFile pdb(site.UserBinDir() + S("TEST.pdb"));
    EXPECT_EQ(pdb.ReadString(S("Login"), S("Login"), S("none")), S("admin"));
}

TEST_F(TLoginDialogTest, RememberedPasswordLogsInAtOnce) {
    site.WriteProfile(std::nullopt, S("lodvar"), S("U*U"));
    auto dm = MakeDm();
    const TLoginDriver driver([&](TfrmLogin& dialog) {
        // A remembered user name puts the focus into the password box.
        EXPECT_EQ(dialog.focusWidget(), Edit(dialog, "edPassword"));
        EXPECT_EQ(Edit(dialog, "edPassword")->text(), S("U*U"));
        dialog.findChild<QPushButton*>(S("btnLogin"))->click();
    });
    std::unique_ptr<TLodvarConnection> profile;
    EXPECT_TRUE(ExecuteLogin(*dm, profile));
    EXPECT_TRUE(messages.Messages().isEmpty());
}

TEST_F(TLoginDialogTest, WithoutAUserNameTheFocusStartsInTheUserNameBox) {
    site.WriteProfile();
    site.WriteFile(S("TEST.pdb"), "[Login]\nLogin=\n");
    auto dm = MakeDm();
    const TLoginDriver driver([&](TfrmLogin& dialog) {
        EXPECT_EQ(dialog.focusWidget(), Edit(dialog, "edUserName"));
        dialog.reject();
    });
    std::unique_ptr<TLodvarConnection> profile;
    EXPECT_FALSE(ExecuteLogin(*dm, profile));
}

TEST_F(TLoginDialogTest, UnwritableMainSettingsFileKeepsTheDialogOpen) {
    site.MakeFolders();
    // A folder where the file should be: no write can succeed, whoever runs the test.
    ASSERT_TRUE(QDir().mkpath(site.IniFileName()));
    auto dm = MakeDm();
    const QString refused = S("Unable to write to ") + site.IniFileName();
    EXPECT_EQ(errors.Messages(), QStringList{refused + S(".")});
    const TLoginDriver driver([&](TfrmLogin& dialog) {
        Edit(dialog, "edUserName")->setText(S("admin"));
        Edit(dialog, "edPassword")->setText(S("U*U"));
        for (int attempt = 0; attempt < 2; ++attempt) {
            QTest::keyClick(Edit(dialog, "edPassword"), Qt::Key_Return);
            Settle(dialog);
        }
        EXPECT_EQ(messages.Messages(),
                  (QStringList{S("DB Error:") + refused, S("DB Error:") + refused}));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dm->cnn().Connected());
        dialog.reject();
    });
    std::unique_ptr<TLodvarConnection> profile;
    EXPECT_FALSE(ExecuteLogin(*dm, profile));
    EXPECT_TRUE(driver.Done());
}

TEST_F(TLoginDialogTest, KeyRules) {
    site.WriteProfile();
    auto dm = MakeDm();
    const struct {
        const char* name;
        const char* box;
        Qt::Key key;
        bool closes;
    } cases[] = {
        {"Enter in the user-name box", "edUserName", Qt::Key_Return, false},
        {"keypad Enter in the user-name box", "edUserName", Qt::Key_Enter, false},
        {"Escape in the user-name box", "edUserName", Qt::Key_Escape, false},
        {"Escape in the password box", "edPassword", Qt::Key_Escape, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool closed = false;
        const TLoginDriver driver([&](TfrmLogin& dialog) {
            Edit(dialog, "edPassword")->setText(S("U*U"));
            QTest::keyClick(Edit(dialog, c.box), c.key);
            closed = !dialog.isVisible();
            if (!closed)
                dialog.reject();
        });
        std::unique_ptr<TLodvarConnection> profile;
        EXPECT_FALSE(ExecuteLogin(*dm, profile));
        EXPECT_EQ(closed, c.closes);
        EXPECT_TRUE(messages.Messages().isEmpty());
        // No attempt ran: the users query was never opened on the session connection.
        EXPECT_FALSE(dm->cnn().Connected());
    }
}

TEST_F(TLoginDialogTest, SecondEnterDuringAnAttemptStartsNoSecondAttempt) {
    site.WriteProfile();
    auto dm = MakeDm();
    // Queued behind the two Enters, as input given during the check is.
    struct TProbe : QObject {
        bool ran = false;
        bool busy = false;
        bool event(QEvent* event) override {
            if (event->type() != QEvent::User)
                return QObject::event(event);
            ran = true;
            busy = frmLogin != nullptr && frmLogin->LoginInProgress();
            return true;
        }
    } probe;
    // The lookup runs inside the attempt: the wait cursor shows while it does.
    int lookups = 0;
    bool waitCursorDuringLookup = false;
    QObject::connect(dm->Queries().qUsers, &TDbQuery::DataSetChanged, [&] {
        if (frmLogin == nullptr || !frmLogin->LoginInProgress() || !dm->Queries().qUsers->Active())
            return;
        ++lookups;
        waitCursorDuringLookup = QApplication::overrideCursor() != nullptr &&
                                 QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    std::optional<TWhen> settled;
    const TLoginDriver driver([&](TfrmLogin& dialog) {
        QLineEdit* edPassword = Edit(dialog, "edPassword");
        edPassword->setText(S("U*U*"));
        for (int i = 0; i < 2; ++i)
            QCoreApplication::postEvent(
                edPassword, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        QCoreApplication::postEvent(&probe, new QEvent(QEvent::User));
        settled.emplace([&] { return !dialog.LoginInProgress() && probe.ran; },
                        [&] {
                            EXPECT_EQ(messages.Messages(), QStringList{S("Wrong password.")});
                            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
                            dialog.reject();
                        });
    });
    std::unique_ptr<TLodvarConnection> profile;
    EXPECT_FALSE(ExecuteLogin(*dm, profile));
    ASSERT_TRUE(settled && settled->Done());
    EXPECT_TRUE(probe.ran);
    EXPECT_TRUE(probe.busy);
    EXPECT_EQ(lookups, 1);
    EXPECT_TRUE(waitCursorDuringLookup);
}

TEST_F(TLoginDialogTest, FormControls) {
    site.WriteProfile();
    auto dm = MakeDm();
    TfrmLogin dialog(*dm);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), S("Provide Username and Password:"));
    EXPECT_EQ(dialog.size(), QSize(422, 154));
    EXPECT_EQ(dialog.IniFileName(), site.IniFileName());
    EXPECT_EQ(dialog.findChild<QLabel*>(S("lblUserName"))->text(), S("Логін:"));
    EXPECT_EQ(dialog.findChild<QLabel*>(S("lblPassord"))->text(), S("Пароль:"));
    EXPECT_EQ(dialog.findChild<QPushButton*>(S("btnLogin"))->text(), S("Login..."));
    EXPECT_EQ(dialog.findChild<QPushButton*>(S("cxButton1"))->text(), S("Cancel"));

    // Tab order: the Login button comes before the password box.
    const char* order[] = {"edUserName", "btnLogin",       "edPassword",
                           "cxButton1",  "cbShowPassword", "edUserName"};
    QWidget* widget = Edit(dialog, "edUserName");
    for (const char* name : order) {
        EXPECT_EQ(widget->objectName(), S(name));
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
    }

    // Show password.
    QLineEdit* edPassword = Edit(dialog, "edPassword");
    auto* cbShowPassword = dialog.findChild<QCheckBox*>(S("cbShowPassword"));
    EXPECT_EQ(cbShowPassword->text(), S("Показати пароль"));
    EXPECT_EQ(edPassword->echoMode(), QLineEdit::Password);
    cbShowPassword->click();
    EXPECT_EQ(edPassword->echoMode(), QLineEdit::Normal);
    cbShowPassword->click();
    EXPECT_EQ(edPassword->echoMode(), QLineEdit::Password);
}

TEST_F(TLoginDialogTest, KeyboardLayoutIndicator) {
    site.WriteProfile();
    auto dm = MakeDm();
    const struct {
        const char* layout;
        const char* shown;   // when the dialog opens
        const char* changed; // after a change of input language
    } cases[] = {
        {"00000409", " En ", " En "},
        {"00000809", " En ", " En "},
        {"00000419", " Ru ", " Ru "},
        {"00000422", " Uk ", " Uk "},
        {"00000407", "???", "??"},
        {"00010409", " En ", " En "},
        {"", "???", "??"},
        {"zz", "???", "??"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        const TScopedLayoutSource source([&] { return S(c.layout); });
        TfrmLogin dialog(*dm);
        auto* lblLang = dialog.findChild<QLabel*>(S("lblLang"));
        EXPECT_EQ(lblLang->text(), S("lblLang"));
        dialog.show();
        EXPECT_EQ(lblLang->text(), S(c.shown));
        emit dialog.findChild<TKeyboardLayoutWatcher*>()->LayoutChanged();
        EXPECT_EQ(lblLang->text(), S(c.changed));
    }
}

} // namespace

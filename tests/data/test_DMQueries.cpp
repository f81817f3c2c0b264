// The session's six queries against the schema and fixtures: every statement opens with
// its declared columns, parameters behave as the forms rely on, the master/detail link,
// the geometry of the fixes and the demo generator.
#include "PgTestServer.h"
#include "auth/Bcrypt.h"
#include "data/uDMQueries.h"
#include "platform/Exceptions.h"

#include <QtMath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QDateTime RangeBegin(QDate(2026, 10, 1), QTime(0, 0));
const QDateTime RangeEnd(QDate(2026, 11, 30), QTime(0, 0));

class DMQueries : public testing::Test {
protected:
    static void SetUpTestSuite() { TPgTestServer::Instance(); }

    void SetUp() override {
        FDm = std::make_unique<TDMQueries>();
        TPgTestServer::Instance().PointAt(*FDm->cnn);
    }

    void OpenCommands(std::optional<int> mode = std::nullopt) {
        TDbQuery& q = *FDm->qCommands;
        q.Close();
        q.ParamByName(QStringLiteral("DateBegin")).AsDateTime(RangeBegin);
        q.ParamByName(QStringLiteral("DateEnd")).AsDateTime(RangeEnd);
        if (mode)
            q.ParamByName(QStringLiteral("CommandsQueryMode")).AsInteger(*mode);
        q.Open();
    }

    // Moves the commands to the command with this id; fails the test when it is missing.
    void FocusCommand(int id) {
        TDbQuery& q = *FDm->qCommands;
        for (q.First(); !q.Eof(); q.Next())
            if (q.FieldByName(QStringLiteral("_id")).AsInteger() == id)
                return;
        FAIL() << "command " << id << " not loaded";
    }

    QList<int> Column(TDbQuery& q, const char* name) {
        QList<int> values;
        for (q.First(); !q.Eof(); q.Next())
            values << q.FieldByName(QString::fromLatin1(name)).AsInteger();
        return values;
    }

    std::unique_ptr<TDMQueries> FDm;
};

struct TStatementCase {
    const char* Query;
    std::function<void(TDMQueries&)> Prepare;
    int Rows;
};

class DMStatement : public DMQueries, public testing::WithParamInterface<TStatementCase> {};

TEST_P(DMStatement, OpensWithEveryDeclaredColumn) {
    const TStatementCase& c = GetParam();
    TDbQuery* q = FDm->findChild<TDbQuery*>(QString::fromLatin1(c.Query));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->Connection(), FDm->cnn);
    c.Prepare(*FDm);
    ASSERT_NO_THROW(q->Open());
    EXPECT_EQ(q->RecordCount(), c.Rows);
    // Every declared column is read in its class on every row; required ones are set.
    for (q->First(); !q->Eof(); q->Next()) {
        for (int i = 0; i < q->FieldCount(); ++i) {
            const TDbField& f = q->Fields(i);
            if (f.Required()) {
                EXPECT_FALSE(f.IsNull()) << f.FieldName().toStdString();
            }
            if (f.IsNull())
                continue;
            switch (f.DataType()) {
            case TFieldClass::Integer:
            case TFieldClass::LargeInt:
                EXPECT_NO_THROW(f.AsLargeInt());
                break;
            case TFieldClass::Float:
                EXPECT_NO_THROW(f.AsFloat());
                break;
            case TFieldClass::Date:
            case TFieldClass::Time:
            case TFieldClass::DateTime:
                EXPECT_TRUE(f.AsDateTime().isValid()) << f.FieldName().toStdString();
                break;
            case TFieldClass::Guid:
                EXPECT_EQ(f.AsString().size(), 38) << f.FieldName().toStdString();
                break;
            default:
                break;
            }
        }
    }
}

void OpenCommandsAt(TDMQueries& dm, int id) {
    TDbQuery& q = *dm.qCommands;
    q.ParamByName(QStringLiteral("DateBegin")).AsDateTime(RangeBegin);
    q.ParamByName(QStringLiteral("DateEnd")).AsDateTime(RangeEnd);
    q.Open();
    for (q.First(); !q.Eof() && q.FieldByName(QStringLiteral("_id")).AsInteger() != id;)
        q.Next();
}

const TStatementCase StatementCases[] = {
    {"qUsers",
     [](TDMQueries& dm) {
         dm.qUsers->ParamByName(QStringLiteral("Login")).AsString(QStringLiteral("operator"));
     },
     1},
    {"qCommands", [](TDMQueries& dm) { OpenCommandsAt(dm, 1); }, 5},
    {"qIntersections",
     [](TDMQueries& dm) {
         dm.qIntersections->ParamByName(QStringLiteral("command_id")).AsInteger(1);
     },
     3},
    {"qLodvarsByCommand",
     [](TDMQueries& dm) {
         OpenCommandsAt(dm, 1);
         dm.qLodvarsByCommand->ParamByName(QStringLiteral("command_id")).AsInteger(1);
     },
     3},
    {"qUnits", [](TDMQueries&) {}, 3},
    {"qLodvars",
     [](TDMQueries& dm) {
         OpenCommandsAt(dm, 4);
         dm.qLodvars->ParamByName(QStringLiteral("DateBegin")).AsDateTime(RangeBegin);
         dm.qLodvars->ParamByName(QStringLiteral("DateEnd")).AsDateTime(RangeEnd);
     },
     2},
};

INSTANTIATE_TEST_SUITE_P(Contract, DMStatement, testing::ValuesIn(StatementCases),
                         [](const testing::TestParamInfo<TStatementCase>& info) {
                             return info.param.Query;
                         });

TEST_F(DMQueries, ComponentsCarryTheirNamesAndStoredSettings) {
    const TDMQueries stored;
    EXPECT_EQ(stored.cnn->objectName(), QStringLiteral("cnn"));
    EXPECT_EQ(stored.cnn->Database(), QStringLiteral("lodvar"));
    EXPECT_EQ(stored.cnn->Username(), QStringLiteral("lodvar"));
    EXPECT_FALSE(stored.cnn->Connected());
    for (const char* name : {"srcCommands", "srcIntersections", "srcLodvarsByCommand", "srcLodvars",
                             "srcIntersections2"})
        EXPECT_NE(stored.findChild<TDataSource*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(stored.srcCommands->DataSet(), stored.qCommands);
    EXPECT_EQ(stored.srcIntersections2->DataSet(), nullptr);
    EXPECT_EQ(stored.qLodvarsByCommand->MasterSource(), stored.srcCommands);
    EXPECT_EQ(stored.qLodvars->MasterSource(), stored.srcCommands);
    // The statements exactly, blanks and tabs included.
    const std::pair<const TDbQuery*, QString> statements[] = {
        {stored.qUsers,
         QStringLiteral("select * FROM kavex.central_users  WHERE central_login = :Login ; ")},
        {stored.qCommands, QStringLiteral("SELECT * FROM \nlodvar.tbl_fn_get_commands (\n"
                                          "p_DateBegin => :DateBegin\n,p_DateEnd  => :DateEnd\n"
                                          ",p_CommandsQueryMode => :CommandsQueryMode\n);\n")},
        {stored.qIntersections, QStringLiteral("SELECT * FROM \nlodvar.tbl_fn_get_intersections \n"
                                               "\t( \n\t  p_command_id => :command_id\n\t) ; \n")},
        {stored.qLodvarsByCommand,
         QStringLiteral("SELECT *\nFROM lodvar.tbl_fn_get_lodvars_by_command (:command_id) ;")},
        {stored.qUnits, QStringLiteral("SELECT * FROM lodvar.tbl_fn_get_units () ; ")},
        {stored.qLodvars,
         QStringLiteral(
             "SELECT \n\t *\nFROM lodvar.lodset p\nWHERE p.id_comset IN (\n"
             "\tSELECT id FROM lodvar.comset WHERE date BETWEEN :DateBegin AND :DateEnd\n"
             "\t)\n--OR TRUE\n;")},
    };
    for (const auto& [query, text] : statements)
        EXPECT_EQ(query->SQLText(), text) << query->objectName().toStdString();
}

TEST_F(DMQueries, UsersRowsOfALogin) {
    struct TCase {
        const char* Login;
        int Rows;
        const char* FirstHash;
    };
    const TCase cases[] = {
        {"admin", 1, "$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"},
        {"nobody", 0, ""},
        {"twin", 2, "$2a$05$XXXXXXXXXXXXXXXXXXXXXOAcXxm9kjPGEMsLznoKqmqw7tc8WCx4a"},
        {"admin' OR '1'='1", 0, ""},
    };
    TDbQuery& q = *FDm->qUsers;
    for (const TCase& c : cases) {
        q.Close();
        q.ParamByName(QStringLiteral("Login")).AsString(QString::fromUtf8(c.Login));
        q.Open();
        EXPECT_EQ(q.RecordCount(), c.Rows) << c.Login;
        EXPECT_EQ(q.FieldByName(QStringLiteral("central_password")).AsString(),
                  QString::fromLatin1(c.FirstHash))
            << c.Login;
    }
    q.Close();
    q.ParamByName(QStringLiteral("Login")).AsString(QStringLiteral("operator"));
    q.Open();
    EXPECT_EQ(q.FieldByName(QStringLiteral("central_user_uuid")).AsString(),
              QStringLiteral("{B2C3D4E5-F6A7-4B8C-9D0E-1F2A3B4C5D6E}"));
    EXPECT_EQ(q.FieldByName(QStringLiteral("central_update_date")).AsDateTime(),
              QDateTime(QDate(2026, 3, 5), QTime(16, 45, 10, 500), Qt::UTC));
    EXPECT_EQ(q.FieldByName(QStringLiteral("central_middlename")).AsString(), QString());
    EXPECT_EQ(q.FieldByName(QStringLiteral("central_unit")).AsInteger(), 2);
}

TEST_F(DMQueries, CommandsQueryModes) {
    struct TCase {
        std::optional<int> Mode;
        QList<int> Ids;
    };
    // Newest first; commands 1, 3 and 4 have bearings.
    const TCase cases[] = {
        {std::nullopt, {4, 3, 2, 1, 5}},
        {1, {4, 3, 2, 1, 5}},
        {2, {4, 3, 1}},
        {3, {2, 5}},
    };
    for (const TCase& c : cases) {
        OpenCommands(c.Mode);
        EXPECT_EQ(Column(*FDm->qCommands, "_id"), c.Ids) << (c.Mode ? *c.Mode : 0);
    }
    // A mode keeps its value when only the dates are set again.
    OpenCommands();
    EXPECT_EQ(Column(*FDm->qCommands, "_id"), (QList<int>{2, 5}));

    FDm->qCommands->Close();
    FDm->qCommands->ParamByName(QStringLiteral("CommandsQueryMode")).AsInteger(7);
    try {
        FDm->qCommands->Open();
        FAIL() << "mode 7 accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Unknown commands query mode 7")))
            << e.what();
    }
    EXPECT_FALSE(FDm->qCommands->Active());
}

TEST_F(DMQueries, CommandColumns) {
    OpenCommands();
    TDbQuery& q = *FDm->qCommands;
    q.First();
    EXPECT_EQ(q.FieldByName(QStringLiteral("_id")).AsInteger(), 4);
    EXPECT_EQ(q.FieldByName(QStringLiteral("_lodvar_cnt")).AsLargeInt(), 2);
    EXPECT_EQ(q.FieldByName(QStringLiteral("_date")).AsDate(), QDate(2026, 11, 3));
    EXPECT_EQ(q.FieldByName(QStringLiteral("_time")).AsTime(), QTime(11, 30));
    EXPECT_EQ(q.FieldByName(QStringLiteral("_arm_name")).AsString(), QStringLiteral("АРМ КП"));
    EXPECT_EQ(q.FieldByName(QStringLiteral("_command_uuid")).AsString(),
              QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC96502}"));
    EXPECT_EQ(q.FieldByName(QStringLiteral("_create_date")).AsDateTime(),
              QDateTime(QDate(2026, 11, 3), QTime(11, 30, 1, 250), Qt::UTC));
    EXPECT_TRUE(q.FieldByName(QStringLiteral("_note")).IsNull());
    EXPECT_EQ(q.FieldByName(QStringLiteral("_note")).AsString(), QString());
}

TEST_F(DMQueries, BearingsFollowTheCurrentCommand) {
    OpenCommands();
    FocusCommand(1);
    TDbQuery& detail = *FDm->qLodvarsByCommand;
    detail.ParamByName(QStringLiteral("command_id")).AsInteger(1);
    detail.Open();
    EXPECT_EQ(Column(detail, "id"), (QList<int>{1, 2, 3}));
    EXPECT_EQ(detail.ParamByName(QStringLiteral("_id")).AsString(), QStringLiteral("1"));

    // The master moves without a new command_id: no rows, still open.
    FocusCommand(4);
    EXPECT_TRUE(detail.Active());
    EXPECT_EQ(detail.RecordCount(), 0);
    EXPECT_EQ(detail.ParamByName(QStringLiteral("_id")).AsString(), QStringLiteral("4"));

    // While the master's controls are disabled the detail hears nothing; once enabled,
    // it follows the master's current row.
    FDm->qCommands->DisableControls();
    FocusCommand(1);
    EXPECT_EQ(detail.RecordCount(), 0);
    FDm->qCommands->EnableControls();
    EXPECT_EQ(Column(detail, "id"), (QList<int>{1, 2, 3}));

    // Loading the command's own bearings after the move shows them again.
    FocusCommand(4);
    detail.Close();
    detail.ParamByName(QStringLiteral("command_id")).AsInteger(4);
    detail.Open();
    EXPECT_EQ(Column(detail, "id"), (QList<int>{6, 7}));

    // A closed master leaves no rows.
    FDm->qCommands->Close();
    EXPECT_EQ(detail.RecordCount(), 0);
}

TEST_F(DMQueries, RefreshBracketNotifiesGridsAndDetailOnce) {
    OpenCommands();
    FocusCommand(1);
    FDm->qLodvarsByCommand->ParamByName(QStringLiteral("command_id")).AsInteger(1);
    FDm->qLodvarsByCommand->Open();
    int commandsChanged = 0;
    int commandsReset = 0;
    int bearingsChanged = 0;
    const QObject listener; // its connections end with this test
    QObject::connect(FDm->srcCommands, &TDataSource::DataChanged, &listener,
                     [&] { ++commandsChanged; });
    QObject::connect(FDm->srcCommands, &QAbstractItemModel::modelReset, &listener,
                     [&] { ++commandsReset; });
    QObject::connect(FDm->srcLodvarsByCommand, &TDataSource::DataChanged, &listener,
                     [&] { ++bearingsChanged; });
    const QList<TDbQuery*> queries = {FDm->qCommands, FDm->qIntersections, FDm->qLodvars,
                                      FDm->qLodvarsByCommand};
    for (TDbQuery* q : queries)
        q->DisableControls();
    OpenCommands();
    for (TDbQuery* q : queries)
        q->EnableControls();
    EXPECT_EQ(commandsChanged, 1);
    EXPECT_EQ(commandsReset, 1);
    EXPECT_EQ(bearingsChanged, 1);
    // The reload left the first command (4) current; its bearings are not loaded.
    EXPECT_EQ(FDm->qLodvarsByCommand->RecordCount(), 0);
}

// Initial great-circle bearing from one point to another, degrees clockwise from north.
double Bearing(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = qDegreesToRadians(lat1);
    const double p2 = qDegreesToRadians(lat2);
    const double dl = qDegreesToRadians(lon2 - lon1);
    const double theta =
        std::atan2(std::sin(dl) * std::cos(p2),
                   std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl));
    return std::fmod(qRadiansToDegrees(theta) + 360.0, 360.0);
}

double AngleBetween(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

TEST_F(DMQueries, IntersectionsLieOnBothBearings) {
    struct TCase {
        int Command;
        int Fixes;
    };
    const TCase cases[] = {{1, 3}, {2, 0}, {3, 0}, {4, 1}};
    TDbQuery& q = *FDm->qIntersections;
    for (const TCase& c : cases) {
        q.Close();
        q.ParamByName(QStringLiteral("command_id")).AsInteger(c.Command);
        q.Open();
        EXPECT_EQ(q.RecordCount(), c.Fixes) << "command " << c.Command;
        for (q.First(); !q.Eof(); q.Next()) {
            const double x = q.FieldByName(QStringLiteral("i_x")).AsFloat();
            const double y = q.FieldByName(QStringLiteral("i_y")).AsFloat();
            for (const char* k : {"1", "2"}) {
                const auto f = [&](const char* pattern) {
                    return q.FieldByName(QString::fromLatin1(pattern).arg(QLatin1String(k)));
                };
                const double bearing = Bearing(f("_u%1_x").AsFloat(), f("_u%1_y").AsFloat(), x, y);
                EXPECT_LT(AngleBetween(bearing, f("_lodvar%1").AsInteger()), 1e-6)
                    << "command " << c.Command << " bearing " << k;
            }
            EXPECT_NE(q.FieldByName(QStringLiteral("_unit1_name")).AsString(),
                      q.FieldByName(QStringLiteral("_unit2_name")).AsString());
            EXPECT_EQ(q.FieldByName(QStringLiteral("_command_id")).AsInteger(), c.Command);
        }
    }
    // Alpha (50, 30) at 45 degrees and Beta (50, 32) at 315 degrees meet between them.
    q.Close();
    q.ParamByName(QStringLiteral("command_id")).AsInteger(4);
    q.Open();
    EXPECT_NEAR(q.FieldByName(QStringLiteral("i_y")).AsFloat(), 31.0, 1e-9);
    EXPECT_GT(q.FieldByName(QStringLiteral("i_x")).AsFloat(), 50.0);
    EXPECT_EQ(q.FieldByName(QStringLiteral("_coords")).AsString().left(3), QStringLiteral("50."));
}

TEST_F(DMQueries, BearingsCountTheirFixes) {
    OpenCommands();
    FocusCommand(1);
    TDbQuery& q = *FDm->qLodvarsByCommand;
    q.ParamByName(QStringLiteral("command_id")).AsInteger(1);
    q.Open();
    EXPECT_EQ(Column(q, "intersections_cnt1"), (QList<int>{2, 1, 0}));
    EXPECT_EQ(Column(q, "intersections_cnt2"), (QList<int>{0, 1, 2}));
    q.First();
    EXPECT_DOUBLE_EQ(q.FieldByName(QStringLiteral("unit_x_coord")).AsFloat(), 50.0);
    EXPECT_DOUBLE_EQ(q.FieldByName(QStringLiteral("unit_y_coord")).AsFloat(), 30.0);
}

TEST_F(DMQueries, DemoGeneratorMakesAPlausibleNetwork) {
    auto& server = TPgTestServer::Instance();
    server.ExecAsSuperuser(QStringLiteral("DROP DATABASE IF EXISTS lodvar_demo"),
                           QStringLiteral("postgres"));
    server.ExecAsSuperuser(QStringLiteral("CREATE DATABASE lodvar_demo"),
                           QStringLiteral("postgres"));
    server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("schema.sql")),
                               QStringLiteral("lodvar_demo"));
    server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("demo.sql")),
                               QStringLiteral("lodvar_demo"));
    server.ExecAsSuperuser(QStringLiteral("SELECT lodvar.demo_generate(400)"),
                           QStringLiteral("lodvar_demo"));
    server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("demo_users.sql")),
                               QStringLiteral("lodvar_demo"));
    FDm->cnn->SetDatabase(QStringLiteral("lodvar_demo"));

    // The demo operators log in with their names as passwords.
    for (const QString& login : {QStringLiteral("admin"), QStringLiteral("operator")}) {
        TDbQuery& users = *FDm->qUsers;
        users.Close();
        users.ParamByName(QStringLiteral("Login")).AsString(login);
        users.Open();
        ASSERT_EQ(users.RecordCount(), 1) << login.toStdString();
        bool renew = false;
        EXPECT_TRUE(TBCrypt::CheckPassword(
            login, users.FieldByName(QStringLiteral("central_password")).AsString(), renew))
            << login.toStdString();
    }

    TDbQuery& units = *FDm->qUnits;
    units.Open();
    EXPECT_EQ(units.RecordCount(), 10);
    for (units.First(); !units.Eof(); units.Next()) {
        const double x = units.FieldByName(QStringLiteral("_x")).AsFloat();
        const double y = units.FieldByName(QStringLiteral("_y")).AsFloat();
        EXPECT_TRUE(x >= 45.35 && x <= 55.15 && y >= 23.95 && y <= 47.00) << x << ", " << y;
    }

    TDbQuery& commands = *FDm->qCommands;
    commands.ParamByName(QStringLiteral("DateBegin"))
        .AsDateTime(QDateTime(QDate::currentDate().addDays(-59), QTime(0, 0)));
    commands.ParamByName(QStringLiteral("DateEnd"))
        .AsDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
    commands.Open();
    EXPECT_EQ(commands.RecordCount(), 400);
    int silent = 0;
    int fixes = 0;
    for (commands.First(); !commands.Eof(); commands.Next()) {
        const qint64 count = commands.FieldByName(QStringLiteral("_lodvar_cnt")).AsLargeInt();
        EXPECT_TRUE(count == 0 || (count >= 2 && count <= 5)) << count;
        silent += count == 0;
        if (count > 0 && fixes < 50) {
            FDm->qIntersections->Close();
            FDm->qIntersections->ParamByName(QStringLiteral("command_id"))
                .AsInteger(commands.FieldByName(QStringLiteral("_id")).AsInteger());
            FDm->qIntersections->Open();
            fixes += FDm->qIntersections->RecordCount();
        }
    }
    EXPECT_GT(silent, 40);
    EXPECT_LT(silent, 200);
    EXPECT_GT(fixes, 0);
}

} // namespace

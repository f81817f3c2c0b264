#include "data/uDMQueries.h"

#include "LodvarSiteConfig.h"

namespace {

template <class T>
T* Make(QObject* owner, const char* name) {
    T* component = new T(owner);
    component->setObjectName(QString::fromLatin1(name));
    return component;
}

using C = TFieldClass;

void SetUpUsers(TDbQuery& q) {
    q.SetSQL(
        {QStringLiteral("select * FROM kavex.central_users  WHERE central_login = :Login ; ")});
    q.DeclareParam(QStringLiteral("Login"), TParamType::String);
    const bool req = true;
    q.DeclareFields({
        {QStringLiteral("central_user_id"), C::Integer, false, true},
        {QStringLiteral("central_surname"), C::Memo, req, true},
        {QStringLiteral("central_middlename"), C::Memo, false, true},
        {QStringLiteral("central_unit"), C::Integer, false, true},
        {QStringLiteral("central_phone"), C::Memo, false, true},
        {QStringLiteral("central_name"), C::Memo, req, true},
        {QStringLiteral("central_login"), C::Memo, req, true},
        {QStringLiteral("central_password"), C::Memo, req, true},
        {QStringLiteral("central_creator_user_id"), C::Integer, false, true},
        {QStringLiteral("central_creator_name"), C::Memo, req, true},
        {QStringLiteral("central_create_date"), C::DateTime, req, true},
        {QStringLiteral("central_update_date"), C::DateTime, req, true},
        {QStringLiteral("central_update_user_id"), C::Integer, false, true},
        {QStringLiteral("central_updater_name"), C::Memo, false, true},
        {QStringLiteral("central_user_uuid"), C::Guid, req, true},
        {QStringLiteral("central_updater_uuid"), C::Guid, false, true},
        {QStringLiteral("central_creator_user_uuid"), C::Guid, req, true},
        {QStringLiteral("central_unit_uuid"), C::Guid, req, true},
        {QStringLiteral("central_user_status"), C::Integer, req, true},
    });
}

void SetUpCommands(TDbQuery& q) {
    q.SetSQL({QStringLiteral("SELECT * FROM "), QStringLiteral("lodvar.tbl_fn_get_commands ("),
              QStringLiteral("p_DateBegin => :DateBegin"),
              QStringLiteral(",p_DateEnd  => :DateEnd"),
              QStringLiteral(",p_CommandsQueryMode => :CommandsQueryMode"), QStringLiteral(");"),
              QString()});
    q.DeclareParam(QStringLiteral("DateBegin"), TParamType::DateTime);
    q.DeclareParam(QStringLiteral("DateEnd"), TParamType::DateTime);
    q.DeclareParam(QStringLiteral("CommandsQueryMode"), TParamType::Integer);
    q.SetKeyFields(QStringLiteral("_id"));
    q.DeclareFields({
        {QStringLiteral("_lodvar_cnt"), C::LargeInt, false, true},
        {QStringLiteral("_id"), C::Integer, false, true},
        {QStringLiteral("_id_arm"), C::Integer, false, true},
        {QStringLiteral("_date"), C::Date, false, true},
        {QStringLiteral("_time"), C::Time, false, true},
        {QStringLiteral("_day_num"), C::Integer, false, true},
        {QStringLiteral("_arm_name"), C::Memo, false, true},
        {QStringLiteral("_frequency"), C::Memo, false, true},
        {QStringLiteral("_note"), C::Memo, false, true},
        {QStringLiteral("_address"), C::Memo, false, true},
        {QStringLiteral("_command_uuid"), C::Guid, false, true},
        {QStringLiteral("_create_date"), C::DateTime, false, true},
    });
}

void SetUpIntersections(TDbQuery& q) {
    q.SetSQL({QStringLiteral("SELECT * FROM "), QStringLiteral("lodvar.tbl_fn_get_intersections "),
              QStringLiteral("\t( "), QStringLiteral("\t  p_command_id => :command_id"),
              QStringLiteral("\t) ; "), QString()});
    q.DeclareParam(QStringLiteral("command_id"), TParamType::Integer);
    q.DeclareFields({
        {QStringLiteral("_intersection_uuid"), C::Guid, false, true},
        {QStringLiteral("i_x"), C::Float, false, true},
        {QStringLiteral("i_y"), C::Float, false, true},
        {QStringLiteral("_unit1_uuid"), C::Guid, false, true},
        {QStringLiteral("_unit2_uuid"), C::Guid, false, true},
        {QStringLiteral("_lodvar1_uuid"), C::Guid, false, true},
        {QStringLiteral("_lodvar1_id"), C::Integer, false, true},
        {QStringLiteral("_lodvar1"), C::Integer, false, true},
        {QStringLiteral("_lodvar2_uuid"), C::Guid, false, true},
        {QStringLiteral("_lodvar2_id"), C::Integer, false, true},
        {QStringLiteral("_lodvar2"), C::Integer, false, true},
        {QStringLiteral("_command_uuid"), C::Guid, false, true},
        {QStringLiteral("_command_id"), C::Integer, false, true},
        {QStringLiteral("_arm1_uuid"), C::Guid, false, true},
        {QStringLiteral("_arm1_id"), C::Integer, false, true},
        {QStringLiteral("_arm2_uuid"), C::Guid, false, true},
        {QStringLiteral("_arm2_id"), C::Integer, false, true},
        {QStringLiteral("_arm1_name"), C::Memo, false, true},
        {QStringLiteral("_arm2_name"), C::Memo, false, true},
        {QStringLiteral("_lodvar1_note"), C::Memo, false, true},
        {QStringLiteral("_lodvar2_note"), C::Memo, false, true},
        {QStringLiteral("_create_date"), C::DateTime, false, true},
        {QStringLiteral("_coords"), C::Memo, false, true},
        {QStringLiteral("_u1_x"), C::Float, false, true},
        {QStringLiteral("_u1_y"), C::Float, false, true},
        {QStringLiteral("_u2_x"), C::Float, false, true},
        {QStringLiteral("_u2_y"), C::Float, false, true},
        {QStringLiteral("_unit1_name"), C::Memo, false, true},
        {QStringLiteral("_unit2_name"), C::Memo, false, true},
    });
}

// Columns 1 to 10 of the bearings; the bearings of one command add four more.
std::vector<TFieldDef> LodvarFields() {
    return {
        {QStringLiteral("id"), C::Integer, false, true},
        {QStringLiteral("id_comset"), C::Integer, true, true},
        {QStringLiteral("date"), C::Date, true, true},
        {QStringLiteral("time"), C::Time, true, true},
        {QStringLiteral("arm_name"), C::Memo, true, true},
        {QStringLiteral("lodvar"), C::Integer, true, true},
        {QStringLiteral("note"), C::Memo, false, true},
        {QStringLiteral("lodvar_uuid"), C::Guid, true, true},
        {QStringLiteral("interseption_uuid"), C::Memo, false, true},
        {QStringLiteral("create_date"), C::DateTime, true, true},
    };
}

void SetUpLodvarsByCommand(TDbQuery& q, TDataSource* master) {
    q.SetSQL({QStringLiteral("SELECT *"),
              QStringLiteral("FROM lodvar.tbl_fn_get_lodvars_by_command (:command_id) ;")});
    q.DeclareParam(QStringLiteral("command_id"), TParamType::Integer);
    q.DeclareParam(QStringLiteral("_id"), TParamType::Unknown);
    q.SetKeyFields(QStringLiteral("id"));
    std::vector<TFieldDef> fields = LodvarFields();
    fields.push_back({QStringLiteral("intersections_cnt1"), C::LargeInt, false, true});
    fields.push_back({QStringLiteral("intersections_cnt2"), C::LargeInt, false, true});
    fields.push_back({QStringLiteral("unit_x_coord"), C::Float, false, true});
    fields.push_back({QStringLiteral("unit_y_coord"), C::Float, false, true});
    q.DeclareFields(fields);
    q.SetMasterFields(QStringLiteral("_id"));
    q.SetDetailFields(QStringLiteral("id_comset"));
    q.SetMasterSource(master);
}

void SetUpUnits(TDbQuery& q) {
    q.SetSQL({QStringLiteral("SELECT * FROM lodvar.tbl_fn_get_units () ; ")});
    q.DeclareFields({
        {QStringLiteral("_unit_uuid"), C::Guid, false, true},
        {QStringLiteral("_unit_name"), C::Memo, false, true},
        {QStringLiteral("_unit_description"), C::Memo, false, true},
        {QStringLiteral("_x"), C::Float, false, true},
        {QStringLiteral("_y"), C::Float, false, true},
    });
}

void SetUpLodvars(TDbQuery& q, TDataSource* master) {
    q.SetSQL({QStringLiteral("SELECT "), QStringLiteral("\t *"),
              QStringLiteral("FROM lodvar.lodset p"), QStringLiteral("WHERE p.id_comset IN ("),
              QStringLiteral(
                  "\tSELECT id FROM lodvar.comset WHERE date BETWEEN :DateBegin AND :DateEnd"),
              QStringLiteral("\t)"), QStringLiteral("--OR TRUE"), QStringLiteral(";")});
    q.DeclareParam(QStringLiteral("DateBegin"), TParamType::Date);
    q.DeclareParam(QStringLiteral("DateEnd"), TParamType::Unknown);
    q.DeclareParam(QStringLiteral("_id"), TParamType::Unknown);
    q.SetKeyFields(QStringLiteral("id"));
    q.DeclareFields(LodvarFields());
    q.SetMasterFields(QStringLiteral("_id"));
    q.SetDetailFields(QStringLiteral("id_comset"));
    q.SetMasterSource(master);
}

} // namespace

TDMQueries::TDMQueries(QObject* parent)
    : QObject(parent), cnn(Make<TDbConnection>(this, "cnn")),
      qUsers(Make<TDbQuery>(this, "qUsers")), qCommands(Make<TDbQuery>(this, "qCommands")),
      qIntersections(Make<TDbQuery>(this, "qIntersections")),
      qLodvarsByCommand(Make<TDbQuery>(this, "qLodvarsByCommand")),
      qUnits(Make<TDbQuery>(this, "qUnits")), qLodvars(Make<TDbQuery>(this, "qLodvars")),
      srcCommands(Make<TDataSource>(this, "srcCommands")),
      srcIntersections(Make<TDataSource>(this, "srcIntersections")),
      srcLodvarsByCommand(Make<TDataSource>(this, "srcLodvarsByCommand")),
      srcLodvars(Make<TDataSource>(this, "srcLodvars")),
      srcIntersections2(Make<TDataSource>(this, "srcIntersections2")) {
    cnn->SetServer(QString::fromUtf8(SiteConfig::DbHost));
    cnn->SetPortNumber(SiteConfig::DbPort);
    cnn->SetDatabase(QStringLiteral("lodvar"));
    cnn->SetUsername(QStringLiteral("lodvar"));
    cnn->SetPassword(QString::fromUtf8(SiteConfig::DbPassword));

    for (TDbQuery* q : Queries())
        q->SetConnection(cnn);
    SetUpUsers(*qUsers);
    SetUpCommands(*qCommands);
    SetUpIntersections(*qIntersections);
    SetUpLodvarsByCommand(*qLodvarsByCommand, srcCommands);
    SetUpUnits(*qUnits);
    SetUpLodvars(*qLodvars, srcCommands);

    srcCommands->SetDataSet(qCommands);
    srcIntersections->SetDataSet(qIntersections);
    srcLodvarsByCommand->SetDataSet(qLodvarsByCommand);
    srcLodvars->SetDataSet(qLodvars);
}

TDMQueries::~TDMQueries() {
    // Unlink first, so that no notification reaches a sibling that is already gone.
    for (TDbQuery* q : Queries())
        q->SetMasterSource(nullptr);
    for (TDataSource* source : {srcCommands, srcIntersections, srcLodvarsByCommand, srcLodvars})
        source->SetDataSet(nullptr);
}

QList<TDbQuery*> TDMQueries::Queries() const {
    return {qUsers, qCommands, qIntersections, qLodvarsByCommand, qUnits, qLodvars};
}

// The session's database connection `cnn` and every query and data source that reads
// through it, with their statements, parameters, declared columns, key fields and
// master/detail links. The session context owns one instance; each component is a child
// QObject with its own objectName, so it can also be found by name.
//
// `cnn` carries the stored settings (the built-in server host, port and password, the
// database "lodvar" and the user "lodvar") but is not connected by construction; the
// owner connects it (cnn->SetConnected(true)) when it applies its stored state.
#pragma once

#include "data/uDataSource.h"
#include "data/uDbConnection.h"
#include "data/uDbQuery.h"

#include <QObject>

class TDMQueries : public QObject {
    Q_OBJECT

public:
    explicit TDMQueries(QObject* parent = nullptr);
    ~TDMQueries() override;

    TDbConnection* const cnn;
    TDbQuery* const qUsers;            // the user with a given login
    TDbQuery* const qCommands;         // the commands of a date range
    TDbQuery* const qIntersections;    // the intersections of one command
    TDbQuery* const qLodvarsByCommand; // the bearings of one command (detail of srcCommands)
    TDbQuery* const qUnits;            // all direction-finding stations
    TDbQuery* const qLodvars;          // bearings of a date range (detail of srcCommands)
    TDataSource* const srcCommands;
    TDataSource* const srcIntersections;
    TDataSource* const srcLodvarsByCommand;
    TDataSource* const srcLodvars;
    TDataSource* const srcIntersections2; // bound to no query

    // Every query above, in declaration order.
    QList<TDbQuery*> Queries() const;
};

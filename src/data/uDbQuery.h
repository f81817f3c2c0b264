// A read-only query on a TDbConnection, with the behaviour the forms rely on:
//
// - The statement is given as lines (joined with line breaks). Named parameters ":name"
//   become positional ones; ParamByName(name) reaches them (and the extra parameters
//   declared with DeclareParam), case-insensitively. A parameter keeps its value across
//   Close and Open; one that was never set is sent as NULL.
// - Open connects the connection first when it is closed, runs the statement and takes
//   the rows over (see TDbRowSet). When columns are declared, the result must hold each
//   of them by name in a server type that fits its class; otherwise Open fails with a
//   message naming the column. On any failure the query stays closed.
// - The current row moves with First, Next, Prior, Last and MoveTo; Eof is true on an
//   empty result and after Next on the last row. FieldByName(name) reads the current row:
//   NULL, and a row past the end, read as empty text or 0.
// - Master/detail: with MasterSource, MasterFields and DetailFields set (lists separated
//   by ";"), an open query holds only the rows whose detail fields equal the master's
//   current values, and filters its rows again whenever the master's current row or data
//   changes. A closed master, or one without a current row, leaves no rows. The master's
//   value is also put into the parameter named after the master field, when there is one.
// - DisableControls / EnableControls nest: while disabled, the query's data sources (and
//   through them grids and detail queries) hear of no change; the outermost
//   EnableControls notifies them once.
#pragma once

#include "data/uDataSource.h"
#include "data/uDbConnection.h"
#include "data/uDbRowSet.h"
#include "data/uDbValue.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class TDbQuery;

enum class TParamType { Unknown, String, Integer, Date, DateTime };

class TDbParam {
public:
    TDbParam(QString name, TParamType type) : FName(std::move(name)), FDataType(type) {}

    const QString& Name() const noexcept { return FName; }
    TParamType DataType() const noexcept { return FDataType; }
    void SetDataType(TParamType type) noexcept { FDataType = type; }

    void AsString(const QString& value);
    void AsInteger(qint64 value);
    // Sent as "yyyy-MM-dd HH:mm:ss.zzz" (only the date for a parameter of type Date).
    // An invalid date-time raises EConvertError.
    void AsDateTime(const QDateTime& value);
    void AsDate(const QDate& value);
    void Clear() noexcept { FValue.reset(); }

    bool IsNull() const noexcept { return !FValue.has_value(); }
    QString AsString() const;
    const TDbParamValue& Value() const noexcept { return FValue; }

private:
    QString FName;
    TParamType FDataType;
    TDbParamValue FValue;
};

// A column as the design declares it.
struct TFieldDef {
    QString Name;
    TFieldClass Class = TFieldClass::Other;
    bool Required = false; // declared never NULL
    bool ReadOnly = false; // never written by the client
};

// A column of a query, read at the query's current row.
class TDbField {
public:
    TDbField(const TDbQuery& query, TFieldDef def, int index)
        : FQuery(&query), FDef(std::move(def)), FIndex(index) {}

    const QString& FieldName() const noexcept { return FDef.Name; }
    TFieldClass DataType() const noexcept { return FDef.Class; }
    bool Required() const noexcept { return FDef.Required; }
    bool ReadOnly() const noexcept { return FDef.ReadOnly; }
    int Index() const noexcept { return FIndex; }

    bool IsNull() const;
    // The server's text of the value, without a copy; empty for NULL.
    std::string_view AsUtf8() const;
    QString AsString() const;
    // Raise EConvertError when the value is not a number (or out of range).
    int AsInteger() const;
    qint64 AsLargeInt() const;
    double AsFloat() const;
    // NULL reads as an invalid date/time; a value that is no date/time raises EConvertError.
    QDateTime AsDateTime() const;
    QDate AsDate() const;
    QTime AsTime() const;
    QVariant AsVariant() const;

private:
    const TDbQuery* FQuery;
    TFieldDef FDef;
    int FIndex;
};

class TDbQuery : public QObject {
    Q_OBJECT

public:
    explicit TDbQuery(QObject* parent = nullptr);
    ~TDbQuery() override;

    TDbConnection* Connection() const noexcept { return FConnection; }
    void SetConnection(TDbConnection* connection) { FConnection = connection; }

    // The statement as lines; a parameter of a former statement that the new one does
    // not use is dropped unless it was declared.
    void SetSQL(const QStringList& lines);
    const QStringList& SQL() const noexcept { return FSQL; }
    QString SQLText() const { return FSQL.join(QLatin1Char('\n')); }

    // Declares a parameter's type, or an extra parameter the statement does not use.
    void DeclareParam(const QString& name, TParamType type);
    TDbParam& ParamByName(const QString& name);
    TDbParam* FindParam(const QString& name);
    int ParamCount() const noexcept { return static_cast<int>(FParams.size()); }
    TDbParam& Params(int index) { return *FParams.at(static_cast<size_t>(index)); }

    // The columns the result must hold; without them, the fields are the result's columns.
    void DeclareFields(const std::vector<TFieldDef>& fields);
    const QString& KeyFields() const noexcept { return FKeyFields; }
    void SetKeyFields(const QString& fields) { FKeyFields = fields; }

    TDataSource* MasterSource() const noexcept { return FMasterSource; }
    void SetMasterSource(TDataSource* source);
    const QString& MasterFields() const noexcept { return FMasterFields; }
    void SetMasterFields(const QString& fields) { FMasterFields = fields; }
    const QString& DetailFields() const noexcept { return FDetailFields; }
    void SetDetailFields(const QString& fields) { FDetailFields = fields; }

    void Open();
    void Close();
    bool Active() const noexcept { return FActive; }
    void SetActive(bool active);

    void First();
    void Next();
    void Prior();
    void Last();
    void MoveTo(int row);
    bool Eof() const noexcept { return FEof; }
    bool Bof() const noexcept { return FBof; }
    int RecordCount() const noexcept;
    // Index of the current row (0 = first); -1 when there is none.
    int RecNo() const noexcept;

    int FieldCount() const noexcept { return static_cast<int>(FFields.size()); }
    const TDbField& Fields(int index) const { return *FFields.at(static_cast<size_t>(index)); }
    // Raises EDatabaseError when the query has no such field.
    const TDbField& FieldByName(const QString& name) const;
    const TDbField* FindField(const QString& name) const noexcept;

    void DisableControls() noexcept { ++FDisableCount; }
    void EnableControls();
    bool ControlsDisabled() const noexcept { return FDisableCount > 0; }

    // Row access for models and fields, without copying; rows count from 0 and must be
    // below RecordCount().
    bool IsNull(int row, int field) const noexcept { return FRows.IsNull(RowIndex(row), field); }
    std::string_view Value(int row, int field) const noexcept {
        return FRows.Value(RowIndex(row), field);
    }
    // Bytes held for the rows of the open result.
    size_t RowsByteSize() const noexcept;

signals:
    // The rows are about to change (open, close, master filter); sent once per bracket.
    void AboutToChange();
    // The rows changed, or the outermost EnableControls ended a bracket.
    void DataSetChanged();
    // The current row moved (not sent while controls are disabled).
    void RecordMoved(int row);

private:
    friend class TDbField;
    [[noreturn]] void Fail(const QString& text) const;
    void CheckActive() const;
    int RowIndex(int row) const noexcept {
        return FFilter ? (*FFilter)[static_cast<size_t>(row)] : row;
    }
    std::vector<int> MapColumns(const PGresult* result);
    void ApplyMasterFilter();
    void MasterChanged();
    void SetCurrent(int row, bool eof, bool bof);
    void BeginChange();
    void EndChange();

    QPointer<TDbConnection> FConnection;
    QStringList FSQL;
    QByteArray FStatement;
    QStringList FStatementParams; // parameter of $1, $2, ...
    std::vector<std::unique_ptr<TDbParam>> FParams;
    std::vector<QString> FDeclaredParams;
    std::vector<TFieldDef> FDeclaredFields;
    std::vector<std::unique_ptr<TDbField>> FFields;
    QString FKeyFields;

    QPointer<TDataSource> FMasterSource;
    QMetaObject::Connection FMasterLink;
    QString FMasterFields;
    QString FDetailFields;

    bool FActive = false;
    TDbRowSet FRows;
    std::optional<std::vector<int>> FFilter; // rows kept by the master link
    int FCurrent = -1;
    bool FEof = true;
    bool FBof = true;
    int FDisableCount = 0;
    bool FChangePending = false;
};

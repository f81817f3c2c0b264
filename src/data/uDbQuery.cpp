#include "data/uDbQuery.h"

#include "data/uDataSource.h"
#include "data/uSqlParams.h"
#include "platform/Exceptions.h"

#include <cmath>
#include <limits>

namespace {

QStringList SplitFields(const QString& list) {
    QStringList names;
    for (const QString& name : list.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty())
            names.append(name.trimmed());
    return names;
}

QString Quoted(std::string_view text) {
    return QLatin1Char('\'') + QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) +
           QLatin1Char('\'');
}

// Index of the result column with this name: the exact spelling first, then ignoring case.
int ResultColumn(const PGresult* result, const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    const int count = PQnfields(result);
    for (int i = 0; i < count; ++i)
        if (utf8 == PQfname(result, i))
            return i;
    for (int i = 0; i < count; ++i)
        if (QString::fromUtf8(PQfname(result, i)).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

// ---- TDbParam

void TDbParam::AsString(const QString& value) {
    if (value.contains(QChar(0)))
        throw EConvertError(
            QStringLiteral("Parameter '%1': a text value cannot hold the character NUL")
                .arg(FName));
    FValue = value.toUtf8();
}

void TDbParam::AsInteger(qint64 value) {
    FValue = QByteArray::number(value);
}

void TDbParam::AsDateTime(const QDateTime& value) {
    if (!value.isValid())
        throw EConvertError(QStringLiteral("Parameter '%1': invalid date-time value").arg(FName));
    FValue =
        value
            .toString(FDataType == TParamType::Date ? QStringLiteral("yyyy-MM-dd")
                                                    : QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
            .toUtf8();
}

void TDbParam::AsDate(const QDate& value) {
    if (!value.isValid())
        throw EConvertError(QStringLiteral("Parameter '%1': invalid date value").arg(FName));
    FValue = value.toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
}

QString TDbParam::AsString() const {
    return FValue ? QString::fromUtf8(*FValue) : QString();
}

// ---- TDbField

bool TDbField::IsNull() const {
    FQuery->CheckActive();
    const int row = FQuery->RecNo();
    return row < 0 || FQuery->IsNull(row, FIndex);
}

std::string_view TDbField::AsUtf8() const {
    FQuery->CheckActive();
    const int row = FQuery->RecNo();
    return row < 0 || FQuery->IsNull(row, FIndex) ? std::string_view() : FQuery->Value(row, FIndex);
}

QString TDbField::AsString() const {
    return IsNull() ? QString() : ValueToString(FDef.Class, AsUtf8());
}

qint64 TDbField::AsLargeInt() const {
    if (IsNull())
        return 0;
    const std::string_view text = AsUtf8();
    if (const auto value = TextToInt64(text))
        return *value;
    if (FDef.Class == TFieldClass::Float) {
        const auto value = TextToDouble(text);
        if (value && std::isfinite(*value) && std::fabs(*value) < 9.2e18)
            return std::llround(*value);
    }
    throw EConvertError(Quoted(text) + QStringLiteral(" is not a valid integer value"));
}

int TDbField::AsInteger() const {
    const qint64 value = AsLargeInt();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw EConvertError(QStringLiteral("%1 is out of the range of a 32-bit integer (field %2)")
                                .arg(value)
                                .arg(FDef.Name));
    return static_cast<int>(value);
}

double TDbField::AsFloat() const {
    if (IsNull())
        return 0;
    const std::string_view text = AsUtf8();
    if (const auto value = TextToDouble(text))
        return *value;
    throw EConvertError(Quoted(text) + QStringLiteral(" is not a valid floating point value"));
}

QDateTime TDbField::AsDateTime() const {
    if (IsNull())
        return {};
    const std::string_view text = AsUtf8();
    if (FDef.Class == TFieldClass::Time) {
        // A time of day alone stands on the zero day of the date-time scale.
        if (const auto time = TextToTime(text))
            return QDateTime(QDate(1899, 12, 30), *time, Qt::UTC);
    } else if (const auto value = TextToDateTime(text)) {
        return *value;
    }
    throw EConvertError(Quoted(text) + QStringLiteral(" is not a valid date and time"));
}

QDate TDbField::AsDate() const {
    return AsDateTime().date();
}

QTime TDbField::AsTime() const {
    return AsDateTime().time();
}

QVariant TDbField::AsVariant() const {
    return IsNull() ? QVariant() : ValueToVariant(FDef.Class, AsUtf8());
}

// ---- TDbQuery

TDbQuery::TDbQuery(QObject* parent) : QObject(parent) {}

TDbQuery::~TDbQuery() = default;

void TDbQuery::Fail(const QString& text) const {
    throw EDatabaseError(objectName().isEmpty() ? text
                                                : objectName() + QStringLiteral(": ") + text);
}

void TDbQuery::CheckActive() const {
    if (!FActive)
        Fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TDbQuery::SetSQL(const QStringList& lines) {
    if (FActive)
        Close();
    FSQL = lines;
    TParsedSql parsed = ParseNamedParams(SQLText());
    FStatement = std::move(parsed.Text);
    FStatementParams = std::move(parsed.Names);

    std::vector<std::unique_ptr<TDbParam>> params;
    auto take = [&](const QString& name) {
        for (auto& param : params)
            if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
                return;
        for (auto& param : FParams)
            if (param && param->Name().compare(name, Qt::CaseInsensitive) == 0) {
                params.push_back(std::move(param));
                return;
            }
        params.push_back(std::make_unique<TDbParam>(name, TParamType::Unknown));
    };
    for (const QString& name : FStatementParams)
        take(name);
    for (const QString& name : FDeclaredParams)
        take(name);
    FParams = std::move(params);
}

void TDbQuery::DeclareParam(const QString& name, TParamType type) {
    if (TDbParam* param = FindParam(name)) {
        param->SetDataType(type);
    } else {
        FParams.push_back(std::make_unique<TDbParam>(name, type));
    }
    FDeclaredParams.push_back(name);
}

TDbParam* TDbQuery::FindParam(const QString& name) {
    for (auto& param : FParams)
        if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
            return param.get();
    return nullptr;
}

TDbParam& TDbQuery::ParamByName(const QString& name) {
    if (TDbParam* param = FindParam(name))
        return *param;
    Fail(QStringLiteral("Parameter '%1' not found").arg(name));
}

void TDbQuery::DeclareFields(const std::vector<TFieldDef>& fields) {
    if (FActive)
        Close();
    FDeclaredFields = fields;
    FFields.clear();
    for (size_t i = 0; i < fields.size(); ++i)
        FFields.push_back(std::make_unique<TDbField>(*this, fields[i], static_cast<int>(i)));
}

const TDbField* TDbQuery::FindField(const QString& name) const noexcept {
    for (const auto& field : FFields)
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field.get();
    return nullptr;
}

const TDbField& TDbQuery::FieldByName(const QString& name) const {
    if (const TDbField* field = FindField(name))
        return *field;
    Fail(QStringLiteral("Field '%1' not found").arg(name));
}

void TDbQuery::SetMasterSource(TDataSource* source) {
    if (FMasterLink)
        disconnect(FMasterLink);
    FMasterSource = source;
    if (source != nullptr)
        FMasterLink = connect(source, &TDataSource::DataChanged, this, &TDbQuery::MasterChanged);
    MasterChanged();
}

std::vector<int> TDbQuery::MapColumns(const PGresult* result) {
    std::vector<int> columns;
    if (FDeclaredFields.empty()) {
        const int count = PQnfields(result);
        for (int i = 0; i < count; ++i)
            columns.push_back(i);
        return columns;
    }
    for (const TFieldDef& def : FDeclaredFields) {
        const int column = ResultColumn(result, def.Name);
        if (column < 0)
            Fail(QStringLiteral("the result has no column \"%1\"").arg(def.Name));
        const Oid type = PQftype(result, column);
        if (!TypeFitsClass(type, def.Class))
            Fail(QStringLiteral("column \"%1\" is of type %2, expected %3")
                     .arg(def.Name, ServerTypeName(type), FieldClassName(def.Class)));
        columns.push_back(column);
    }
    return columns;
}

void TDbQuery::Open() {
    if (FActive)
        return;
    if (!FConnection)
        Fail(QStringLiteral("no connection"));
    const QStringList masterFields = SplitFields(FMasterFields);
    const QStringList detailFields = SplitFields(FDetailFields);
    if (FMasterSource && masterFields.size() != detailFields.size())
        Fail(QStringLiteral("MasterFields and DetailFields do not match"));

    std::vector<TDbParamValue> values;
    for (const QString& name : FStatementParams)
        values.push_back(ParamByName(name).Value());
    TPgResult result = FConnection->Execute(FStatement, values);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        Fail(QStringLiteral("the statement returns no rows"));

    const std::vector<int> columns = MapColumns(result.get());
    std::vector<std::unique_ptr<TDbField>> fields;
    if (FDeclaredFields.empty())
        for (const int column : columns)
            fields.push_back(std::make_unique<TDbField>(
                *this,
                TFieldDef{QString::fromUtf8(PQfname(result.get(), column)),
                          FieldClassOfType(PQftype(result.get(), column)), false, true},
                column));
    for (const QString& name : detailFields) {
        bool found = FindField(name) != nullptr && !FDeclaredFields.empty();
        for (const auto& field : fields)
            found = found || field->FieldName().compare(name, Qt::CaseInsensitive) == 0;
        if (!found)
            Fail(QStringLiteral("the detail field \"%1\" is not a column of the result").arg(name));
    }
    TDbRowSet rows(result.get(), columns);
    result.reset();

    BeginChange();
    if (FDeclaredFields.empty())
        FFields = std::move(fields);
    FRows = std::move(rows);
    FActive = true;
    ApplyMasterFilter();
    FCurrent = RecordCount() > 0 ? 0 : -1;
    FEof = RecordCount() == 0;
    FBof = true;
    EndChange();
}

void TDbQuery::Close() {
    if (!FActive)
        return;
    BeginChange();
    FActive = false;
    FRows = TDbRowSet();
    FFilter.reset();
    FCurrent = -1;
    FEof = true;
    FBof = true;
    EndChange();
}

void TDbQuery::SetActive(bool active) {
    if (active)
        Open();
    else
        Close();
}

int TDbQuery::RecordCount() const noexcept {
    if (!FActive)
        return 0;
    return FFilter ? static_cast<int>(FFilter->size()) : FRows.RowCount();
}

int TDbQuery::RecNo() const noexcept {
    return FActive && RecordCount() > 0 ? FCurrent : -1;
}

void TDbQuery::SetCurrent(int row, bool eof, bool bof) {
    FEof = eof;
    FBof = bof;
    if (row == FCurrent)
        return;
    FCurrent = row;
    if (FDisableCount == 0)
        emit RecordMoved(row);
}

void TDbQuery::First() {
    CheckActive();
    const int count = RecordCount();
    SetCurrent(count > 0 ? 0 : -1, count == 0, true);
}

void TDbQuery::Next() {
    CheckActive();
    if (FCurrent + 1 < RecordCount())
        SetCurrent(FCurrent + 1, false, false);
    else
        FEof = true;
}

void TDbQuery::Prior() {
    CheckActive();
    if (FCurrent > 0)
        SetCurrent(FCurrent - 1, false, false);
    else
        FBof = true;
}

void TDbQuery::Last() {
    CheckActive();
    const int count = RecordCount();
    SetCurrent(count - 1, true, count == 0);
}

void TDbQuery::MoveTo(int row) {
    CheckActive();
    if (row >= 0 && row < RecordCount())
        SetCurrent(row, false, false);
}

void TDbQuery::EnableControls() {
    if (FDisableCount == 0)
        return;
    if (--FDisableCount == 0) {
        FChangePending = false;
        emit DataSetChanged();
    }
}

void TDbQuery::BeginChange() {
    if (FDisableCount > 0) {
        if (FChangePending)
            return;
        FChangePending = true;
    }
    emit AboutToChange();
}

void TDbQuery::EndChange() {
    if (FDisableCount == 0)
        emit DataSetChanged();
}

void TDbQuery::ApplyMasterFilter() {
    const QStringList masterFields = SplitFields(FMasterFields);
    const QStringList detailFields = SplitFields(FDetailFields);
    if (!FMasterSource || masterFields.isEmpty() || masterFields.size() != detailFields.size()) {
        FFilter.reset();
        return;
    }
    FFilter.emplace();
    const TDbQuery* master = FMasterSource->DataSet();
    const bool masterRow = master != nullptr && master->RecNo() >= 0;
    std::vector<std::string_view> keys;
    std::vector<int> columns;
    for (qsizetype i = 0; i < masterFields.size(); ++i) {
        const TDbField* source = master != nullptr ? master->FindField(masterFields[i]) : nullptr;
        const TDbField* target = FindField(detailFields[i]);
        const bool known = masterRow && source != nullptr && !source->IsNull();
        // The master's value goes into the parameter named after its field, if any.
        if (TDbParam* param = FindParam(masterFields[i])) {
            if (known)
                param->AsString(source->AsString());
            else
                param->Clear();
        }
        if (!known || target == nullptr)
            return;
        keys.push_back(source->AsUtf8());
        columns.push_back(target->Index());
    }
    for (int row = 0; row < FRows.RowCount(); ++row) {
        bool match = true;
        for (size_t i = 0; i < keys.size() && match; ++i)
            match = !FRows.IsNull(row, columns[i]) && FRows.Value(row, columns[i]) == keys[i];
        if (match)
            FFilter->push_back(row);
    }
}

void TDbQuery::MasterChanged() {
    if (!FActive)
        return;
    BeginChange();
    ApplyMasterFilter();
    FCurrent = RecordCount() > 0 ? 0 : -1;
    FEof = RecordCount() == 0;
    FBof = true;
    EndChange();
}

size_t TDbQuery::RowsByteSize() const noexcept {
    return FRows.ByteSize() + (FFilter ? FFilter->capacity() * sizeof(int) : 0);
}

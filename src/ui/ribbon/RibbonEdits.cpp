#include "ui/ribbon/RibbonEdits.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
// The lowest date stands for "no date"; a spin box shows its special text there.
const QDate NoDate(100, 1, 1);
} // namespace

const QString TNullableDateEdit::EmptyText = QStringLiteral("(не задано)");

TNullableDateEdit::TNullableDateEdit(QWidget* parent) : QDateEdit(parent) {
    setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    setCalendarPopup(true);
    setMinimumDate(NoDate);
    setSpecialValueText(EmptyText);
    setDate(NoDate);
    setMinimumWidth(110);
    connect(this, &QDateEdit::dateChanged, this, &TNullableDateEdit::EditValueChanged);
}

bool TNullableDateEdit::IsEmpty() const {
    return date() == NoDate;
}

QVariant TNullableDateEdit::EditValue() const {
    return IsEmpty() ? QVariant() : QVariant(QDateTime(date(), QTime(0, 0)));
}

void TNullableDateEdit::SetEditValue(const QVariant& value) {
    QDate day;
    if (value.typeId() == QMetaType::QDateTime)
        day = value.toDateTime().date();
    else if (value.typeId() == QMetaType::QDate)
        day = value.toDate();
    setDate(day.isValid() && day > NoDate ? day : NoDate);
}

void TNullableDateEdit::Clear() {
    setDate(NoDate);
}

void TNullableDateEdit::keyPressEvent(QKeyEvent* event) {
    const bool erase = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    if (erase && (IsEmpty() || lineEdit()->selectedText() == lineEdit()->text())) {
        Clear();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

void TNullableDateEdit::mousePressEvent(QMouseEvent* event) {
    // The calendar opens at the edit's date: at today rather than at the "no date" mark.
    if (IsEmpty() && calendarWidget() != nullptr)
        setDate(QDate::currentDate());
    QDateEdit::mousePressEvent(event);
}

TNumberEdit::TNumberEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(-2147483647, 2147483647);
    setGroupSeparatorShown(false);
    setMinimumWidth(100);
    setAlignment(Qt::AlignRight);
}

QString TNumberEdit::FormatValue(int value) {
    return value < 0 ? QStringLiteral("(%1)").arg(-qint64(value)) : QString::number(value);
}

QString TNumberEdit::textFromValue(int value) const {
    return FormatValue(value);
}

int TNumberEdit::valueFromText(const QString& text) const {
    QString digits = text.trimmed();
    bool negative = false;
    if (digits.startsWith(QLatin1Char('(')) || digits.startsWith(QLatin1Char('-'))) {
        negative = true;
        digits.remove(0, 1);
    }
    if (digits.endsWith(QLatin1Char(')')))
        digits.chop(1);
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok)
        return this->value();
    return int(std::clamp<qint64>(negative ? -value : value, minimum(), maximum()));
}

QValidator::State TNumberEdit::validate(QString& text, int&) const {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("(") || t == QLatin1String("-"))
        return QValidator::Intermediate;
    QString digits = t;
    const bool parenthesised = digits.startsWith(QLatin1Char('('));
    if (parenthesised || digits.startsWith(QLatin1Char('-')))
        digits.remove(0, 1);
    if (parenthesised && digits.endsWith(QLatin1Char(')')))
        digits.chop(1);
    else if (parenthesised)
        return QValidator::Intermediate;
    for (const QChar c : std::as_const(digits))
        if (!c.isDigit())
            return QValidator::Invalid;
    if (digits.isEmpty())
        return QValidator::Intermediate;
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok && value <= maximum() ? QValidator::Acceptable : QValidator::Invalid;
}

TRadioGroup::TRadioGroup(QWidget* parent) : QWidget(parent), FButtons(new QButtonGroup(this)) {
    FButtons->setExclusive(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    connect(FButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            emit EditValueChanged();
    });
}

void TRadioGroup::AddItem(const QString& caption, int value) {
    auto* button = new QRadioButton(caption, this);
    FButtons->addButton(button, value);
    layout()->addWidget(button);
}

QVariant TRadioGroup::EditValue() const {
    const int id = FButtons->checkedId();
    return FButtons->checkedButton() != nullptr ? QVariant(id) : QVariant();
}

void TRadioGroup::SetEditValue(const QVariant& value) {
    bool ok = false;
    const int id = value.toInt(&ok);
    if (QAbstractButton* button = ok ? FButtons->button(id) : nullptr) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; it lets go of it only while not exclusive.
    if (QAbstractButton* checked = FButtons->checkedButton()) {
        FButtons->setExclusive(false);
        checked->setChecked(false);
        FButtons->setExclusive(true);
    }
}

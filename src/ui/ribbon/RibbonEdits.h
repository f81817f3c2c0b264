// The ribbon's edit items, each with an EditValue (a QVariant) as the window reads and
// stores it, and a signal when the operator changes it.
#pragma once

#include <QButtonGroup>
#include <QDateEdit>
#include <QSpinBox>
#include <QVariant>
#include <QWidget>

// A date edit that can also be empty (no date): it then says so. Delete or Backspace
// over the whole text empties it; opening the calendar on an empty edit starts at today.
class TNullableDateEdit : public QDateEdit {
    Q_OBJECT

public:
    static const QString EmptyText;

    explicit TNullableDateEdit(QWidget* parent = nullptr);

    bool IsEmpty() const;
    // The date at midnight as a QDateTime; an invalid QVariant when empty.
    QVariant EditValue() const;
    // An invalid value, or one that is no date, empties the edit.
    void SetEditValue(const QVariant& value);
    void Clear();

signals:
    void EditValueChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

// A whole-number edit shown with the format "0;(0)": no decimals, no group separators,
// negative numbers in parentheses.
class TNumberEdit : public QSpinBox {
    Q_OBJECT

public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    static QString FormatValue(int value);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;
};

// Radio buttons of which at most one is chosen, each standing for a value; none is
// chosen at first.
class TRadioGroup : public QWidget {
    Q_OBJECT

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void AddItem(const QString& caption, int value);
    // The chosen item's value; an invalid QVariant while none is chosen.
    QVariant EditValue() const;
    // Chooses the item of the value; any other value chooses none.
    void SetEditValue(const QVariant& value);

signals:
    void EditValueChanged();

private:
    QButtonGroup* FButtons;
};

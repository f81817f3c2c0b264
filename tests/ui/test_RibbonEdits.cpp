// The ribbon's edit items: a date edit that can be empty, the "0;(0)" number edit and a
// radio group of which none may be chosen.
#include "ui/ribbon/RibbonEdits.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(RibbonEdits, DateEditCanBeEmptyAndSaysSo) {
    TNullableDateEdit edit;
    QSignalSpy changed(&edit, &TNullableDateEdit::EditValueChanged);
    EXPECT_TRUE(edit.IsEmpty());
    EXPECT_FALSE(edit.EditValue().isValid());
    EXPECT_EQ(edit.text(), TNullableDateEdit::EmptyText);

    struct TCase {
        const char* Name;
        QVariant Value;
        QVariant Expected;
    };
    const QDateTime midnight(QDate(2026, 11, 3), QTime(0, 0));
    const TCase cases[] = {
        {"date-time keeps its day at midnight", QDateTime(QDate(2026, 11, 3), QTime(17, 45)),
         midnight},
        {"date", QDate(2026, 11, 3), midnight},
        {"no value", QVariant(), QVariant()},
        {"text is no date", QStringLiteral("2026-11-03"), QVariant()},
        {"a date before the edit's range", QDate(50, 1, 1), QVariant()},
        {"invalid date", QDate(2026, 2, 31), QVariant()},
    };
    for (const TCase& c : cases) {
        edit.SetEditValue(c.Value);
        EXPECT_EQ(edit.EditValue(), c.Expected) << c.Name;
        EXPECT_EQ(edit.IsEmpty(), !c.Expected.isValid()) << c.Name;
    }
    edit.SetEditValue(midnight);
    EXPECT_EQ(edit.text(), QStringLiteral("03.11.2026"));
    changed.clear();
    // Delete over the whole text empties the edit, and says so.
    edit.findChild<QLineEdit*>()->selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_TRUE(edit.IsEmpty());
    EXPECT_EQ(changed.count(), 1);
}

TEST(RibbonEdits, NumberEditShowsNegativesInParentheses) {
    TNumberEdit edit;
    struct TCase {
        int Value;
        const char* Text;
    };
    const TCase shown[] = {
        {2000000, "2000000"}, {0, "0"}, {-5, "(5)"}, {-2147483647, "(2147483647)"}};
    for (const TCase& c : shown) {
        edit.setValue(c.Value);
        EXPECT_EQ(edit.text(), QString::fromLatin1(c.Text)) << c.Value;
    }
    // Typed text: digits, a leading minus or parentheses; nothing else gets in.
    struct TTyped {
        const char* Keys;
        int Value;
    };
    const TTyped typed[] = {{"1500", 1500}, {"(250)", -250}, {"-75", -75}, {"12a3", 123}};
    for (const TTyped& t : typed) {
        QLineEdit& line = *edit.findChild<QLineEdit*>();
        line.selectAll();
        QTest::keyClicks(&line, QString::fromLatin1(t.Keys));
        edit.interpretText();
        EXPECT_EQ(edit.value(), t.Value) << t.Keys;
    }
}

TEST(RibbonEdits, RadioGroupStartsWithNoneChosen) {
    TRadioGroup group;
    group.AddItem(QStringLiteral("Всі команди"), 1);
    group.AddItem(QStringLiteral("Команди із пеленгами"), 2);
    group.AddItem(QStringLiteral("Команди без пеленгів"), 3);
    QSignalSpy changed(&group, &TRadioGroup::EditValueChanged);
    EXPECT_FALSE(group.EditValue().isValid());
    group.SetEditValue(2);
    EXPECT_EQ(group.EditValue(), QVariant(2));
    EXPECT_EQ(changed.count(), 1);
    group.SetEditValue(3);
    EXPECT_EQ(group.EditValue(), QVariant(3));
    EXPECT_EQ(changed.count(), 2);
    // A value of no item chooses none, without a change to report.
    group.SetEditValue(9);
    EXPECT_FALSE(group.EditValue().isValid());
    EXPECT_EQ(changed.count(), 2);
    // Clicking an item chooses it and reports it.
    group.findChildren<QAbstractButton*>().at(0)->click();
    EXPECT_EQ(group.EditValue(), QVariant(1));
    EXPECT_EQ(changed.count(), 3);
}

} // namespace

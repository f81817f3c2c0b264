// A small table of bearings-like rows for the grid suites, as a plain item model whose
// header names the fields (the grid binds its columns by those names).
//
//   id  arm     date        note              secret
//   1   Alpha   2026-11-01  Сильний           secret-a
//   2   Beta    2026-11-01  NULL              secret-b
//   3   Alpha   2026-11-02  Слабкий           x
//   4   Gamma   2026-11-02  NULL              y
//   5   Alpha   2026-11-01  сильний сигнал    z
//   6   NULL    2026-11-03  ""                w
#pragma once

#include "ui/grid/GridColumns.h"

#include <QDate>
#include <QStandardItemModel>
#include <memory>

inline std::unique_ptr<QStandardItemModel> MakeGridFixture() {
    struct TRow {
        int Id;
        QVariant Arm;
        QDate Date;
        QVariant Note;
        const char* Secret;
    };
    const TRow rows[] = {
        {1, QStringLiteral("Alpha"), QDate(2026, 11, 1), QStringLiteral("Сильний"), "secret-a"},
        {2, QStringLiteral("Beta"), QDate(2026, 11, 1), QVariant(), "secret-b"},
        {3, QStringLiteral("Alpha"), QDate(2026, 11, 2), QStringLiteral("Слабкий"), "x"},
        {4, QStringLiteral("Gamma"), QDate(2026, 11, 2), QVariant(), "y"},
        {5, QStringLiteral("Alpha"), QDate(2026, 11, 1), QStringLiteral("сильний сигнал"), "z"},
        {6, QVariant(), QDate(2026, 11, 3), QString(), "w"},
    };
    auto model = std::make_unique<QStandardItemModel>(0, 5);
    // Field order differs from the grid's column order on purpose.
    model->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("arm"),
                                      QStringLiteral("note"), QStringLiteral("secret"),
                                      QStringLiteral("date")});
    for (const TRow& r : rows) {
        QList<QStandardItem*> items;
        for (const QVariant& value : {QVariant(r.Id), r.Arm, r.Note,
                                      QVariant(QString::fromLatin1(r.Secret)), QVariant(r.Date)}) {
            auto* item = new QStandardItem;
            item->setData(value, Qt::EditRole);
            items << item;
        }
        model->appendRow(items);
    }
    return model;
}

inline std::vector<TGridColumn> GridFixtureColumns() {
    return {
        {QStringLiteral("date"), QStringLiteral("Дата"), true, 40, 80, true},
        {QStringLiteral("id"), QStringLiteral("ID"), true, 20, 30, true},
        {QStringLiteral("arm"), QStringLiteral("АРМ"), true, 40, 100, false},
        {QStringLiteral("note"), QStringLiteral("Примітки"), true, 40, 150, false},
        {QStringLiteral("secret"), QString(), false, 20, 0, false},
    };
}

// Records the batches a map sends to its page, parsed, and reads back what they carry.
#pragma once

#include "ui/map/WebMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

class TBatchRecorder {
public:
    explicit TBatchRecorder(TWebMap& map) {
        QObject::connect(&map, &TWebMap::BatchReady, &map, [this](const QByteArray& batch) {
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(batch, &error);
            Parsed = Parsed && error.error == QJsonParseError::NoError && doc.isObject();
            Batches << doc.object();
        });
    }

    QList<QJsonObject> Batches;
    bool Parsed = true; // every batch was one well-formed JSON object

    const QJsonObject& Last() const { return Batches.back(); }
    // View requests of all batches, in order: ["c", lat, lng] or ["b", n, e, s, w].
    QJsonArray ViewOps() const {
        QJsonArray ops;
        for (const QJsonObject& b : Batches) {
            for (const auto op : b[QStringLiteral("v")].toArray()) {
                ops.append(op);
            }
        }
        return ops;
    }
};

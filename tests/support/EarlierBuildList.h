#pragma once

// A task list as the builds from before drives were recorded saved it: the same records, without
// "fixedSourceIdentities". Only for tests that link the engine.
#include "TaskController.h"
#include "TaskListCipher.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Saves the controller's list, then takes the key out of every record in the file.
inline bool saveAsEarlierBuild(TaskController& c)
{
    if (!c.saveTaskList())
        return false;
    QFile file(TaskController::taskListPath());
    QByteArray plain;
    QString error;
    if (!file.open(QIODevice::ReadOnly) || !TaskListCipher::decrypt(file.readAll(), c.key, c.iv, plain, error))
        return false;
    file.close();
    QJsonArray records = QJsonDocument::fromJson(plain).array();
    for (qsizetype i = 0; i < records.size(); ++i) {
        QJsonObject record = records.at(i).toObject();
        record.remove("fixedSourceIdentities");
        records[i] = record;
    }
    QByteArray cipher;
    if (!TaskListCipher::encrypt(QJsonDocument(records).toJson(QJsonDocument::Indented), c.key, c.iv, cipher, error))
        return false;
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(cipher) == cipher.size();
}

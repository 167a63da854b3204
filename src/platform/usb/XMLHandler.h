#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// Turns a property list in XML form into nested QVariantMap / QVariantList values. Leaves
// keep no type: <integer>5</integer> gives the string "5", <true/> the empty string.
// Only QtCore is needed; no DTD and no external entity is ever loaded.
// One parse at a time per instance, on the calling thread.
class XMLHandler {
public:
    virtual ~XMLHandler() = default;

    // The document's top-level array when it is an array of dicts, else an empty list.
    // On a parse error the dicts completed before it are returned (one line is logged).
    virtual QList<QVariantMap> parseData(const QByteArray& data);

    const QVariantList& stackList() const { return stackList_; }

protected:
    virtual void elementStarted(const QString& name);
    virtual void elementEnded(const QString& name);

private:
    void push(const QVariant& value);
    QVariant pop();

    QVariantList stackList_;
    QString text_; // the text of the element being read, across all its pieces
};

#include "XMLHandler.h"

#include <QLoggingCategory>
#include <QXmlStreamReader>

Q_LOGGING_CATEGORY(lcXmlHandler, "zorvi.xmlhandler")

namespace {

bool isString(const QVariant& v) { return v.typeId() == QMetaType::QString; }
bool isMap(const QVariant& v) { return v.typeId() == QMetaType::QVariantMap; }
bool isList(const QVariant& v) { return v.typeId() == QMetaType::QVariantList; }

QString asString(const QVariant& v, const QString& fallback)
{
    return isString(v) ? v.toString() : fallback;
}

QVariantMap asMap(const QVariant& v)
{
    return isMap(v) ? v.toMap() : QVariantMap();
}

QVariantList asList(const QVariant& v)
{
    return isList(v) ? v.toList() : QVariantList();
}

} // namespace

QList<QVariantMap> XMLHandler::parseData(const QByteArray& data)
{
    stackList_.clear();
    text_.clear();

    QXmlStreamReader reader(data);
    // Entity references the reader cannot expand itself (external ones) are reported,
    // never fetched; they add no text.
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            text_.clear();
            elementStarted(reader.name().toString());
            break;
        case QXmlStreamReader::EndElement:
            elementEnded(reader.name().toString().trimmed());
            text_.clear();
            break;
        case QXmlStreamReader::Characters:
            text_ += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        qCWarning(lcXmlHandler).noquote() << "XML parser error :" << reader.errorString();

    QList<QVariantMap> result;
    if (stackList_.isEmpty() || !isList(stackList_.constFirst()))
        return result;
    for (const QVariant& item : stackList_.constFirst().toList()) {
        if (!isMap(item))
            return {};
        result.append(item.toMap());
    }
    return result;
}

// QList::append would splice a QVariantList argument in; the stack takes it as one value.
void XMLHandler::push(const QVariant& value)
{
    stackList_.append(value);
}

QVariant XMLHandler::pop()
{
    return stackList_.isEmpty() ? QVariant() : stackList_.takeLast();
}

void XMLHandler::elementStarted(const QString& name)
{
    if (name == QLatin1String("dict"))
        push(QVariantMap());
    else if (name == QLatin1String("array"))
        push(QVariantList());
    else if (name == QLatin1String("key"))
        push(QStringLiteral("key"));
    else if (name != QLatin1String("plist"))
        push(name);
}

void XMLHandler::elementEnded(const QString& name)
{
    if (name == QLatin1String("dict") || name == QLatin1String("array")) {
        const QVariant finished = pop();
        const QVariant done = name == QLatin1String("dict") ? QVariant(asMap(finished)) : QVariant(asList(finished));
        if (!stackList_.isEmpty() && isString(stackList_.constLast())) {
            const QString key = asString(pop(), QStringLiteral("key"));
            QVariantMap parent = asMap(pop());
            parent.insert(key, done);
            push(parent);
        } else if (!stackList_.isEmpty() && isList(stackList_.constLast())) {
            QVariantList parent = asList(pop());
            parent.append(done);
            push(parent);
        } else if (stackList_.isEmpty()) {
            push(done);
        }
        // else: a container under a dict without a key is dropped
        return;
    }
    if (name == QLatin1String("key")) {
        pop();
        push(text_.trimmed());
        return;
    }
    if (name == QLatin1String("plist") || name.isEmpty())
        return;

    // A leaf: string, integer, real, date, data, true, false.
    pop();
    const QString value = text_.trimmed();
    if (!stackList_.isEmpty() && isString(stackList_.constLast())) {
        const QString key = asString(pop(), QStringLiteral("key"));
        QVariantMap parent = asMap(pop());
        parent.insert(key, value);
        push(parent);
    } else if (!stackList_.isEmpty() && isList(stackList_.constLast())) {
        QVariantList parent = asList(pop());
        parent.append(value);
        push(parent);
    }
    // else: a leaf with neither a key nor an array above it is dropped
}

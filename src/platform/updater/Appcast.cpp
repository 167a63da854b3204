#include "Appcast.h"

#include <QXmlStreamReader>

namespace {
QUrl webUrl(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "https" && scheme != "http"))
        return {};
    return url;
}

void readVersionAttributes(const QXmlStreamAttributes& attributes, AppcastItem& item)
{
    for (const QXmlStreamAttribute& a : attributes) {
        if (a.name() == u"version" && item.version.isEmpty())
            item.version = a.value().toString().trimmed();
        else if (a.name() == u"shortVersionString" && item.shortVersionString.isEmpty())
            item.shortVersionString = a.value().toString().trimmed();
    }
}

AppcastItem readItem(QXmlStreamReader& xml)
{
    AppcastItem item;
    QUrl enclosureUrl;
    while (xml.readNextStartElement()) {
        const auto name = xml.name();
        if (name == u"title") {
            item.title = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == u"link") {
            item.downloadPage = webUrl(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (name == u"description") {
            item.releaseNotes = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == u"version") {
            item.version = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == u"shortVersionString") {
            item.shortVersionString = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == u"enclosure") {
            readVersionAttributes(xml.attributes(), item);
            enclosureUrl = webUrl(xml.attributes().value("url").toString());
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (item.downloadPage.isEmpty())
        item.downloadPage = enclosureUrl;
    return item;
}
} // namespace

std::optional<Appcast> Appcast::parse(const QByteArray& data, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<Appcast> {
        if (error)
            *error = why;
        return std::nullopt;
    };

    QXmlStreamReader xml(data);
    Appcast feed;
    bool sawRss = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::DTD)
            return fail(QStringLiteral("The update feed has a document type declaration; it is not read."));
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (!sawRss) {
            if (xml.name() != u"rss")
                return fail(QStringLiteral("The update feed is not an RSS document."));
            sawRss = true;
            continue;
        }
        if (xml.name() == u"item")
            feed.items_.append(readItem(xml));
    }
    if (xml.hasError())
        return fail(QStringLiteral("The update feed is not valid XML (line %1): %2")
                        .arg(xml.lineNumber())
                        .arg(xml.errorString()));
    if (!sawRss)
        return fail(QStringLiteral("The update feed is empty."));
    return feed;
}

std::optional<AppcastItem> Appcast::newestNewerThan(const QVersionNumber& current) const
{
    std::optional<AppcastItem> best;
    for (const AppcastItem& item : items_) {
        const QVersionNumber v = item.versionNumber();
        if (v.isNull() || item.downloadPage.isEmpty() || v <= current)
            continue;
        if (!best || v > best->versionNumber())
            best = item;
    }
    return best;
}

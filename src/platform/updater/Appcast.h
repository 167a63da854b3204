#pragma once

#include "AppcastItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVersionNumber>
#include <optional>

// The update feed: an RSS 2.0 document whose items describe releases.
//
//   <rss version="2.0" xmlns:zorvi="https://morvantek.com/xml/zorvi-update">
//     <channel>
//       <item>
//         <title>Zorvi 1.2.0</title>
//         <link>https://.../download/</link>
//         <description>release notes</description>
//         <enclosure url="https://.../zorvi-1.2.0.tar.gz" zorvi:version="1.2.0"
//                    zorvi:shortVersionString="1.2"/>
//       </item>
//     </channel>
//   </rss>
//
// Version attributes are matched by local name, so any namespace prefix works; <version>
// and <shortVersionString> child elements of the item are accepted too. Documents with a
// DTD are refused (no entity expansion of any kind), and only http(s) download pages are kept.
class Appcast {
public:
    static std::optional<Appcast> parse(const QByteArray& xml, QString* error = nullptr);

    const QList<AppcastItem>& items() const { return items_; }

    // The item with the highest version above `current`, if any. Items whose version does
    // not parse or whose download page is missing are never offered.
    std::optional<AppcastItem> newestNewerThan(const QVersionNumber& current) const;

private:
    QList<AppcastItem> items_;
};

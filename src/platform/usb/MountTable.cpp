#include "MountTable.h"

#include <QFile>

MountTable MountTable::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

MountTable MountTable::parse(const QByteArray& text)
{
    MountTable table;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const qsizetype dash = fields.indexOf("-", 6);
        if (fields.size() < 7 || dash < 0 || dash + 1 >= fields.size())
            continue;
        Entry entry;
        entry.majorMinor = QString::fromLatin1(fields.at(2));
        entry.root = unescape(fields.at(3));
        entry.mountPoint = unescape(fields.at(4));
        entry.fsType = unescape(fields.at(dash + 1));
        entry.source = dash + 2 < fields.size() ? unescape(fields.at(dash + 2)) : QString();
        table.entries_.append(entry);
    }
    return table;
}

const MountTable::Entry* MountTable::find(const QString& majorMinor, const QString& devnode) const
{
    const Entry* fallback = nullptr;
    for (const Entry& entry : entries_) {
        const bool match = (!majorMinor.isEmpty() && entry.majorMinor == majorMinor)
            || (!devnode.isEmpty() && entry.source == devnode);
        if (!match)
            continue;
        if (entry.root == QLatin1String("/"))
            return &entry;
        if (!fallback)
            fallback = &entry;
    }
    return fallback;
}

QString MountTable::unescape(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QString::fromUtf8(out);
}

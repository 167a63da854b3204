#include "SevenZipListing.h"

#include <cstring>
#include <sys/stat.h>

namespace {

bool digits(QByteArrayView text, qsizetype from, qsizetype count, int* value)
{
    int v = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

qint64 toInteger(QByteArrayView text, bool* ok)
{
    qint64 v = 0;
    *ok = !text.isEmpty();
    for (const char c : text) {
        if (c < '0' || c > '9') {
            *ok = false;
            return 0;
        }
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace

namespace SevenZipListing {

quint32 parseModeText(QByteArrayView text)
{
    if (text.size() != 10)
        return 0;
    quint32 mode = 0;
    switch (text.at(0)) {
    case '-': mode = S_IFREG; break;
    case 'd': mode = S_IFDIR; break;
    case 'l': mode = S_IFLNK; break;
    case 'c': mode = S_IFCHR; break;
    case 'b': mode = S_IFBLK; break;
    case 'p': mode = S_IFIFO; break;
    case 's': mode = S_IFSOCK; break;
    default: return 0;
    }
    static const quint32 special[3] = {S_ISUID, S_ISGID, S_ISVTX};
    for (int who = 0; who < 3; ++who) {
        const int shift = 6 - 3 * who;
        const char r = text.at(1 + 3 * who);
        const char w = text.at(2 + 3 * who);
        const char x = text.at(3 + 3 * who);
        const char setChar = who == 2 ? 't' : 's';
        if (r == 'r')
            mode |= 4u << shift;
        else if (r != '-')
            return 0;
        if (w == 'w')
            mode |= 2u << shift;
        else if (w != '-')
            return 0;
        if (x == 'x')
            mode |= 1u << shift;
        else if (x == setChar)
            mode |= (1u << shift) | special[who];
        else if (x == setChar - 'a' + 'A')
            mode |= special[who];
        else if (x != '-')
            return 0;
    }
    return mode;
}

bool parseTime(QByteArrayView text, qint64* seconds, int* nanoseconds)
{
    // YYYY-MM-DD HH:MM:SS, then an optional fraction of up to nine digits.
    if (text.size() < 19 || text.at(4) != '-' || text.at(7) != '-' || text.at(10) != ' ' || text.at(13) != ':'
        || text.at(16) != ':')
        return false;
    int year, month, day, hour, minute, second;
    if (!digits(text, 0, 4, &year) || !digits(text, 5, 2, &month) || !digits(text, 8, 2, &day)
        || !digits(text, 11, 2, &hour) || !digits(text, 14, 2, &minute) || !digits(text, 17, 2, &second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    int nano = 0;
    if (text.size() > 19) {
        const qsizetype count = text.size() - 20;
        if (text.at(19) != '.' || count < 1 || count > 9 || !digits(text, 20, count, &nano))
            return false;
        for (qsizetype i = count; i < 9; ++i)
            nano *= 10;
    }
    *seconds = daysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
    *nanoseconds = nano;
    return true;
}

QStringList components(const QString& storedName)
{
    // Only "/" separates: 7zz lists names with it on this system, where a backslash is part
    // of a name and never a separator.
    return storedName.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QString decodeName(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            name.append(QChar(char16_t(c)));
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07, least = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            name.append(QChar(char16_t(0xDC00 | c)));
            ++i;
        } else if (code >= 0x10000) {
            name.append(QChar(QChar::highSurrogate(code)));
            name.append(QChar(QChar::lowSurrogate(code)));
            i += length;
        } else {
            name.append(QChar(char16_t(code)));
            i += length;
        }
    }
    return name;
}

QByteArray encodeName(const QString& name)
{
    const auto escaped = [](char16_t u) { return u >= 0xDC80 && u <= 0xDCFF; };
    const qsizetype n = name.size();
    QByteArray bytes;
    bytes.reserve(n);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = name.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if (escaped(u)) {
            bytes += QStringView(name).sliced(runStart, i - runStart).toUtf8();
            bytes += char(u & 0xFF);
            runStart = i + 1;
        }
    }
    bytes += QStringView(name).sliced(runStart).toUtf8();
    return bytes;
}

QList<LzmaSDKObjCItem> parse(const QByteArray& output)
{
    QList<LzmaSDKObjCItem> items;
    static const QByteArray marker("\n----------\n");
    const qsizetype begin = output.indexOf(marker);
    if (begin < 0)
        return items;
    LzmaSDKObjCItem item;
    bool hasPath = false;
    auto flush = [&] {
        if (hasPath)
            items.append(std::move(item));
        item = LzmaSDKObjCItem();
        hasPath = false;
    };
    const char* data = output.constData();
    const qsizetype end = output.size();
    qsizetype pos = begin + marker.size();
    while (pos <= end) {
        const void* found = pos < end ? std::memchr(data + pos, '\n', size_t(end - pos)) : nullptr;
        const qsizetype lineEnd = found ? static_cast<const char*>(found) - data : end;
        const QByteArrayView line(data + pos, lineEnd - pos);
        pos = lineEnd + 1;
        if (line.isEmpty()) {
            flush();
            continue;
        }
        const qsizetype eq = line.indexOf(QByteArrayView(" ="));
        if (eq <= 0)
            continue;
        const QByteArrayView key = line.first(eq);
        const QByteArrayView value = line.size() >= eq + 3 ? line.sliced(eq + 3) : QByteArrayView();
        bool ok = false;
        if (key == "Path") {
            item.path = decodeName(value);
            hasPath = true;
        } else if (key == "Folder") {
            item.isDirectory = item.isDirectory || value == "+";
        } else if (key == "Size") {
            item.size = toInteger(value, &ok);
        } else if (key == "CRC") {
            const quint32 crc = QByteArray(value.data(), value.size()).toUInt(&ok, 16);
            if (ok && !value.isEmpty())
                item.crc = crc;
        } else if (key == "Modified") {
            if (!parseTime(value, &item.modifiedSeconds, &item.modifiedNanoseconds)) {
                item.modifiedSeconds = 0;
                item.modifiedNanoseconds = -1;
            }
        } else if (key == "Attributes") {
            qsizetype i = 0;
            bool first = true;
            while (i < value.size()) {
                while (i < value.size() && value.at(i) == ' ')
                    ++i;
                qsizetype j = i;
                while (j < value.size() && value.at(j) != ' ')
                    ++j;
                const QByteArrayView part = value.sliced(i, j - i);
                if (first && part.contains('D'))
                    item.isDirectory = true;
                first = false;
                if (const quint32 mode = parseModeText(part)) {
                    item.unixMode = mode;
                    if (S_ISLNK(mode))
                        item.isSymlink = true;
                    if (S_ISDIR(mode))
                        item.isDirectory = true;
                }
                i = j;
            }
        }
    }
    flush();
    return items;
}

} // namespace SevenZipListing

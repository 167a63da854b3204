#include "FakeCloudTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

QString FakeCloudTree::add(FakeCloudEntry e)
{
    e.id = QStringLiteral("e%1").arg(nextId_++);
    if (!e.modified.isValid())
        e.modified = QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    const QString id = e.id;
    entries_.insert(id, std::move(e));
    return id;
}

QString FakeCloudTree::addFolder(const QString& parentId, const QString& name)
{
    FakeCloudEntry e;
    e.name = name;
    e.parentId = parentId;
    e.folder = true;
    return add(std::move(e));
}

QString FakeCloudTree::addFile(const QString& parentId, const QString& name, const QByteArray& content,
                               const QDateTime& modified)
{
    FakeCloudEntry e;
    e.name = name;
    e.parentId = parentId;
    e.content = content;
    e.modified = modified;
    return add(std::move(e));
}

void FakeCloudTree::loadFromDisk(const QString& folder)
{
    loadFolder(folder, QString());
}

void FakeCloudTree::loadFolder(const QString& diskFolder, const QString& parentId)
{
    const QFileInfoList list = QDir(diskFolder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    for (const QFileInfo& info : list) {
        if (info.isDir()) {
            loadFolder(info.filePath(), addFolder(parentId, info.fileName()));
        } else if (info.isFile()) {
            QFile file(info.filePath());
            if (file.open(QIODevice::ReadOnly))
                addFile(parentId, info.fileName(), file.readAll(), info.lastModified().toUTC());
        }
    }
}

QList<FakeCloudEntry> FakeCloudTree::children(const QString& parentId) const
{
    QList<FakeCloudEntry> out;
    for (const FakeCloudEntry& e : entries_)
        if (e.parentId == parentId)
            out.append(e);
    std::sort(out.begin(), out.end(), [](const FakeCloudEntry& a, const FakeCloudEntry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return out;
}

std::optional<FakeCloudEntry> FakeCloudTree::entry(const QString& id) const
{
    const auto it = entries_.constFind(id);
    if (it == entries_.constEnd())
        return std::nullopt;
    return *it;
}

QString FakeCloudTree::pathOf(const QString& id) const
{
    QString path;
    QString current = id;
    for (int guard = 0; !current.isEmpty() && guard < 1000; ++guard) {
        const auto it = entries_.constFind(current);
        if (it == entries_.constEnd())
            return {};
        path.prepend(QLatin1Char('/') + it->name);
        current = it->parentId;
    }
    return path;
}

std::optional<FakeCloudEntry> FakeCloudTree::entryAtPath(const QString& path) const
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    QString parentId;
    std::optional<FakeCloudEntry> found;
    for (const QString& part : parts) {
        found.reset();
        for (const FakeCloudEntry& e : entries_) {
            if (e.parentId == parentId && e.name.compare(part, Qt::CaseInsensitive) == 0) {
                found = e;
                break;
            }
        }
        if (!found)
            return std::nullopt;
        parentId = found->id;
    }
    return found;
}

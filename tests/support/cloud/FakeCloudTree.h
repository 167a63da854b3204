#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

struct FakeCloudEntry {
    QString id;
    QString name;
    QString parentId; // "" = root
    bool folder = false;
    QByteArray content;
    QDateTime modified;
};

// A scripted folder tree that the services' stand-in routes serve. Ids are the tree's own
// ("e1", "e2", ...); each service's routes present them in that service's form.
class FakeCloudTree {
public:
    QString addFolder(const QString& parentId, const QString& name); // returns id
    QString addFile(const QString& parentId, const QString& name, const QByteArray& content,
                    const QDateTime& modified = {});
    // Adds the folders and files below `folder` to the root (links are skipped).
    void loadFromDisk(const QString& folder);

    QList<FakeCloudEntry> children(const QString& parentId) const; // sorted by name
    std::optional<FakeCloudEntry> entry(const QString& id) const;
    QString pathOf(const QString& id) const; // "/a/b/c.txt"; "" for the root
    // Case-insensitive, as the services match paths; "" and "/" are the root, which is no entry.
    std::optional<FakeCloudEntry> entryAtPath(const QString& path) const;

private:
    QString add(FakeCloudEntry e);
    void loadFolder(const QString& diskFolder, const QString& parentId);

    QMap<QString, FakeCloudEntry> entries_;
    int nextId_ = 1;
};

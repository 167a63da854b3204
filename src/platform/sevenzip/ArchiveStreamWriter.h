#pragma once

#include "LzmaSDKObjCItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Writes the items of one "7zz x -so" pass: 7zz puts the data of every file and link item
// on its output in archive order, which is cut here by the listed sizes and checked against
// the listed CRCs. Files get their stored modes and times as they are closed and runs of
// zeros become holes; links are made with exactly their stored text. Folders are made as
// needed and left writable: their stored attributes are handed back, to be set once
// whatever goes into them is in place.
class ArchiveStreamWriter {
public:
    struct Target {
        int base = -1;          // index into the bases; -1 reads past the item
        QByteArray relative;    // its path below that base, "/"-separated
    };
    struct Folder {
        int base = -1;
        QByteArray relative;
        quint32 mode = 0;       // 0: none stored
        qint64 modifiedSeconds = 0;
        int modifiedNanoseconds = -1;
    };

    // `bases` are existing folders; `targets` go beside `items`, in archive order.
    ArchiveStreamWriter(const QStringList& bases, const QList<LzmaSDKObjCItem>& items, QList<Target> targets);
    ~ArchiveStreamWriter();
    ArchiveStreamWriter(const ArchiveStreamWriter&) = delete;
    ArchiveStreamWriter& operator=(const ArchiveStreamWriter&) = delete;

    bool open(QString* error);
    // Takes the next piece of 7zz's output; false once something failed (see error()).
    bool write(const char* data, qsizetype size);
    // The output ended: every item must be complete.
    bool finish();

    QString error() const { return m_error; }
    qint64 totalBytes() const { return m_total; }
    qint64 bytesDone() const { return m_done; }
    const std::vector<Folder>& folders() const { return m_folders; }

private:
    bool startNextItems();
    bool beginItem();
    bool endItem();
    bool writeFileData(const char* data, qsizetype size);
    bool flushBuffer();
    bool makeFolder(int base, const QByteArray& relative);
    bool makeParents(int base, const QByteArray& relative);
    bool makeLink(int base, const QByteArray& relative, const QByteArray& text);
    bool fail(const QString& message);
    QString shown(const Target& target) const;

    QStringList m_bases;
    std::vector<int> m_baseFds;
    const QList<LzmaSDKObjCItem>& m_items;
    QList<Target> m_targets;
    std::vector<Folder> m_folders;
    qsizetype m_next = 0;        // the next item to begin
    qsizetype m_current = -1;    // the item whose data comes now
    qint64 m_remaining = 0;
    quint32 m_crc = 0;
    int m_fd = -1;
    QByteArray m_linkText;
    std::unique_ptr<char[]> m_buffer;  // a file's data, cut at the hole grain
    qsizetype m_buffered = 0;
    qint64 m_fileOffset = 0;     // where m_buffer starts in the file
    bool m_endsInHole = false;
    qint64 m_total = 0;
    qint64 m_done = 0;
    QString m_error;
};

#pragma once

#include <QString>

// The local copy of the update feed, "appcast.xml" in the application-data folder.
// Written whole and atomically: after a failed write the file on disk is the old one, and
// the caller is told so it does not hand that stale copy on.
class AppcastFile {
public:
    static constexpr const char* FileName = "appcast.xml";

    // `directory` empty: no application-data folder, so every write fails.
    explicit AppcastFile(QString directory = defaultDirectory());

    static QString defaultDirectory();
    QString directory() const { return directory_; }
    QString path() const;

    bool write(const QString& appcast, QString* error = nullptr) const;

private:
    QString directory_;
};

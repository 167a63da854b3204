#pragma once

#include <QSet>
#include <QString>

// Keeps one listing from running forever: a page token (cursor, next-page address) that came
// before would only repeat pages already had, and no folder has more pages than the cap.
class CloudPageGuard {
public:
    // Generous: a thousand-entry page from each of these is millions of entries in one folder.
    static constexpr int DefaultMaxPages = 5000;

    explicit CloudPageGuard(int maxPages = DefaultMaxPages)
        : maxPages_(maxPages)
    {
    }

    // Whether the page behind `token` may be fetched; the first page needs no call.
    bool admit(const QString& token);
    // Why admit() said no, for the log.
    QString refusal() const { return refusal_; }

private:
    int maxPages_;
    int pages_ = 1;
    QSet<QString> seen_;
    QString refusal_;
};

#pragma once

#include <QString>

// How a Restore page row reaches its page, by the task name the row shows.
class RestoreCellDelegate {
public:
    virtual ~RestoreCellDelegate() = default;
    virtual void restoreRow(const QString& taskName) = 0;
    virtual void moreInfoRow(const QString& taskName) = 0;
};

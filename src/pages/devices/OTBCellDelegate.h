#pragma once

#include <QString>

// How a One-Touch Backup row reaches its page.
class OTBCellDelegate {
public:
    virtual ~OTBCellDelegate() = default;
    // Opens the details of the named task's row, closing any other; an empty name closes all.
    virtual void expandTaskRow(const QString& taskName) = 0;
};

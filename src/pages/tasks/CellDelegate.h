#pragma once

#include <QString>

class MyCell;

// How a Backup page row reaches its page. Rows name their task; the page finds it again
// by that name, so a row drawn before the list changed never acts on another task.
class CellDelegate {
public:
    virtual ~CellDelegate() = default;
    virtual void backupRow(MyCell* cell) = 0;
    virtual void modifyRow(MyCell* cell) = 0;
    virtual void deleteRow(MyCell* cell) = 0;
    // Opens the fold-out of the named task (an empty name closes every fold-out).
    virtual void openMoreInfo(const QString& taskName) = 0;
    virtual void closeMoreInfo() = 0;
};

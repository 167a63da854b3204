#pragma once

#include <QString>
#include <QStringList>

// Runs a program with an argument vector, never through a shell, and waits for it.
// Tests record the vectors instead of running anything.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // The exit code, or -1 when the program did not start or did not exit normally.
    virtual int run(const QString& program, const QStringList& arguments) = 0;
};

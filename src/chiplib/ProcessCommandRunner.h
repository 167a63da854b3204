#pragma once

#include "CommandRunner.h"

// CommandRunner over QProcess: waits for that one process, so other children of the
// application are left alone.
class ProcessCommandRunner : public CommandRunner {
public:
    int run(const QString& program, const QStringList& arguments) override;
};

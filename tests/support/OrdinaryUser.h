#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

// What a person without special rights meets: where the tests run as root (as CI does),
// permissions never apply, so programs run as uid and gid 65534 instead.
namespace OrdinaryUser {
bool testsRunAsRoot();
uid_t uid();   // 65534 under root, else our own
gid_t gid();
// Makes `path` (and everything below it) the ordinary user's; nothing to do when not root.
void own(const QString& path);

struct Run {
    int exitCode = -1;   // -1: did not start or did not exit normally
    QByteArray output;   // standard output and error
};
// Runs `program` as the ordinary user with HOME set to `home`, feeding `input`.
Run run(const QString& program, const QStringList& arguments, const QString& home, const QByteArray& input = {});
// Runs `body` in a forked child as the ordinary user and returns what it returns (-1 when the
// child could not become that user or did not exit normally). Only for plain file work:
// threads of this process do not exist in the child.
int runInChild(const std::function<int()>& body);
}

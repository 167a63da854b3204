#include "OrdinaryUser.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace OrdinaryUser {

bool testsRunAsRoot() { return ::geteuid() == 0; }
uid_t uid() { return testsRunAsRoot() ? 65534 : ::getuid(); }
gid_t gid() { return testsRunAsRoot() ? 65534 : ::getgid(); }

void own(const QString& path)
{
    if (testsRunAsRoot())
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-hR"), QStringLiteral("65534:65534"), path});
}

Run run(const QString& program, const QStringList& arguments, const QString& home, const QByteArray& input)
{
    // Everything the child needs is made before the fork: after it only system calls.
    std::vector<std::string> argStrings{QFile::encodeName(program).toStdString()};
    for (const QString& a : arguments)
        argStrings.push_back(QFile::encodeName(a).toStdString());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "HOME=", 5) != 0 && std::strncmp(*e, "XDG_", 4) != 0)
            envStrings.emplace_back(*e);
    }
    envStrings.push_back("HOME=" + QFile::encodeName(home).toStdString());
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return {};
    const bool root = testsRunAsRoot();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    Run result;
    if (child < 0) {
        ::close(in[1]);
        ::close(out[0]);
        return result;
    }
    if (!input.isEmpty() && ::write(in[1], input.constData(), size_t(input.size())) < 0)
        result.output += "(input not written)\n";
    ::close(in[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            result.output.append(buffer, n);
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

int runInChild(const std::function<int()>& body)
{
    const bool root = testsRunAsRoot();
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace OrdinaryUser

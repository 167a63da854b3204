#include "CrashHandler.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {
constexpr int kSignals[] = { SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL };
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Everything the handler touches is prepared beforehand: no allocation once a signal arrives.
char g_directory[4096];
size_t g_directoryLength = 0;
struct sigaction g_previous[kSignalCount];
bool g_installed = false;
volatile sig_atomic_t g_handling = 0;
// A stack of its own, so a stack overflow can still be reported.
alignas(16) char g_altStack[64 * 1024];

void put(int fd, const char* text, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= size_t(n);
    }
}

void put(int fd, const char* text)
{
    put(fd, text, std::strlen(text));
}

// Decimal digits of `value` into `out` (at least 21 bytes); returns the length.
size_t formatNumber(unsigned long long value, char* out)
{
    char digits[21];
    size_t n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < n; ++i)
        out[i] = digits[n - 1 - i];
    out[n] = '\0';
    return n;
}

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    default: return "unknown";
    }
}

void writeReport(int sig)
{
    char number[24];
    char pid[24];
    char path[sizeof(g_directory) + 64];
    std::memcpy(path, g_directory, g_directoryLength);
    size_t at = g_directoryLength;
    const char prefix[] = "/crash-";
    std::memcpy(path + at, prefix, sizeof(prefix) - 1);
    at += sizeof(prefix) - 1;
    at += formatNumber((unsigned long long)::time(nullptr), path + at);
    path[at++] = '-';
    const size_t pidLength = formatNumber((unsigned long long)::getpid(), pid);
    std::memcpy(path + at, pid, pidLength);
    at += pidLength;
    std::memcpy(path + at, ".txt", 5);

    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    put(fd, "Zorvi " ZORVI_VERSION " crash report\nsignal: ");
    put(fd, number, formatNumber((unsigned long long)sig, number));
    put(fd, " (");
    put(fd, signalName(sig));
    put(fd, ")\npid: ");
    put(fd, pid, pidLength);
    put(fd, "\nbacktrace:\n");
    void* frames[64];
    const int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, fd);
    ::fsync(fd);
    ::close(fd);
}

void onFatalSignal(int sig)
{
    // A second fault while reporting goes straight to the default action.
    if (g_handling == 0) {
        g_handling = 1;
        writeReport(sig);
    }
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}
} // namespace

bool CrashHandler::install(const QString& directory)
{
    if (directory.isEmpty() || !QDir().mkpath(directory))
        return false;
    const QByteArray encoded = QFile::encodeName(QDir(directory).absolutePath());
    if (size_t(encoded.size()) >= sizeof(g_directory))
        return false;

    // backtrace() loads its unwinder on first use, which allocates: do that now, not in the handler.
    void* warm[4];
    ::backtrace(warm, 4);

    std::memcpy(g_directory, encoded.constData(), size_t(encoded.size()));
    g_directory[encoded.size()] = '\0';
    g_directoryLength = size_t(encoded.size());
    if (g_installed)
        return true;

    stack_t stack;
    std::memset(&stack, 0, sizeof(stack));
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof(g_altStack);
    ::sigaltstack(&stack, nullptr);

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    for (int i = 0; i < kSignalCount; ++i) {
        if (::sigaction(kSignals[i], &action, &g_previous[i]) != 0) {
            for (int j = 0; j < i; ++j)
                ::sigaction(kSignals[j], &g_previous[j], nullptr);
            return false;
        }
    }
    g_installed = true;
    return true;
}

void CrashHandler::uninstall()
{
    if (!g_installed)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_installed = false;
}

bool CrashHandler::isInstalled()
{
    return g_installed;
}

QString CrashHandler::directory()
{
    return g_installed ? QFile::decodeName(QByteArray(g_directory, qsizetype(g_directoryLength))) : QString();
}

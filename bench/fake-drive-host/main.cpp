// Runs a program against a constructed /sys (umockdev) and plays the fake drive's USB
// bridge: its one-touch button reads "released" until the host gets SIGUSR1, then
// "pressed" for a moment, as a finger on a real button would.
//
//   zorvi-fake-drive-host DEVICES_FILE USBFS_NODE PID_FILE -- PROGRAM [ARGS...]
#include "UsbfsControlResponder.h"

#include <umockdev.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr long long kPressNs = 1500LL * 1000 * 1000;
std::atomic<long long> pressedUntil { 0 };

long long nowNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

void onPress(int)
{
    pressedUntil.store(nowNs() + kPressNs);
}

int statusReply(const unsigned char setup[8], unsigned char* data, int length)
{
    // GET_DESCRIPTOR of string 0xFF: the chip's button state.
    if (setup[0] != 0x80 || setup[1] != 6 || setup[2] != 0xFF || setup[3] != 0x03 || length < 2)
        return 0;
    const unsigned char state = nowNs() < pressedUntil.load() ? 0xAA : 0x55;
    data[0] = data[1] = state;
    return std::min(length, 4);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
        std::fprintf(stderr, "usage: %s DEVICES_FILE USBFS_NODE PID_FILE -- PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const char* devices = argv[1];
    const char* node = argv[2];
    const std::string pidFile = argv[3];

    UMockdevTestbed* testbed = umockdev_testbed_new();
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_file(testbed, devices, &error)) {
        std::fprintf(stderr, "fake drive: cannot read %s: %s\n", devices, error ? error->message : "unknown error");
        return 1;
    }
    UsbfsControlResponder bridge(statusReply);
    if (!bridge.attach(testbed, node)) {
        std::fprintf(stderr, "fake drive: cannot play the USB device %s\n", node);
        return 1;
    }

    struct sigaction press {};
    press.sa_handler = onPress;
    sigemptyset(&press.sa_mask);
    press.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &press, nullptr);
    // Ctrl-C reaches the program through the terminal; the host waits for it to end.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);

    if (FILE* f = std::fopen(pidFile.c_str(), "w")) {
        std::fprintf(f, "%d\n", int(getpid()));
        std::fclose(f);
    }

    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::string preload = "libumockdev-preload.so.0";
        if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
            preload += std::string(":") + old;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        execvp(argv[5], argv + 5);
        std::fprintf(stderr, "fake drive: cannot start %s: %s\n", argv[5], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    int result = 1;
    if (child > 0) {
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    unlink(pidFile.c_str());
    bridge.detach(testbed, node);
    g_object_unref(testbed);
    return result;
}

#pragma once

#include <QString>

#include <thread>

// Keeps flushing the file system of a folder while a copy writes there, so the disk works
// alongside the copy and the final flush before a commit finds little left to do. Stops,
// and waits for a flush in progress, when destroyed.
class BackgroundFlush {
public:
    explicit BackgroundFlush(const QString& folder);
    ~BackgroundFlush();
    BackgroundFlush(const BackgroundFlush&) = delete;
    BackgroundFlush& operator=(const BackgroundFlush&) = delete;

private:
    std::jthread m_thread;
};

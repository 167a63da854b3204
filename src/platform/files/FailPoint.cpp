#include "FailPoint.h"

#include <mutex>

namespace {
std::mutex g_mutex;
std::function<void(std::string_view)> g_handler;
}

void FailPoint::setHandler(std::function<void(std::string_view point)> handler)
{
    std::lock_guard lock(g_mutex);
    g_handler = std::move(handler);
}

void FailPoint::hit(std::string_view point)
{
    std::function<void(std::string_view)> handler;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
    }
    if (handler)
        handler(point);
}

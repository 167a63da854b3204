#pragma once

#include <functional>
#include <string_view>

// Named points in the middle of multi-step disk updates. Tests install a handler to kill the
// process or raise a flag exactly there; production code never installs one.
namespace FailPoint {
void setHandler(std::function<void(std::string_view point)> handler);
void hit(std::string_view point);
}

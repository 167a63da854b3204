#pragma once

#include <string>

// Byte paths taken apart and put together the way the copy and removal walks need them.
namespace PathParts {
// `parent` "/" `name`, with one slash between them.
std::string child(const std::string& parent, const char* name);
// The folder and the last name of `path` (trailing slashes ignored); "." for a bare name.
void split(const std::string& path, std::string* parent, std::string* name);
}

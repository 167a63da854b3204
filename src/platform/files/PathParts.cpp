#include "PathParts.h"

namespace PathParts {

std::string child(const std::string& parent, const char* name)
{
    std::string path = parent;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

void split(const std::string& path, std::string* parent, std::string* name)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos) {
        parent->assign(1, '.');
        name->swap(p);
    } else {
        *name = p.substr(slash + 1);
        p.resize(slash == 0 ? 1 : slash);
        parent->swap(p);
    }
}

}

#include "CloudPageGuard.h"

bool CloudPageGuard::admit(const QString& token)
{
    if (seen_.contains(token)) {
        refusal_ = QStringLiteral("the service named a page it had already given; the listing stops there");
        return false;
    }
    if (pages_ >= maxPages_) {
        refusal_ = QStringLiteral("the listing has more than %1 pages; it stops there").arg(maxPages_);
        return false;
    }
    seen_.insert(token);
    ++pages_;
    return true;
}

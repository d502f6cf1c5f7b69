#include "search/WalkReport.h"

namespace tavolix::search {

std::int64_t UnreadCount(const TWalkStats& s, TUnreadCause cause) {
    switch (cause) {
    case TUnreadCause::Denied:
        return s.Denied;
    case TUnreadCause::NoDescriptors:
        return s.NoDescriptors;
    case TUnreadCause::NotAnswering:
        return s.NotAnswering;
    case TUnreadCause::Error:
        return s.Failed;
    }
    return 0;
}

} // namespace tavolix::search

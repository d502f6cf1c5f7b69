#pragma once

#include "search/DirWalker.h"

#include <cstdint>

namespace tavolix::search {

// A walk's counts as they are told: the result window and tavolix-page put
// them in words of their own.

// The causes of folders not read in full, in the order they are told.
inline constexpr TUnreadCause kUnreadCauses[] = {TUnreadCause::Denied, TUnreadCause::NotAnswering,
                                                 TUnreadCause::Error, TUnreadCause::NoDescriptors};

// How many folders were not read in full for `cause`.
std::int64_t UnreadCount(const TWalkStats& stats, TUnreadCause cause);

} // namespace tavolix::search

#include "platform/LocaleFormats.h"

#include <cstring>
#include <langinfo.h>

namespace tavolix::platform {

namespace {

// The text between the first two conversions of a strftime format ("%y/%m/%d" -> "/").
std::string SeparatorOf(const char* fmt) {
    if (!fmt)
        return {};
    const char* p = std::strchr(fmt, '%');
    if (!p || !p[1])
        return {};
    p += 2;
    const char* q = std::strchr(p, '%');
    if (!q || q == p)
        return {};
    return std::string(p, q);
}

} // namespace

TLocaleFormats SystemLocaleFormats() {
    TLocaleFormats f;
    std::string date = SeparatorOf(nl_langinfo(D_FMT));
    std::string time = SeparatorOf(nl_langinfo(T_FMT));
    const char* thousands = nl_langinfo(THOUSEP);
    if (!date.empty())
        f.DateSeparator = date;
    if (!time.empty())
        f.TimeSeparator = time;
    if (thousands && *thousands)
        f.ThousandSeparator = thousands;
    return f;
}

} // namespace tavolix::platform

#include "platform/DateTimeText.h"

#include "platform/LocaleFormats.h"

#include <clocale>
#include <vector>

namespace tavolix::platform {

namespace {

std::string TimeLocale() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    return IcuLocaleOf(name ? name : "");
}

// The format without %Z / %z, blanks around the gap folded to one, trimmed.
std::string WithoutZone(std::string_view fmt) {
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size()) {
            if (fmt[i + 1] == 'Z' || fmt[i + 1] == 'z') {
                ++i;
                continue;
            }
            out += fmt[i];
            out += fmt[++i];
            continue;
        }
        if (fmt[i] == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out += fmt[i];
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(0, 1);
    return out;
}

std::string Format(const std::tm& when, const std::string& fmt) {
    if (fmt.empty())
        return {};
    // strftime gives 0 both for "too small" and for an empty result.
    for (std::size_t size = 64; size <= 4096; size *= 4) {
        std::vector<char> buf(size);
        std::size_t n = std::strftime(buf.data(), buf.size(), fmt.c_str(), &when);
        if (n > 0)
            return std::string(buf.data(), n);
    }
    return {};
}

} // namespace

std::string DateTimeText(const std::tm& when, std::string_view dateFormat, std::string_view timeFormat) {
    std::string text = Format(when, WithoutZone(dateFormat));
    if (when.tm_hour == 0 && when.tm_min == 0 && when.tm_sec == 0)
        return text;
    std::string time = Format(when, WithoutZone(timeFormat));
    return time.empty() ? text : text + " " + time;
}

std::string LocaleDateFormat() {
    const std::string f = PatternToStrftime(ShortDatePattern(TimeLocale()));
    return f.empty() ? "%Y/%m/%d" : f;
}

std::string LocaleTimeFormat() {
    const std::string f = PatternToStrftime(MediumTimePattern(TimeLocale()));
    return f.empty() ? "%H:%M:%S" : f;
}

std::string LocalDateTimeText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return DateTimeText(local, LocaleDateFormat(), LocaleTimeFormat());
}

} // namespace tavolix::platform

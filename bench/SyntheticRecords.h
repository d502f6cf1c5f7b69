#pragma once

// Records as a walk leaves them, for the benchmarks: directories of about
// nine files with made-up names, sizes and times.
#include "search/FileInfo.h"

#include <random>
#include <string>

namespace tavolix::bench {

inline std::string RandomName(std::mt19937_64& rng) {
    static const char* kSyl[] = {"ka", "To", "ri",  "mo", "NA", "shi", "ze",
                                 "pu", "lo", "van", "ix", "ed", "_",   "0"};
    static const char* kExt[] = {".gif", ".jpg", ".png", ".txt", ".html", ".c", ".h", "", ".JPEG", ".tar.gz"};
    std::string s;
    for (int i = 1 + static_cast<int>(rng() % 5); i > 0; --i)
        s += kSyl[rng() % 14];
    s += std::to_string(rng() % 1000);
    return s + kExt[rng() % 10];
}

// Adds n records; every fiftieth is hidden when `someHidden`.
inline void AddSyntheticRecords(search::TFileInfoList& list, std::size_t n, std::uint64_t seed,
                                bool someHidden = false) {
    std::mt19937_64 rng(seed);
    const std::string* dir = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 9 == 0)
            dir = list.ShareDir("/home/user/data/" + RandomName(rng) + "/" + std::to_string(i / 9) + "/");
        list.AddFile(dir, RandomName(rng), static_cast<std::int64_t>(rng() % 5000000),
                     static_cast<std::int32_t>(0x20000000 + rng() % 0x1FFFFFFF),
                     someHidden && rng() % 50 == 0 ? tavolix::platform::faHidden : 0u);
    }
}

} // namespace tavolix::bench

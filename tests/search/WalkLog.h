#pragma once

#include "search/DirWalker.h"
#include "search/FileInfo.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavolix::search {

// Every call of a walk, fed into a list as its own walk feeds it.
struct TWalkLog final : TWalkVisitor {
    explicit TWalkLog(TFileInfoList& list) : List(list) {}

    TFileInfoList& List;
    std::size_t StopAfter = 0; // entries; 0: never
    std::size_t Entered = 0;
    // "DIR/NAME #files so far" for each entry, "left" after each one walked or tried.
    std::vector<std::string> Calls;
    std::vector<std::string> WalkOrder; // the records' paths as the walk finds them

    void DirectoryRead(const std::string& dir, const platform::TDirContents& contents) override {
        List.AddDirectory(dir, contents);
        for (std::size_t i = 0; i < contents.FileCount(); ++i)
            WalkOrder.push_back(dir + std::string(contents.FileName(i)));
    }
    void EnteringDirectory(const std::string& dir, std::string_view name) override {
        ++Entered;
        Calls.push_back(dir + std::string(name) + " #" + std::to_string(List.FFileCount));
    }
    void LeftDirectory() override { Calls.push_back("left"); }
    bool StopRequested() override { return StopAfter != 0 && Entered >= StopAfter; }

    // Walks `base` with the list's mask, threads, descriptor limit and
    // choices; the list ends sorted, with the walk's counts.
    void Walk(const std::string& base) {
        const platform::TWildcard mask(List.FileMask());
        TDirWalker walker(mask, List.WalkThreads());
        walker.SetOpenDirectoryLimit(List.OpenDirectoryLimit());
        walker.SetOptions(List.WalkOptions());
        List.BeginSearch();
        List.FinishSearch(walker.Walk(base, *this));
    }
};

} // namespace tavolix::search

#pragma once

#include "search/FieldText.h"
#include "search/FileInfo.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace tavolix::search {

// The shown side of one search: which records get an item and in which
// order, and the texts the result window reads. The list box widget is a
// view over this; the command-line tool uses it directly.
// Items refer to the records; nothing is copied.
class TFileItemList {
public:
    TFileItemList();

    TFileInfoList& Files() { return FFileInfoList; }
    const TFileInfoList& Files() const { return FFileInfoList; }

    TSortOrder SortOrder() const { return FFileInfoList.SortOrder(); }
    void SetSortOrder(TSortOrder value);
    // As SetSortOrder, the sort made on a thread of its own: the items keep
    // their order until TakeSort finds it done. A sort already under way is
    // dropped.
    void SortLater(TSortOrder value);
    bool Sorting() const { return FFileInfoList.SortStarted(); }
    // The order asked for last: that of a sort under way, else SortOrder().
    TSortOrder WantedSortOrder() const { return FFileInfoList.WantedSortOrder(); }
    // A sort that is done takes effect, as a refill; false (nothing done)
    // while it still runs or when none does. `wait` waits for it.
    bool TakeSort(bool wait = false);
    TSortDirection SortDirection() const { return FSortDirection; }
    void SetSortDirection(TSortDirection value);
    const std::string& Mask() const { return FFileInfoList.FileMask(); }
    void SetMask(std::string_view value);
    bool ShowHiddenSysFile() const { return FShowHiddenSysFile; }
    void SetShowHiddenSysFile(bool value);
    bool SeparateExt() const { return FSeparateExt; }
    void SetSeparateExt(bool value);
    // Stores the direction without a refill (construction does this).
    void StoreSortDirection(TSortDirection value) { FSortDirection = value; }

    void SetFormats(const TLocaleFormats& f) { FFormats = f; }
    const TLocaleFormats& Formats() const { return FFormats; }
    void SetScreenDateForm(const platform::TScreenDateForm& f) { FScreenDateForm = f; }
    const platform::TScreenDateForm& ScreenDateForm() const { return FScreenDateForm; }

    // Called before the items go away and after every fill.
    std::function<void()> OnClearing;
    std::function<void()> OnChange;

    void ClearItems();
    void RefreshItems();
    void FillItems();
    // Items for the records added since the last fill, in the order they
    // came (a running walk's hits); RefreshItems applies the shown order.
    void AppendNewRecords();
    bool IsFileShown(std::uint32_t attr) const;

    // Records cleared behind the items' back are not shown.
    int Count() const {
        return static_cast<int>(FAllShown ? std::min(FShownCount, FFileInfoList.Count()) : FItems.size());
    }
    const TFileInfo* Item(int index) const {
        if (index < 0 || index >= Count())
            return nullptr;
        const auto i = static_cast<std::size_t>(index);
        if (!FAllShown)
            return FItems[i];
        return i < FReversed ? FFileInfoList.Item(FReversed - 1 - i) : FFileInfoList.Item(i);
    }

    // Texts of item `index`; -1 (or any index out of range) gives "".
    std::string GetFilePath(int index) const;
    std::string GetDir(int index) const;
    std::string GetDateText(int index) const;
    std::string GetTimeText(int index) const;
    // The date and time as the windows show them (FileDateToScreenText).
    std::string GetScreenTimeText(int index) const;
    std::string GetSizeText(int index) const;
    std::string GetAttrText(int index) const;
    // Index of the first item whose name equals the name part of `path`
    // byte for byte, or -1.
    int FindFileName(std::string_view path) const;

    std::int32_t GetFileCount() const { return FFileInfoList.FFileCount; }
    std::int64_t GetTotalSize() const { return FFileInfoList.FTotalSize; }
    void AdjustFileCount(std::int64_t delta);
    void AdjustTotalSize(std::int64_t delta);
    const char* GetSortOrderName() const;
    const char* GetSortDirectionName() const;

private:
    TFileInfoList FFileInfoList;
    // Every record shown (no hidden ones left out): the items are the
    // records themselves, the first FReversed of them the other way round,
    // and FItems stays empty. Else FItems holds the shown ones.
    bool FAllShown = false;
    std::size_t FShownCount = 0;
    std::size_t FReversed = 0;
    std::vector<const TFileInfo*> FItems;
    std::size_t FRecordsShown = 0; // records that the items have looked at
    TSortDirection FSortDirection = TSortDirection::sdUpword;
    bool FShowHiddenSysFile = true;
    bool FSeparateExt = false;
    TLocaleFormats FFormats;
    platform::TScreenDateForm FScreenDateForm;
};

} // namespace tavolix::search

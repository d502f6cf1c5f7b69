#include "search/FileItems.h"

#include "search/FileSort.h"

namespace tavolix::search {

TFileItemList::TFileItemList() = default;

void TFileItemList::SetSortOrder(TSortOrder value) {
    if (value == FFileInfoList.SortOrder() && !Sorting())
        return;
    // The items may be the records themselves: they go before the records move.
    ClearItems();
    FFileInfoList.ChangeSortOrder(value);
    FillItems();
}

void TFileItemList::SortLater(TSortOrder value) {
    FFileInfoList.StartSort(value);
}

bool TFileItemList::TakeSort(bool wait) {
    if (!Sorting() || (!wait && !FFileInfoList.SortDone()))
        return false;
    ClearItems();
    FFileInfoList.ApplySort();
    FillItems();
    return true;
}

void TFileItemList::SetSortDirection(TSortDirection value) {
    if (value == FSortDirection)
        return;
    FSortDirection = value;
    RefreshItems();
}

void TFileItemList::SetMask(std::string_view value) {
    FFileInfoList.ChangeMask(value);
    RefreshItems();
}

void TFileItemList::SetShowHiddenSysFile(bool value) {
    if (value == FShowHiddenSysFile)
        return;
    FShowHiddenSysFile = value;
    RefreshItems();
}

void TFileItemList::SetSeparateExt(bool value) {
    if (value == FSeparateExt)
        return;
    FSeparateExt = value;
    RefreshItems();
}

void TFileItemList::ClearItems() {
    if (OnClearing)
        OnClearing();
    FItems.clear();
    FItems.shrink_to_fit();
    FAllShown = false;
    FShownCount = 0;
    FReversed = 0;
    FRecordsShown = 0;
}

void TFileItemList::RefreshItems() {
    ClearItems();
    FillItems();
}

void TFileItemList::FillItems() {
    const auto& records = FFileInfoList.Items();
    if (FAllShown) {
        // Filled again without a clear: the items so far are copied out, and
        // the records follow them once more.
        std::vector<const TFileInfo*> shown;
        shown.reserve(static_cast<std::size_t>(Count()) + records.size());
        for (int i = 0; i < Count(); ++i)
            shown.push_back(Item(i));
        FAllShown = false;
        FShownCount = FReversed = 0;
        FItems = std::move(shown);
    }
    if (FShowHiddenSysFile && FItems.empty()) {
        // Every record: no need to look at them (they lie all over the heap),
        // nor to copy them.
        FAllShown = true;
        FShownCount = records.size();
        FReversed = FSortDirection == TSortDirection::sdDownword ? records.size() : 0;
    } else if (FShowHiddenSysFile && FSortDirection == TSortDirection::sdDownword) {
        FItems.insert(FItems.end(), records.rbegin(), records.rend());
    } else if (FShowHiddenSysFile) {
        FItems.insert(FItems.end(), records.begin(), records.end());
    } else if (FSortDirection == TSortDirection::sdDownword) {
        for (auto it = records.rbegin(); it != records.rend(); ++it)
            if (IsFileShown((*it)->Attr))
                FItems.push_back(*it);
    } else {
        for (const TFileInfo* r : records)
            if (IsFileShown(r->Attr))
                FItems.push_back(r);
    }
    FRecordsShown = records.size();
    if (OnChange)
        OnChange();
}

void TFileItemList::AppendNewRecords() {
    const auto& records = FFileInfoList.Items();
    if (FRecordsShown >= records.size())
        return;
    if (FAllShown) {
        FShownCount = records.size();
        FRecordsShown = records.size();
        if (OnChange)
            OnChange();
        return;
    }
    for (std::size_t i = FRecordsShown; i < records.size(); ++i)
        if (IsFileShown(records[i]->Attr))
            FItems.push_back(records[i]);
    FRecordsShown = records.size();
    if (OnChange)
        OnChange();
}

bool TFileItemList::IsFileShown(std::uint32_t attr) const {
    return FShowHiddenSysFile || (attr & (platform::faHidden | platform::faSysFile)) == 0;
}

std::string TFileItemList::GetFilePath(int index) const {
    const TFileInfo* r = Item(index);
    return r ? r->Path() : std::string();
}

std::string TFileItemList::GetDir(int index) const {
    const TFileInfo* r = Item(index);
    return r ? std::string(r->Dir()) : std::string();
}

std::string TFileItemList::GetDateText(int index) const {
    const TFileInfo* r = Item(index);
    return r ? FileDateToDateText(r->Time, FFormats) : std::string();
}

std::string TFileItemList::GetTimeText(int index) const {
    const TFileInfo* r = Item(index);
    return r ? FileDateToText(r->Time, FFormats) : std::string();
}

std::string TFileItemList::GetScreenTimeText(int index) const {
    const TFileInfo* r = Item(index);
    return r ? FileDateToScreenText(r->Time, FScreenDateForm) : std::string();
}

std::string TFileItemList::GetSizeText(int index) const {
    const TFileInfo* r = Item(index);
    return r ? SizeToText(r->Size, FFormats) : std::string();
}

std::string TFileItemList::GetAttrText(int index) const {
    const TFileInfo* r = Item(index);
    return r ? AttrToText(r->Attr) : std::string();
}

int TFileItemList::FindFileName(std::string_view path) const {
    auto cut = path.find_last_of('/');
    std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    for (int i = 0; i < Count(); ++i)
        if (Item(i)->Name() == name)
            return i;
    return -1;
}

void TFileItemList::AdjustFileCount(std::int64_t delta) {
    if (delta == 0)
        return;
    std::int64_t v = FFileInfoList.FFileCount + delta;
    FFileInfoList.FFileCount = v <= 0 ? 0 : static_cast<std::int32_t>(v > INT32_MAX ? INT32_MAX : v);
}

void TFileItemList::AdjustTotalSize(std::int64_t delta) {
    if (delta == 0)
        return;
    std::int64_t v = FFileInfoList.FTotalSize + delta;
    FFileInfoList.FTotalSize = v <= 0 ? 0 : v;
}

const char* TFileItemList::GetSortOrderName() const {
    return SortOrderName(SortOrder());
}
const char* TFileItemList::GetSortDirectionName() const {
    return SortDirectionName(FSortDirection);
}

} // namespace tavolix::search

#include "search/FileItems.h"

#include "search/FileSort.h"

namespace tavolix::search {

TFileItemList::TFileItemList() = default;

void TFileItemList::SetSortOrder(TSortOrder value) {
    if (value == FFileInfoList.SortOrder())
        return;
    FFileInfoList.ChangeSortOrder(value);
    RefreshItems();
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
}

void TFileItemList::RefreshItems() {
    ClearItems();
    FillItems();
}

void TFileItemList::FillItems() {
    const auto& records = FFileInfoList.Items();
    FItems.reserve(FItems.size() + records.size());
    if (FShowHiddenSysFile) {
        // Every record: no need to look at them (they lie all over the heap).
        if (FSortDirection == TSortDirection::sdDownword)
            FItems.insert(FItems.end(), records.rbegin(), records.rend());
        else
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
    if (OnChange)
        OnChange();
}

bool TFileItemList::IsFileShown(std::uint32_t attr) const {
    return FShowHiddenSysFile || (attr & (platform::faHidden | platform::faSysFile)) == 0;
}

const TFileInfo* TFileItemList::Item(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return FItems[static_cast<std::size_t>(index)];
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
        if (FItems[static_cast<std::size_t>(i)]->Name() == name)
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

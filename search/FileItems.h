#pragma once

#include "search/FieldText.h"
#include "search/FileInfo.h"

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

    int Count() const { return static_cast<int>(FItems.size()); }
    const TFileInfo* Item(int index) const;

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
    std::vector<const TFileInfo*> FItems;
    std::size_t FRecordsShown = 0; // records that FItems has looked at
    TSortDirection FSortDirection = TSortDirection::sdUpword;
    bool FShowHiddenSysFile = true;
    bool FSeparateExt = false;
    TLocaleFormats FFormats;
    platform::TScreenDateForm FScreenDateForm;
};

} // namespace tavolix::search

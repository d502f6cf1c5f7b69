#pragma once

#include "hitview/HitColumns.h"
#include "search/FileRecord.h"

class QAction;
class QMenu;
class QWidget;

namespace tavolix::hitview {
class TFileListBoxS;
} // namespace tavolix::hitview

namespace tavolix::results {

class TDetailsView;
class TResultStatus;

// The order of a result window's hits: the order menu, the grid's header and
// the details view's, with their marks; the sort line tells the order.
class TResultOrder {
public:
    TResultOrder(QWidget& window, hitview::TFileListBoxS& list, TDetailsView& details, TResultStatus& status);

    // The order menu: folder, name, extension, size, time, and the way round;
    // the window owns it and its commands.
    QMenu* BuildMenu();

    QMenu* Sort1 = nullptr;
    QAction* SortBy1[hitview::kSortChoiceCount] = {};
    QAction* Reverse1 = nullptr;

    void HeaderControl1SectionClick(int section);
    void DetailsView1SectionClick(int section);
    // The order menu's and the details view's marks, as the list is sorted.
    void ShowSortChecks();

private:
    void SortMenuClick(search::TSortOrder order);
    void Reverse1Click();
    void SortBy(hitview::TFileListBoxS* list, search::TSortOrder order);

    QWidget& FWindow;
    hitview::TFileListBoxS& FList;
    TDetailsView& FDetails;
    TResultStatus& FStatus;
};

} // namespace tavolix::results

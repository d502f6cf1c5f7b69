#pragma once

#include <cstdint>
#include <string>

#include <QString>

class QFrame;
class QLabel;
class QLayout;
class QStatusBar;
class QToolButton;
class QWidget;

namespace tavolix::hitview {
class TFileListBoxS;
} // namespace tavolix::hitview

namespace tavolix::results {

// A result window's lines about its hits: the sort line above them (order,
// count, bytes), the status bar's panels (the hit chosen or the selection),
// and below it the walk's line (the folder being read with its Stop, the
// folders unread and those left out). Its widgets are the window's children.
class TResultStatus {
public:
    explicit TResultStatus(QWidget& window);

    // The parts, built in the window's order, top to bottom; the panels
    // tell of the hits of `list`, built between the sort line and them.
    QWidget* BuildSortPanel();
    QWidget* BuildStatusBar(hitview::TFileListBoxS& list);
    QLayout* BuildWalkLine();

    QFrame* Panel1 = nullptr;
    QLabel* PanelLabel = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanels[4] = {};
    QLabel* UnreadPanel = nullptr;
    QLabel* NotSearchedPanel = nullptr;
    QLabel* WalkPanel = nullptr;
    QToolButton* StopButton = nullptr;

    // A walk starts: no hits, no item, no unread folders yet.
    void WalkStarting();
    // The walk runs on after its start: its folder and Stop show.
    void WalkRunning();
    void ShowWalkStatus();
    // The walk has ended: the counts are its last, the walk's line goes.
    void WalkFinished();
    void ShowSortStatus();
    void ShowUnreadStatus();
    // The hit at `index` is the one chosen (its number in the panels).
    void SetItem(int index);
    void ShowItemStatus();
    void ClearItemStatus();
    // The panels show a selection of several hits.
    bool SeveralShown() const { return FSeveralShown; }
    std::int64_t HitSize() const { return FHitSize; }
    void ApplyPanelHint();
    // The status bar's panels as one line ("3 / 12 | 1,234 Bytes | ...").
    QString StatusText() const;

private:
    // The count and bytes panels take the room of their widest texts.
    void FitCountPanels();
    QString PanelLabelHint() const;

    QWidget& FWindow;
    hitview::TFileListBoxS* FList = nullptr;
    std::int32_t FHitCount = 0;
    // The total can pass 2 GiB: kept in 64 bits.
    std::int64_t FHitSize = 0;
    std::string FItemNo;
    bool FSeveralShown = false;
};

} // namespace tavolix::results

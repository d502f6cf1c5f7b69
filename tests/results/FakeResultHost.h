#pragma once

#include "results/ResultWindowHost.h"
#include "thumbs/ThumbnailPool.h"

#include <array>
#include <string>
#include <vector>

#include <QString>

// The frame as a result window sees it, recording what the window asks of it.
class TFakeHost : public tavolix::results::TResultWindowHost {
public:
    std::string Dir, Key;
    std::vector<std::string> History;
    int ShowPanelsCalls = 0, FocusTreeCalls = 0, WindowCount = 1, Help1Calls = 0;
    std::vector<bool> QuickKeys, WindowMenu;
    std::vector<int> HelpTopics;
    QString Status = QStringLiteral("untouched");
    std::vector<std::array<std::string, 6>> Registered;
    QString RegisterAnswer;
    bool Pictures = false;
    std::vector<bool> PicturesChoices;
    bool PageThumbs = false;
    std::vector<bool> PageThumbsChoices;
    bool Details = false;
    std::vector<bool> DetailsChoices;
    std::vector<int> ColumnWidths;
    std::vector<std::vector<int>> ColumnWidthChoices;
    tavolix::settings::TViewGrid Grid;
    int QuitCalls = 0;
    tavolix::thumbs::TThumbnailPool* Pool = nullptr;
    tavolix::platform::TMountTable Mounts;

    tavolix::search::TSearchQuery SearchQuery() const override {
        tavolix::search::TSearchQuery query;
        query.BaseDir = Dir;
        query.Key = Key;
        query.Walk = Options;
        query.Filters = Choice;
        return query;
    }
    void AddKeyToHistory(const std::string& key) override { History.push_back(key); }
    tavolix::search::TWalkOptions Options;
    tavolix::settings::TFilterChoice Choice;
    int FrameWidth() const override { return 1000; }
    int DirectoryPanelWidth() const override { return 220; }
    int DirectoryPanelHeight() const override { return 600; }
    void ShowPanels() override { ++ShowPanelsCalls; }
    void SetQuickKeysEnabled(bool enabled) override { QuickKeys.push_back(enabled); }
    void SetWindowMenuEnabled(bool enabled) override { WindowMenu.push_back(enabled); }
    void SetStatusText(const QString& text) override { Status = text; }
    int ResultWindowCount() const override { return WindowCount; }
    void FocusDirectoryTree() override { ++FocusTreeCalls; }
    void SearchFind1Click() override {}
    void QuitClick() override { ++QuitCalls; }
    void Help1Click() override { ++Help1Calls; }
    void ShowHelpTopic(int topic) override { HelpTopics.push_back(topic); }
    void About1Click() override {}
    bool IsNetworkDriveSelected() const override { return false; }
    QString RegisterSavedPage(const std::array<std::string, 6>& record) override {
        if (RegisterAnswer.isEmpty())
            Registered.push_back(record);
        return RegisterAnswer;
    }
    QWidget* DialogParent() override { return nullptr; }
    tavolix::settings::TViewChoices ViewChoices() const override {
        return {Pictures, PageThumbs, Details, ColumnWidths, Grid};
    }
    // Each choice changed is told apart, and new windows follow it.
    void SetViewChoices(const tavolix::settings::TViewChoices& next) override {
        if (next.Pictures != Pictures)
            PicturesChoices.push_back(next.Pictures);
        if (next.PageThumbnails != PageThumbs)
            PageThumbsChoices.push_back(next.PageThumbnails);
        if (next.Details != Details)
            DetailsChoices.push_back(next.Details);
        if (next.ColumnWidths != ColumnWidths)
            ColumnWidthChoices.push_back(next.ColumnWidths);
        Pictures = next.Pictures;
        PageThumbs = next.PageThumbnails;
        Details = next.Details;
        ColumnWidths = next.ColumnWidths;
        Grid = next.Grid;
    }
    tavolix::thumbs::TThumbnailPool* ThumbnailPool() override { return Pool; }
    tavolix::platform::TMountTable Volumes() const override { return Mounts; }
};

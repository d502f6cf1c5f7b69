#include "app/ShowCommand.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace tavolix::app;

namespace {

TEST(ShowCommand, MapsEveryValue) {
    const struct {
        int ShowCmd;
        TStartState State;
        Qt::WindowState Window;
    } cases[] = {
        {0, TStartState::Normal, Qt::WindowNoState},      {1, TStartState::Normal, Qt::WindowNoState},
        {2, TStartState::Minimized, Qt::WindowMinimized}, {3, TStartState::Maximized, Qt::WindowMaximized},
        {4, TStartState::Normal, Qt::WindowNoState},      {5, TStartState::Normal, Qt::WindowNoState},
        {6, TStartState::Minimized, Qt::WindowMinimized}, {7, TStartState::Minimized, Qt::WindowMinimized},
        {8, TStartState::Normal, Qt::WindowNoState},      {9, TStartState::Normal, Qt::WindowNoState},
        {10, TStartState::Normal, Qt::WindowNoState},     {11, TStartState::Normal, Qt::WindowNoState},
        {-3, TStartState::Normal, Qt::WindowNoState},     {259, TStartState::Normal, Qt::WindowNoState},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ShowCmd);
        EXPECT_EQ(StartStateFromShowCmd(c.ShowCmd), c.State);
        EXPECT_EQ(WindowStateFromShowCmd(c.ShowCmd), c.Window);
    }
}

TEST(ShowCommand, ParsesOnlyWholeNumbers) {
    const struct {
        const char* Text;
        std::optional<int> Value;
    } cases[] = {
        {"3", 3},
        {"+7", 7},
        {"-1", -1},
        {"007", 7},
        {"", std::nullopt},
        {" 3", std::nullopt},
        {"3 ", std::nullopt},
        {"3x", std::nullopt},
        {"x", std::nullopt},
        {"+", std::nullopt},
        {"+-1", std::nullopt},
        {"0x3", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(ParseShowCmd(c.Text), c.Value);
    }
}

TEST(ShowCommand, TakesTheVariableOnce) {
    const struct {
        const char* Value; // nullptr: unset
        int Want;
    } cases[] = {{"7", 7}, {"3", 3}, {nullptr, 1}, {"abc", 1}, {"", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value ? c.Value : "(unset)");
        if (c.Value) {
            setenv(kShowCmdVariable, c.Value, 1);
        } else {
            unsetenv(kShowCmdVariable);
        }
        EXPECT_EQ(TakeStartShowCommand(), c.Want);
        EXPECT_EQ(std::getenv(kShowCmdVariable), nullptr);
    }
}

} // namespace

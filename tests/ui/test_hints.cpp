#include "ui/Hints.h"

#include <gtest/gtest.h>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QStyleFactory>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

using namespace tavolix::ui;

namespace {

TEST(Hints, SplitAtTheFirstBar) {
    const struct {
        QString Hint, Tooltip, LongHint;
    } cases[] = {
        {"short|long", "short", "long"},
        {"both", "both", "both"},
        {"", "", ""},
        {"|long only", "", "long only"},
        {"tip only|", "tip only", ""},
        {"a|b|c", "a", "b|c"},
        {"指定に基づき、検索を開始 | 指定に基づき、検索を開始 （ サブ・ディレクトリーも検索 ）",
         "指定に基づき、検索を開始 ", " 指定に基づき、検索を開始 （ サブ・ディレクトリーも検索 ）"},
        {" Ｔａｖｏｌｉｘ（ ヌバロ ）を、終了します。", " Ｔａｖｏｌｉｘ（ ヌバロ ）を、終了します。",
         " Ｔａｖｏｌｉｘ（ ヌバロ ）を、終了します。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Hint.toStdString());
        THintParts parts = SplitHint(c.Hint);
        EXPECT_EQ(parts.Tooltip, c.Tooltip);
        EXPECT_EQ(parts.LongHint, c.LongHint);
    }
}

TEST(Hints, TooltipsShowTheirTextLiterally) {
    for (QString text : {QString("plain text"), QString("<b>bold</b> & <i>"), QString("a  <br>  b"),
                         QString(" 検索ベース = /srv/<web>/  ; キー = *.gif")}) {
        SCOPED_TRACE(text.toStdString());
        QString tip = TooltipText(text);
        if (!Qt::mightBeRichText(text)) {
            EXPECT_EQ(tip, text);
            continue;
        }
        QTextDocument doc;
        doc.setHtml(tip);
        EXPECT_EQ(doc.toPlainText(), text);
    }
}

TEST(Hints, ApplyHintToWidgetsAndActions) {
    QLabel label;
    ApplyHint(&label, "tip | long");
    EXPECT_EQ(label.toolTip(), "tip ");
    EXPECT_EQ(label.statusTip(), " long");
    QAction action("x");
    ApplyHint(&action, "one text");
    EXPECT_EQ(action.toolTip(), "one text");
    EXPECT_EQ(action.statusTip(), "one text");
    ApplyHint(&action, "");
    EXPECT_EQ(action.statusTip(), "");
}

TEST(Hints, StyleWakesTooltipsAfter200ms) {
    TTavolixStyle style(QStyleFactory::create("Fusion"));
    EXPECT_EQ(style.styleHint(QStyle::SH_ToolTip_WakeUpDelay), 200);
    for (QStyle::StyleHint other : {QStyle::SH_ToolTip_FallAsleepDelay, QStyle::SH_Menu_SubMenuPopupDelay}) {
        EXPECT_EQ(style.styleHint(other), style.baseStyle()->styleHint(other));
    }
}

struct TShown {
    QPoint Pos;
    QString Text;
    QWidget* Widget = nullptr;
    int Msec = 0;
    int Count = 0;
};

TEST(Hints, FilterShowsTooltipsFor11Seconds) {
    TTooltipTimeFilter filter;
    TShown shown;
    filter.SetShowText([&](const QPoint& pos, const QString& text, QWidget* w, int msec) {
        shown = {pos, text, w, msec, shown.Count + 1};
    });
    qApp->installEventFilter(&filter);

    QLabel tipped("a");
    tipped.setToolTip("tip");
    QHelpEvent help(QEvent::ToolTip, QPoint(3, 4), QPoint(103, 104));
    EXPECT_TRUE(QApplication::sendEvent(&tipped, &help));
    EXPECT_EQ(shown.Count, 1);
    EXPECT_EQ(shown.Msec, 11000);
    EXPECT_EQ(shown.Text, "tip");
    EXPECT_EQ(shown.Widget, &tipped);
    EXPECT_EQ(shown.Pos, QPoint(103, 104));

    tipped.setToolTipDuration(3000);
    QApplication::sendEvent(&tipped, &help);
    EXPECT_EQ(shown.Msec, 3000);

    // Widgets without a tooltip and other events keep their own handling.
    QLabel bare("b");
    QHelpEvent bareHelp(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    QApplication::sendEvent(&bare, &bareHelp);
    QHelpEvent whatsThis(QEvent::WhatsThis, QPoint(1, 1), QPoint(1, 1));
    QApplication::sendEvent(&tipped, &whatsThis);
    EXPECT_EQ(shown.Count, 2);
    qApp->removeEventFilter(&filter);
}

TEST(Hints, FilterShowsTheRealTooltip) {
    TTooltipTimeFilter filter;
    qApp->installEventFilter(&filter);
    QLabel tipped("a");
    tipped.setToolTip("ツールチップ");
    tipped.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tipped));
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), tipped.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&tipped, &help);
    EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(QToolTip::text(), "ツールチップ");
    QToolTip::hideText();
    qApp->removeEventFilter(&filter);
}

} // namespace

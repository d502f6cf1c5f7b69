// The windows read in a dark palette, where the fixed colours (the blue key
// text and sort line, the red and blue names, the black sizes) would vanish
// on dark grey, and to screen readers, which need a name for each hit and
// for each button that shows a picture alone.
#include "PixelChecks.h"
#include "TestDir.h"
#include "WaitForWalks.h"
#include "app/serfile.h"
#include "dirtree/DirTVS.h"
#include "hitview/FLBoxS.h"
#include "results/findf.h"
#include "ui/MessageBoxes.h"
#include "ui/ReadableColours.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QStyleFactory>
#include <QTest>

using namespace tavolix;
using results::TMDIChild;
using ui::ContrastRatio;
using ui::TRgb;

namespace {

TRgb Rgb(const QColor& c) {
    return {c.red(), c.green(), c.blue()};
}

// Fusion with the colours of a dark desktop scheme.
QPalette DarkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(53, 53, 53));
    p.setColor(QPalette::WindowText, QColor(221, 221, 221));
    p.setColor(QPalette::Base, QColor(42, 42, 42));
    p.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    p.setColor(QPalette::Text, QColor(221, 221, 221));
    p.setColor(QPalette::Button, QColor(53, 53, 53));
    p.setColor(QPalette::ButtonText, QColor(221, 221, 221));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

class ReadableTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.bmp", "b.ico", "c.exe", "d.txt"})
            Tree.File(name, "not what it claims");
        ui::TMessageBoxSeam::SetHandler([](const ui::TShownMessage&) { return ui::TMessageResult::mrOK; });
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
    void TearDown() override {
        Frame.reset();
        QApplication::setPalette(QApplication::style()->standardPalette());
        ui::TMessageBoxSeam::Reset();
    }

    TMDIChild* Search() {
        Frame = std::make_unique<app::TMDIForm>(Tree.Path("TAVOLIX.INI"));
        Frame->DirectoryListBox2->SetDrive(Tree.Root());
        Frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Frame.get()));
        Frame->KeyWordEditCB->setEditText(QStringLiteral("*.*"));
        Frame->SearchFind1Click();
        WaitForWalks(*Frame);
        return Frame->ResultWindows().empty() ? nullptr : Frame->ResultWindows().back();
    }

    TTestDir Tree;
    std::unique_ptr<app::TMDIForm> Frame;
};

// The worst contrast of any pixel in `area` against `background`.
double WorstContrast(const QImage& image, const QRect& area, const QColor& background) {
    double worst = 21;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (const QColor c = image.pixelColor(x, y); c != background)
                worst = std::min(worst, ContrastRatio(Rgb(c), Rgb(background)));
    return worst;
}

} // namespace

TEST_F(ReadableTest, FixedColoursReadOnADarkFusionPalette) {
    // On the light palette they stay as they were.
    TMDIChild* light = Search();
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->PanelLabel->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(Frame->KeyWordEditCB->palette().color(QPalette::Text), QColor(Qt::blue));

    QApplication::setPalette(DarkPalette());
    TMDIChild* child = Search();
    ASSERT_NE(child, nullptr);
    struct Fixed {
        const char* What;
        const QWidget* Widget;
        QPalette::ColorRole Text, Back;
        int Hue;
    } fixed[] = {
        {"key text", Frame->KeyWordEditCB, QPalette::Text, QPalette::Base, 240},
        {"base folder", Frame->Label1, QPalette::WindowText, QPalette::Window, 240},
        {"totals line", child->PanelLabel, QPalette::WindowText, QPalette::Window, 240},
        {"folders not read", child->UnreadPanel, QPalette::WindowText, QPalette::Window, 0},
    };
    for (const Fixed& f : fixed) {
        const QColor text = f.Widget->palette().color(f.Text), back = f.Widget->palette().color(f.Back);
        EXPECT_GE(ContrastRatio(Rgb(text), Rgb(back)), ui::kReadableContrast) << f.What;
        EXPECT_NEAR(text.hue(), f.Hue, 2) << f.What; // a shade of the same colour
    }

    // The names and sizes as the list paints them, without smoothing, so
    // each pixel is the text's colour or what lies behind it.
    hitview::TFileListBoxS* list = child->ListBox1;
    QFont font = list->font();
    font.setStyleStrategy(QFont::NoAntialias);
    list->setFont(font);
    const QColor base = list->palette().color(QPalette::Base);
    for (int selected : {-1, 0}) { // 0: a.bmp, its red name and black size on a cyan band
        list->SetItemIndex(selected);
        Frame->DirectoryListBox2->setFocus(); // no focus frame over the texts
        const QImage image = list->viewport()->grab().toImage();
        for (int i = 0; i < list->Items().Count(); ++i) {
            const QRect item = list->visualRect(list->model()->index(i, 0)) & image.rect();
            const QColor back = i == selected ? QColor(0, 255, 255) : base;
            const QRect band = i == selected ? BoundsOf(image, Is(back), item) : item;
            ASSERT_FALSE(band.isEmpty()) << i;
            EXPECT_GE(WorstContrast(image, band, back), ui::kReadableContrast)
                << list->Items().Strings(i) << (i == selected ? " selected" : "");
        }
    }
}

TEST_F(ReadableTest, HitsAndPictureButtonsHaveNamesForScreenReaders) {
    Tree.SetTime("d.txt", 1796706185); // 8 December 2026
    TMDIChild* child = Search();
    ASSERT_NE(child, nullptr);
    for (const QWidget* window :
         {static_cast<const QWidget*>(Frame.get()), static_cast<const QWidget*>(child)}) {
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (!button->text().isEmpty() || button->icon().isNull() || !button->isVisible())
                continue;
            const QString name = QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty())
                << button->metaObject()->className() << " " << button->objectName().toStdString() << " in "
                << button->parentWidget()->metaObject()->className();
        }
    }

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(child->ListBox1);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->childCount(), 4);
    const QString said = list->child(3)->text(QAccessible::Name);
    for (const QString& part : {QStringLiteral("d.txt"), QString::fromStdString(Tree.Root()),
                                QStringLiteral(" 18 "), QStringLiteral("2026")})
        EXPECT_TRUE(said.contains(part)) << said.toStdString() << " lacks " << part.toStdString();
}

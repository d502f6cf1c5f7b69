#include "ui/UiFonts.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

using namespace tavolix::ui;

namespace {

bool IsFamily(const QString& family, const char* latin, const char* japanese) {
    return family == QString::fromUtf8(latin) || family == QString::fromUtf8(japanese);
}

TEST(UiFonts, WindowsFacesResolveToIpaFonts) {
    if (!QFontDatabase::families().contains("IPAPGothic") ||
        !QFontDatabase::families().contains("IPAGothic")) {
        GTEST_SKIP() << "fonts-ipafont-gothic is not installed";
    }
    InstallFontSubstitutes();
    const struct {
        const char* Face;
        bool Fixed;
    } cases[] = {
        {kPGothic, false}, {"MS PGothic", false}, {kSansSerif, false},
        {kGothic, true},   {"MS Gothic", true},   {kFixedSys, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Face);
        QFontInfo info(UiFont(c.Face, 15));
        if (c.Fixed) {
            EXPECT_TRUE(IsFamily(info.family(), "IPAGothic", "IPAゴシック")) << info.family().toStdString();
        } else {
            EXPECT_TRUE(IsFamily(info.family(), "IPAPGothic", "IPA Pゴシック"))
                << info.family().toStdString();
        }
        EXPECT_EQ(info.pixelSize(), 15);
    }
    // The proportional face really is proportional, the fixed one fixed.
    QFontMetrics proportional(UiFont(kPGothic, 15));
    QFontMetrics fixed(UiFont(kGothic, 15));
    EXPECT_LT(proportional.horizontalAdvance("iiii"), proportional.horizontalAdvance("WWWW"));
    EXPECT_EQ(fixed.horizontalAdvance("iiii"), fixed.horizontalAdvance("WWWW"));
}

} // namespace

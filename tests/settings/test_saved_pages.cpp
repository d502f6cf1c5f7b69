#include "StallFs.h"
#include "TestDir.h"
#include "pages/SavePage.h"
#include "settings/SavedPages.h"
#include "words/CoreWords.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tavolix::settings;
using namespace tavolix::pages;
using tavolix::platform::ReadWholeFile;
using tavolix::platform::TMountTable;
using tavolix::words::RegisterErrorText;
using tavolix::words::SavedPageHint;
using tavolix::words::SavedPageMessage;

namespace {

std::string Read(const std::string& path) {
    std::string text;
    EXPECT_FALSE(ReadWholeFile(path, text)) << path;
    return text;
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

TSavedPageFields Record(int n, const std::string& dir = "/home/u/web") {
    const std::string s = std::to_string(n);
    return {dir + "/page" + s + ".html", "/home/u/pics" + s, "*.gif", s, s + ",000", "2026/12/0" + s};
}

std::string Caption(int k, int n) {
    return "(&" + std::to_string(k) + ") page" + std::to_string(n) + ".html ( 2026/12/0" + std::to_string(n) +
           " )";
}

std::string EmptyCaption(int k) {
    return "(&" + std::to_string(k) + ")  (  )";
}

// The order is the ring that starts after its first element.
void ExpectValidRing(const TSavedPages& ring) {
    const auto& order = ring.SavedOrder();
    for (int i = 0; i < kSavedPageSlots; ++i)
        EXPECT_EQ(order[i], (order[0] - 1 + i) % kSavedPageSlots + 1) << "element " << i;
}

TSavedPages Loaded(const std::string& ini) {
    TSavedPages ring(ini);
    (void)ring.Load();
    return ring;
}

} // namespace

TEST(SavedPages, WithoutAFileTheFirstPageGoesToSlotOne) {
    TTestDir dir;
    const std::string ini = dir.Path("cfg/tavolix/TAVOLIX.INI"); // the folders don't exist yet
    TSavedPages ring = Loaded(ini);
    EXPECT_EQ(ring.SavedOrder(), (std::array<int, 10>{10, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    for (int k = 1; k <= 10; ++k) {
        EXPECT_EQ(ring.MenuItems()[k - 1].Caption, EmptyCaption(k));
        EXPECT_EQ(SavedPageHint(ring.MenuItems()[k - 1]), " 検索ベース =   ; キー =   ; 検索数 = ");
    }

    ASSERT_FALSE(ring.Register(Record(1), {}));
    EXPECT_EQ(ring.SavedOrder()[0], 1);
    EXPECT_EQ(Read(ini),
              "[TAVOLIX]\nChildBaseNO=1\n[NO1]\n1=/home/u/web/page1.html\n2=/home/u/pics1/\n3=*.gif\n"
              "4=1\n5=1,000\n6=2026/12/01\n");
    auto items = ring.MenuItems();
    EXPECT_EQ(items[0].Caption, Caption(1, 1));
    EXPECT_EQ(SavedPageHint(items[0]), " 検索ベース = /home/u/pics1/  ; キー = *.gif  ; 検索数 = 1");
    for (int k = 2; k <= 10; ++k)
        EXPECT_EQ(items[k - 1].Caption, EmptyCaption(k));

    ASSERT_FALSE(ring.Register(Record(2), {}));
    EXPECT_EQ(ring.SavedOrder()[0], 2);
    items = ring.MenuItems();
    EXPECT_EQ(items[0].Caption, Caption(1, 2));
    EXPECT_EQ(items[1].Caption, Caption(2, 1));
    EXPECT_EQ(items[2].Caption, EmptyCaption(3));
}

TEST(SavedPages, TheEleventhPageOverwritesTheOldest) {
    TTestDir dir;
    const std::string ini = dir.Path("TAVOLIX.INI");
    TSavedPages ring = Loaded(ini);
    for (int n = 1; n <= 10; ++n)
        ASSERT_FALSE(ring.Register(Record(n), {}));
    for (int k = 1; k <= 10; ++k)
        EXPECT_EQ(ring.MenuItems()[k - 1].Caption, Caption(k, 11 - k));
    EXPECT_EQ(ring.SavedOrder()[1], 1); // the oldest, written next

    ASSERT_FALSE(ring.Register(Record(11, "/srv"), {}));
    EXPECT_EQ(ring.SavedOrder()[0], 1);
    EXPECT_EQ(ring.Page(1)[0], "/srv/page11.html");
    auto items = ring.MenuItems();
    EXPECT_EQ(items[0].Caption, "(&1) page11.html ( 2026/12/011 )");
    for (int k = 2; k <= 10; ++k)
        EXPECT_EQ(items[k - 1].Caption, Caption(k, 12 - k)); // page 1 is gone, the rest moved down one
    ExpectValidRing(ring);

    // A new start reads the same list back.
    TSavedPages again = Loaded(ini);
    EXPECT_EQ(again.SavedOrder(), ring.SavedOrder());
    for (int k = 1; k <= 10; ++k) {
        EXPECT_EQ(again.MenuItems()[k - 1].Caption, items[k - 1].Caption);
        EXPECT_EQ(SavedPageHint(again.MenuItems()[k - 1]), SavedPageHint(items[k - 1]));
    }
}

TEST(SavedPages, ItemsMapToSlotsFromTheBase) {
    TTestDir dir;
    struct Case {
        const char* Stored;
        std::array<int, 10> Slots; // of items 1..10
    } cases[] = {
        {"10", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"3", {3, 2, 1, 10, 9, 8, 7, 6, 5, 4}},
        {"1", {1, 10, 9, 8, 7, 6, 5, 4, 3, 2}},
        {" 0x3 ", {3, 2, 1, 10, 9, 8, 7, 6, 5, 4}},
        {"0X0a", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"+3", {3, 2, 1, 10, 9, 8, 7, 6, 5, 4}},
        // missing: base 10
        {"11", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"0", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"-3", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"3abc", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"0x", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"three", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"99999999999999999999999", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
    };
    for (const auto& c : cases) {
        dir.File("t.INI", std::string("[tavolix]\nchildbaseno=") + c.Stored + "\n");
        TSavedPages ring = Loaded(dir.Path("t.INI"));
        for (int k = 1; k <= 10; ++k)
            EXPECT_EQ(ring.SlotOfItem(k), c.Slots[k - 1]) << c.Stored << " item " << k;
        ExpectValidRing(ring);
    }
    EXPECT_EQ(ParseProfileInt("0x1F"), 31);
    EXPECT_EQ(ParseProfileInt("0x1G"), std::nullopt);
    EXPECT_EQ(ParseProfileInt("1 2"), std::nullopt);
}

TEST(SavedPages, ValuesAreWrittenRawAndOtherContentStays) {
    TTestDir dir;
    const std::string before = "; kept comment\n"
                               "[Window]\n"
                               "Left=10\n"
                               "\n"
                               "[TAVOLIX]\n"
                               "ChildBaseNO=4\n"
                               "Unknown=keep me\n"
                               "[NO5]\n"
                               "1=/old/page.html\n"
                               "7=extra key\n"
                               "[Tail]\n"
                               "x=1\n";
    dir.File("t.INI", before);
    TSavedPages ring = Loaded(dir.Path("t.INI"));
    TSavedPageFields rec = {"/w/a b;c.html", "/base dir", " *.gif ; *.jpg", "2", "10", "2026/12/08 14:03:05"};
    ASSERT_FALSE(ring.Register(rec, {}));
    EXPECT_EQ(Read(dir.Path("t.INI")), "; kept comment\n"
                                       "[Window]\n"
                                       "Left=10\n"
                                       "\n"
                                       "[TAVOLIX]\n"
                                       "ChildBaseNO=5\n"
                                       "Unknown=keep me\n"
                                       "[NO5]\n"
                                       "1=/w/a b;c.html\n"
                                       "7=extra key\n"
                                       "2=/base dir/\n"
                                       "3= *.gif ; *.jpg\n"
                                       "4=2\n"
                                       "5=10\n"
                                       "6=2026/12/08 14:03:05\n"
                                       "[Tail]\n"
                                       "x=1\n");
    EXPECT_EQ(ring.Page(5)[2], " *.gif ; *.jpg"); // memory keeps the key as typed
    EXPECT_EQ(Loaded(dir.Path("t.INI")).Page(5)[2], "*.gif ; *.jpg");
}

TEST(SavedPages, PagesOnANetworkVolumeAreStoredByShareName) {
    TTestDir dir;
    dir.File("nas/web/p.html", "<HTML>");
    const auto volumes = TMountTable::FromText("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n2 1 0:50 / " +
                                               dir.Path("nas") + " rw - cifs //srv/photos rw\n");
    const std::string ini = dir.Path("t.INI");
    TSavedPages ring = Loaded(ini);
    ASSERT_FALSE(
        ring.Register({dir.Path("nas/web/p.html"), dir.Path("nas/pics"), "*.gif", "1", "9", "d"}, volumes));
    const std::string text = Read(ini);
    EXPECT_NE(text.find("\n1=//srv/photos/web/p.html\n2=//srv/photos/pics/\n"), std::string::npos) << text;
    EXPECT_EQ(ring.Page(1)[0], dir.Path("nas/web/p.html")); // memory keeps the local path
    EXPECT_EQ(ring.MenuItems()[0].Caption, "(&1) p.html ( d )");

    // After a new start the network name opens through its mount point.
    TSavedPages again = Loaded(ini);
    EXPECT_EQ(again.Page(1)[0], "//srv/photos/web/p.html");
    EXPECT_EQ(again.MenuItems()[0].Caption, "(&1) p.html ( d )");
    auto action = again.ClickAction(1, volumes);
    EXPECT_EQ(action.Kind, TSavedPageAction::Open);
    EXPECT_EQ(action.Path, dir.Path("nas/web/p.html"));
    EXPECT_EQ(action.Folder, dir.Path("nas/web"));
    // Without the share mounted it is missing, shown by its stored name.
    action = again.ClickAction(1, {});
    EXPECT_EQ(action.Kind, TSavedPageAction::Missing);
    EXPECT_TRUE(SavedPageMessage(action).starts_with("//srv/photos/web/p.html が見つかりません。 "));
}

TEST(SavedPages, ClickingAnItem) {
    TTestDir dir;
    dir.File("web/there.html", "x");
    TSavedPages ring = Loaded(dir.Path("t.INI"));
    ASSERT_FALSE(ring.Register({dir.Path("web/there.html"), "/b", "k", "1", "1", "d"}, {}));
    ASSERT_FALSE(ring.Register({dir.Path("web/gone.html"), "/b", "k", "1", "1", "d"}, {}));

    auto action = ring.ClickAction(1, {});
    EXPECT_EQ(action.Kind, TSavedPageAction::Missing);
    EXPECT_EQ(SavedPageMessage(action),
              dir.Path("web/gone.html") +
                  " が見つかりません。 \r\n\r\n移動、あるいは、削除されませんでしたか ？");
    action = ring.ClickAction(2, {});
    EXPECT_EQ(action.Kind, TSavedPageAction::Open);
    EXPECT_EQ(action.Path, dir.Path("web/there.html"));
    EXPECT_EQ(action.Folder, dir.Path("web"));
    action = ring.ClickAction(3, {});
    EXPECT_EQ(action.Kind, TSavedPageAction::NotRegistered);
    EXPECT_EQ(SavedPageMessage(action),
              "作成データ（ＨＴＭＬファイル）は、未登録です。 \r\n\r\n作成＆保存後、クリックして下さい。");
    EXPECT_EQ(ring.ClickAction(0, {}).Kind, TSavedPageAction::None);
    EXPECT_EQ(ring.ClickAction(11, {}).Kind, TSavedPageAction::None);
    // A folder by the page's name is no page.
    dir.Dir("web/gone.html");
    EXPECT_EQ(ring.ClickAction(1, {}).Kind, TSavedPageAction::Missing);

    // A relative path (a hand-edited file) is the working folder's, for the
    // check and for the open alike (which runs in the page's folder).
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(dir.Root().c_str()), 0);
    ASSERT_FALSE(ring.Register({"web/there.html", "/b", "k", "1", "1", "d"}, {}));
    action = ring.ClickAction(1, {});
    ASSERT_EQ(chdir(before), 0);
    EXPECT_EQ(action.Kind, TSavedPageAction::Open);
    EXPECT_EQ(action.Path, dir.Path("web/there.html"));
    EXPECT_EQ(action.Folder, dir.Path("web"));
}

TEST(SavedPages, APageOnAShareThatDoesNotAnswerIsToldNotWaitedFor) {
    TAVOLIX_MOUNT_STALL_FS(share, tavolix::test::TStallFs::TOptions{1, 1});
    TTestDir dir;
    TSavedPages ring = Loaded(dir.Path("t.INI"));
    const std::string page = share.Root() + "/hang/stuck/p.html";
    ASSERT_FALSE(ring.Register({page, "/b", "k", "1", "1", "d"}, {}));
    // Were the stat made here, this would wait until the share is released.
    auto action = std::async(std::launch::async, [&] { return ring.ClickAction(1, {}); });
    const bool answered = action.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    share.Release();
    ASSERT_TRUE(answered);
    const TSavedPageAction got = action.get();
    EXPECT_EQ(got.Kind, TSavedPageAction::NotAnswering);
    EXPECT_EQ(SavedPageMessage(got), page + " が応答しません。");
}

TEST(SavedPages, AmpersandsInDataAreNoAccessKeys) {
    TTestDir dir;
    TSavedPages ring = Loaded(dir.Path("t.INI"));
    ASSERT_FALSE(ring.Register({"/w/Tom&Jerry.html", "/b&c", "&", "1", "1", "a&b"}, {}));
    EXPECT_EQ(ring.MenuItems()[0].Caption, "(&1) Tom&&Jerry.html ( a&&b )");
    EXPECT_EQ(SavedPageHint(ring.MenuItems()[0]), " 検索ベース = /b&c/  ; キー = &  ; 検索数 = 1");
}

TEST(SavedPages, AnEmptyPagePathWritesNothing) {
    TTestDir dir;
    TSavedPages ring(dir.Path("t.INI"));
    EXPECT_FALSE(ring.WriteSavedPage({"", "/b", "k", "1", "1", "d"}, 1, {}));
    EXPECT_FALSE(Exists(dir.Path("t.INI")));
}

TEST(SavedPages, AFailedWriteStopsWithAValidRing) {
    TTestDir dir;
    dir.File("ro/t.INI", "[TAVOLIX]\nChildBaseNO=7\n");
    dir.Chmod("ro", 0555);
    const std::string ini = dir.Path("ro/t.INI");
    TSavedPages ring = Loaded(ini);
    const auto orderBefore = ring.SavedOrder();
    {
        TWithoutDacOverride asUser;
        auto err = ring.Register(Record(1), {});
        ASSERT_TRUE(err);
        EXPECT_EQ(err->File.Path, ini);
        EXPECT_EQ(err->File.Errno, EACCES);
        EXPECT_TRUE(err->Value.empty());
        EXPECT_EQ(RegisterErrorText(*err), ini + " に書き込めません (" + err->File.SystemText() + ")");
    }
    EXPECT_EQ(ring.SavedOrder(), orderBefore);
    ExpectValidRing(ring);
    EXPECT_EQ(ring.Page(8)[0], "");
    EXPECT_EQ(Read(ini), "[TAVOLIX]\nChildBaseNO=7\n");
}

TEST(SavedPages, AWriteThatFailsMidwayChangesNothing) {
    TTestDir dir;
    const std::string ini = dir.Path("t.INI");
    dir.File("t.INI", "[TAVOLIX]\nChildBaseNO=2\n");
    const int code = RunInChild(
        [&] {
            TSavedPages ring = Loaded(ini);
            TSavedPageFields rec = Record(1);
            rec[0] = "/w/" + std::string(300, 'x') + ".html";
            auto err = ring.Register(rec, {});
            return err && err->File.Errno == EFBIG && err->File.Path == ini && ring.SavedOrder()[0] == 2 &&
                           ring.Page(3)[0].empty()
                       ? 0
                       : 1;
        },
        200); // room for the base alone, none for the page's entry
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read(ini), "[TAVOLIX]\nChildBaseNO=2\n");
}

TEST(SavedPages, AValueThatWouldNotReadBackIsRefusedBeforeAnythingChanges) {
    TTestDir dir;
    const std::string ini = dir.Path("t.INI");
    TSavedPages ring = Loaded(ini);
    for (int n = 1; n <= 10; ++n)
        ASSERT_FALSE(ring.Register(Record(n), {}));
    const std::string before = Read(ini);
    const auto order = ring.SavedOrder();
    struct Case {
        TSavedPageFields Record;
        std::string Value, Text;
    } cases[] = {
        {{"/w/p.html", "/home/u/new\nline", "*.gif", "1", "1", "d"},
         "/home/u/new\nline/",
         "\"/home/u/new\\nline/\" は改行を含むため、作成データに登録できません"},
        {{"/w/p\r.html", "/b", "*.gif", "1", "1", "d"},
         "/w/p\r.html",
         "\"/w/p\\r.html\" は改行を含むため、作成データに登録できません"},
        {{"/w/" + std::string(1100, 'x') + ".html", "/b", "*.gif", "1", "1", "d"},
         "/w/" + std::string(1100, 'x') + ".html",
         ""},
        {{"/w/p.html ", "/b", "*.gif", "1", "1", "d"},
         "/w/p.html ",
         "\"/w/p.html \" は前後に空白があるため、作成データに登録できません"},
        {{"/w/p.html", "/b", "*.gif\n", "1", "1", "d"}, "*.gif\n", ""},
    };
    for (const auto& c : cases) {
        auto err = ring.Register(c.Record, {});
        ASSERT_TRUE(err) << c.Value;
        EXPECT_EQ(err->Value, c.Value);
        if (!c.Text.empty()) {
            EXPECT_EQ(RegisterErrorText(*err), c.Text);
        }
        EXPECT_EQ(ring.SavedOrder(), order) << c.Value;
        EXPECT_EQ(ring.Page(1)[0], Record(1)[0]) << c.Value; // the oldest page stays
    }
    EXPECT_EQ(Read(ini), before);
    // A key keeps losing its surrounding blanks, as it always has: not refused.
    EXPECT_FALSE(ring.Register({"/w/p.html", "/b", " *.gif ", "1", "1", "d"}, {}));
}

TEST(SavedPages, SaveAndRegisterPage) {
    TTestDir dir;
    const std::string ini = dir.Path("t.INI");
    dir.File("web/index.html", "old page");
    tavolix::pages::TPageInput page;
    page.PageFileName = dir.Path("web/index.html");
    page.BaseDir = dir.Path("pics");
    page.Key = "*.gif";
    page.Items = {{dir.Path("pics/a.gif"), "1", "26/01/02"}};
    page.TotalSize = 1;
    page.CreationText = "2026/12/08";

    TSavedPages ring = Loaded(ini);
    auto result = SaveAndRegisterPage(page, ring);
    ASSERT_TRUE(result.Ok());
    EXPECT_NE(Read(page.PageFileName), "old page");
    EXPECT_EQ(ring.Page(1),
              (TSavedPageFields{page.PageFileName, dir.Path("pics/"), "*.gif", "1", "1", "2026/12/08"}));
    const std::string settings = Read(ini);

    // A page write that fails midway registers nothing and keeps the old page.
    const std::string written = Read(page.PageFileName);
    page.Items.assign(3000, page.Items[0]);
    const int code = RunInChild(
        [&] {
            auto r = SaveAndRegisterPage(page, ring);
            return r.PageError && r.PageError->Errno == EFBIG && !r.SettingsError && ring.SavedOrder()[0] == 1
                       ? 0
                       : 1;
        },
        16384);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read(page.PageFileName), written);
    EXPECT_EQ(Read(ini), settings);
}

TEST(SettingsFile, PortableFileWhenWritableElseThePerUserFolder) {
    TTestDir dir;
    dir.Dir("bin");
    dir.Dir("home");
    TSettingsPlaces places{dir.Path("bin"), "", dir.Path("home"), ""};
    EXPECT_EQ(SettingsFilePath(places), dir.Path("home/.config/tavolix/TAVOLIX.INI"));
    places.Named = dir.Path("named.INI"); // $TAVOLIX_SETTINGS comes first
    EXPECT_EQ(SettingsFilePath(places), dir.Path("named.INI"));
    places.Named.clear();
    places.XdgConfigHome = dir.Path("xdg");
    EXPECT_EQ(SettingsFilePath(places), dir.Path("xdg/tavolix/TAVOLIX.INI"));
    places.XdgConfigHome = "relative/xdg"; // not absolute: ignored
    EXPECT_EQ(SettingsFilePath(places), dir.Path("home/.config/tavolix/TAVOLIX.INI"));

    dir.File("bin/tavolix.INI", "[TAVOLIX]\n");
    EXPECT_EQ(SettingsFilePath(places), dir.Path("bin/tavolix.INI"));
    dir.Chmod("bin/tavolix.INI", 0444); // read-only, root included
    EXPECT_EQ(SettingsFilePath(places), dir.Path("home/.config/tavolix/TAVOLIX.INI"));
    {
        dir.Chmod("bin/tavolix.INI", 0644);
        dir.Chmod("bin", 0555); // the file could not be replaced
        TWithoutDacOverride asUser;
        EXPECT_EQ(SettingsFilePath(places), dir.Path("home/.config/tavolix/TAVOLIX.INI"));
    }
    dir.Chmod("bin", 0755);
    EXPECT_FALSE(SystemSettingsPlaces().ProgramDir.empty());
}

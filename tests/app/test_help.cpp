#include "TestDir.h"
#include "app/HelpFile.h"
#include "app/serfile.h"
#include "platform/ExecuteFile.h"
#include "words/Language.h"

#include <gtest/gtest.h>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

using namespace tavolix::app;
using tavolix::platform::TOpenRequest;

namespace {

QString Q(const std::string& s) {
    return QFile::decodeName(QByteArray::fromStdString(s));
}

QString ReadText(const QString& path, bool* validUtf8 = nullptr) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = f.readAll();
    QStringDecoder decode(QStringDecoder::Utf8);
    QString text = decode(bytes);
    if (validUtf8) {
        *validUtf8 = !decode.hasError();
    }
    return text;
}

TEST(HelpFile, FirstPlaceThatHoldsTheDocumentWins) {
    // Layout: prog/bin (the program), prog/share/tavolix (installed), src (source tree).
    const struct {
        bool Beside, Installed, Source, DirInstead;
        const char* Want; // relative to the test dir, or "" for none
    } cases[] = {
        {false, false, false, false, ""},
        {false, false, true, false, "src/tavolix-help.html"},
        {false, true, true, false, "prog/share/tavolix/tavolix-help.html"},
        {true, true, true, false, "prog/bin/tavolix-help.html"},
        {false, false, false, true, ""}, // a directory of that name is no document
    };
    for (const auto& c : cases) {
        TTestDir dir;
        dir.Dir("prog/bin");
        dir.Dir("src");
        if (c.Beside) {
            dir.File("prog/bin/tavolix-help.html", "<html>");
        }
        if (c.Installed) {
            dir.File("prog/share/tavolix/tavolix-help.html", "<html>");
        }
        if (c.Source) {
            dir.File("src/tavolix-help.html", "<html>");
        }
        if (c.DirInstead) {
            dir.Dir("prog/bin/tavolix-help.html");
        }
        QString want = *c.Want ? Q(dir.Path(c.Want)) : QString();
        EXPECT_EQ(HelpFilePath(Q(dir.Path("prog/bin")), Q(dir.Path("src"))), want) << c.Want;
    }
    EXPECT_EQ(HelpFilePath({}, {}), QString());
}

TEST(HelpFile, TopicUrlsAndPages) {
    QString doc = HelpFilePath();
    ASSERT_FALSE(doc.isEmpty()) << "the source tree's help document is found from a build tree";
    for (int topic : {1000, 1200, 1300}) {
        QUrl url = HelpTopicUrl(topic);
        EXPECT_TRUE(url.isLocalFile());
        EXPECT_EQ(url.toLocalFile(), doc);
        EXPECT_EQ(url.fragment(), QString("topic-%1").arg(topic));
    }
    EXPECT_EQ(HelpTopicPage(doc, 1000), doc);
    EXPECT_EQ(QFileInfo(HelpTopicPage(doc, 1200)).fileName(), "tavolix-help-1200.html");
    EXPECT_EQ(QFileInfo(HelpTopicPage(doc, 1300)).fileName(), "tavolix-help-1300.html");
    EXPECT_EQ(HelpTopicPage(doc, 4711), doc);
    EXPECT_EQ(HelpTopicPage({}, 1200), QString());

    // A document elsewhere without the forwarding pages, in an odd folder.
    TTestDir dir;
    dir.File("日本 & #%41/tavolix-help.html", "<html>");
    QString odd = Q(dir.Path("日本 & #%41/tavolix-help.html"));
    EXPECT_EQ(HelpTopicPage(odd, 1200), odd);
    QUrl url = QUrl::fromLocalFile(odd);
    url.setFragment(HelpTopicId(1200));
    EXPECT_EQ(url.toLocalFile(), odd);
    EXPECT_TRUE(url.toString(QUrl::FullyEncoded).endsWith("tavolix-help.html#topic-1200"));
}

TEST(HelpFile, ShowHelpTopicOpensThePage) {
    std::vector<TOpenRequest> opened;
    tavolix::platform::SetFileOpener([&](const TOpenRequest& r) { opened.push_back(r); });
    EXPECT_TRUE(ShowHelpTopic(1000));
    EXPECT_TRUE(ShowHelpTopic(1300));
    tavolix::platform::SetFileOpener({});
    ASSERT_EQ(opened.size(), 2u);
    QFileInfo doc(HelpFilePath());
    EXPECT_EQ(Q(opened[0].FileName), doc.absoluteFilePath());
    EXPECT_EQ(Q(opened[0].Folder), doc.absolutePath());
    EXPECT_EQ(opened[0].ShowCmd, 1);
    EXPECT_EQ(Q(opened[1].FileName), doc.absolutePath() + "/tavolix-help-1300.html");
    EXPECT_TRUE(opened[1].Params.empty());
}

// The document's topics, links, quick keys, shortcuts and menus; its topic
// pages forward to it.
void CheckDocument(const QString& doc, const QStringList& menus) {
    SCOPED_TRACE(doc.toStdString());
    bool valid = false;
    QString text = ReadText(doc, &valid);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(valid) << "UTF-8";
    EXPECT_TRUE(text.contains("<meta charset=\"utf-8\">"));

    QSet<QString> ids;
    QRegularExpression idPattern(" id=\"([^\"]+)\"");
    for (auto it = idPattern.globalMatch(text); it.hasNext();) {
        QString id = it.next().captured(1);
        EXPECT_FALSE(ids.contains(id)) << "duplicate id " << id.toStdString();
        ids.insert(id);
    }
    for (int topic : {1000, 1200, 1300}) {
        EXPECT_TRUE(ids.contains(HelpTopicId(topic))) << topic;
    }
    QRegularExpression hrefPattern("href=\"#([^\"]+)\"");
    int links = 0;
    for (auto it = hrefPattern.globalMatch(text); it.hasNext(); ++links) {
        QString target = it.next().captured(1);
        EXPECT_TRUE(ids.contains(target)) << "broken link #" << target.toStdString();
    }
    EXPECT_GT(links, 10);

    // Every quick key and every shortcut of the main window is explained.
    for (const char* key :
         {"*.*", "*.exe", "*.txt", "*.ini", "*.hlp", "*.bmp", "*.wmf", "*.ico", "*.scr", "*.cur", "*.htm",
          "*.html", "*.gif", "*.jpg", "*.jpeg", "*.wav", "*.au", "*.mid"}) {
        EXPECT_TRUE(text.contains(QString("<code>%1</code>").arg(key))) << key;
    }
    for (const char* key : {"F1", "F2", "F3", "F4", "F5", "F6", "F12"}) {
        EXPECT_TRUE(text.contains(QString("<kbd>%1</kbd>").arg(key))) << key;
    }
    for (const QString& menu : menus) {
        EXPECT_TRUE(text.contains(menu)) << menu.toStdString();
    }

    // The forwarding pages lead to existing topics.
    const QFileInfo info(doc);
    for (int topic : {1200, 1300}) {
        QString page = ReadText(HelpTopicPage(doc, topic));
        EXPECT_TRUE(page.contains(QString("url=%1#%2\"").arg(info.fileName(), HelpTopicId(topic)))) << topic;
    }
}

TEST(HelpFile, DocumentHoldsTheTopicsAndItsLinksResolve) {
    QStringList menus;
    for (const char* menu : {"簡易検索キー (&amp;K)", "検索・作成＆保存 (&amp;O)", "作成ﾃﾞｰﾀ (&amp;D)",
                             "ｳｨﾝﾄﾞｳ (&amp;W)", "行列数設定 (&amp;G)", "HTML自動作成＆保存"})
        menus << QString::fromUtf8(menu);
    CheckDocument(HelpFilePath(), menus);
}

// In English F1 opens the English document beside the Japanese one, which
// names the menus as the English windows show them; a language without a
// document of its own gets the English one.
TEST(HelpFile, EnglishDocumentForTheEnglishWindows) {
    ASSERT_TRUE(tavolix::words::InstallLanguage(QStringLiteral("en")));
    const QString doc = HelpFilePath();
    QStringList menus;
    {
        TTestDir dir;
        TMDIForm frame(dir.Path("TAVOLIX.INI"));
        for (QMenu* menu : {frame.SetEdit1, frame.Utilety1, frame.SaveData, frame.Windows1})
            menus << menu->title();
        menus << frame.HTMLSave->text();
    }
    std::vector<TOpenRequest> opened;
    tavolix::platform::SetFileOpener([&](const TOpenRequest& r) { opened.push_back(r); });
    EXPECT_TRUE(ShowHelpTopic(1200));
    tavolix::platform::SetFileOpener({});
    tavolix::words::InstallLanguage(tavolix::words::kSourceLanguage);

    EXPECT_EQ(QFileInfo(doc).fileName(), "tavolix-help-en.html");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(QFileInfo(Q(opened[0].FileName)).fileName(), "tavolix-help-en-1200.html");
    for (QString& menu : menus)
        menu = menu.remove(QRegularExpression("&(?!&)")).toHtmlEscaped();
    EXPECT_TRUE(menus.contains("Quick Keys")) << menus.join(", ").toStdString();
    CheckDocument(doc, menus);

    const QString sources = QFileInfo(doc).absolutePath();
    EXPECT_EQ(HelpFilePath({}, sources, QStringLiteral("de")), doc);
    EXPECT_EQ(QFileInfo(HelpFilePath({}, sources, QStringLiteral("ja"))).fileName(), "tavolix-help.html");
}

} // namespace

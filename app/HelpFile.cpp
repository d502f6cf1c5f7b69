#include "app/HelpFile.h"

#include "platform/ExecuteFile.h"
#include "ui/NameText.h"
#include "words/Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef TAVOLIX_SOURCE_HELP_DIR
#define TAVOLIX_SOURCE_HELP_DIR ""
#endif

namespace tavolix::app {

QString HelpFileName(const QString& language) {
    if (language == words::kSourceLanguage)
        return QString::fromLatin1(kHelpFileName);
    return QStringLiteral("tavolix-help-%1.html").arg(language);
}

QString HelpFileName() {
    return HelpFileName(words::Language());
}

QString HelpFilePath(const QString& programDir, const QString& sourceHelpDir, const QString& language) {
    QStringList names = {HelpFileName(language)};
    if (language != words::kSourceLanguage && language != words::kFallbackLanguage)
        names << HelpFileName(words::kFallbackLanguage);
    QStringList candidates;
    for (const QString& name : names) {
        if (!programDir.isEmpty()) {
            candidates << QDir(programDir).filePath(name)
                       << QDir(programDir).filePath(QStringLiteral("../share/tavolix/") + name);
        }
        if (!sourceHelpDir.isEmpty()) {
            candidates << QDir(sourceHelpDir).filePath(name);
        }
    }
    for (const QString& candidate : candidates) {
        QFileInfo info(candidate);
        if (info.isFile()) {
            return QDir::cleanPath(info.absoluteFilePath());
        }
    }
    return {};
}

namespace {

std::optional<QString>& HelpFileOverride() {
    static std::optional<QString> path;
    return path;
}

} // namespace

void SetHelpFilePath(std::optional<QString> path) {
    HelpFileOverride() = std::move(path);
}

QString HelpFilePath() {
    if (HelpFileOverride()) {
        return *HelpFileOverride();
    }
    return HelpFilePath(QCoreApplication::applicationDirPath(), QString::fromUtf8(TAVOLIX_SOURCE_HELP_DIR),
                        words::Language());
}

QString HelpTopicId(int topic) {
    return QStringLiteral("topic-%1").arg(topic);
}

QUrl HelpTopicUrl(int topic) {
    QString file = HelpFilePath();
    if (file.isEmpty()) {
        return {};
    }
    QUrl url = QUrl::fromLocalFile(file);
    url.setFragment(HelpTopicId(topic));
    return url;
}

QString HelpTopicPage(const QString& helpFile, int topic) {
    if (helpFile.isEmpty()) {
        return {};
    }
    QFileInfo document(helpFile);
    if (topic != kHelpMain) {
        QFileInfo forward(
            document.dir(),
            QStringLiteral("%1-%2.html").arg(document.completeBaseName(), QString::number(topic)));
        if (forward.isFile()) {
            return forward.absoluteFilePath();
        }
    }
    return document.absoluteFilePath();
}

bool ShowHelpTopic(int topic) {
    QString page = HelpTopicPage(HelpFilePath(), topic);
    if (page.isEmpty()) {
        return false;
    }
    QFileInfo info(page);
    return platform::ExecuteFile(ui::ToBytes(info.absoluteFilePath()), {}, ui::ToBytes(info.absolutePath()),
                                 1);
}

} // namespace tavolix::app

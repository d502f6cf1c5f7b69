#include "results/HitTransfer.h"

#include "pages/PageWriter.h"
#include "pages/PathFunctions.h"
#include "platform/ExecuteFile.h"
#include "ui/NameText.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QMimeData>

namespace tavolix::results {

namespace {

void OpenFolderOf(const std::string& path) {
    platform::ExecuteFile(pages::FileFolder(path), "", "", 1);
}

} // namespace

std::string FileUri(std::string_view path) {
    return "file://" + pages::PercentEncodePath(path);
}

QMimeData* HitsMimeData(const std::vector<std::string>& paths) {
    // Written as bytes: through QUrl a name that isn't UTF-8 would lose them.
    QByteArray uris, gnome("copy");
    std::string text;
    for (const std::string& path : paths) {
        const std::string uri = FileUri(path);
        uris.append(uri.data(), static_cast<qsizetype>(uri.size())).append("\r\n");
        gnome.append('\n').append(uri.data(), static_cast<qsizetype>(uri.size()));
        if (!text.empty())
            text += '\n';
        text += path;
    }
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), uris);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    data->setText(ui::ToText(text));
    return data;
}

QMimeData* HitMimeData(const std::string& path) {
    return HitsMimeData({path});
}

void CopyToClipboard(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    CopyToClipboard(data);
}

void CopyToClipboard(QMimeData* data) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
        // Each holds its own; the texts and bytes are shared, not copied.
        auto* selection = new QMimeData;
        for (const QString& format : data->formats()) {
            if (format == QLatin1String("text/plain"))
                selection->setText(data->text());
            else
                selection->setData(format, data->data(format));
        }
        clipboard->setMimeData(selection, QClipboard::Selection);
    }
    clipboard->setMimeData(data, QClipboard::Clipboard);
}

void ShowInFolder(const std::string& path, QObject* context) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        OpenFolderOf(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QString::fromLatin1(FileUri(path))} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kShowItemsTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [path](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (w->isError())
                             OpenFolderOf(path);
                     });
}

} // namespace tavolix::results

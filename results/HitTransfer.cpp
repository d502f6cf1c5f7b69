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

QMimeData* HitMimeData(const std::string& path) {
    auto* data = new QMimeData;
    // Written as bytes: through QUrl a name that isn't UTF-8 would lose them.
    data->setData(QStringLiteral("text/uri-list"), QByteArray::fromStdString(FileUri(path) + "\r\n"));
    data->setText(ui::ToText(path));
    return data;
}

void CopyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
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

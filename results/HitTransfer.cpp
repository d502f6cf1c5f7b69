#include "results/HitTransfer.h"

#include "hitview/FLBoxS.h"
#include "pages/PageWriter.h"
#include "pages/PathFunctions.h"
#include "platform/ExecuteFile.h"
#include "ui/ActivationToken.h"
#include "ui/NameText.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QMimeData>
#include <QUtf8StringView>

namespace tavolix::results {

namespace {

void OpenFolderOf(const std::string& path) {
    platform::ExecuteFile(pages::FileFolder(path), "", "", 1);
}

} // namespace

std::string FileUri(std::string_view path) {
    return "file://" + pages::PercentEncodePath(path);
}

namespace {

// What a file: URI keeps as it is, as the page's links: the unreserved
// bytes and "/".
constexpr bool KeptInUri(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

void AppendEncoded(QByteArray& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const unsigned char c : bytes) {
        if (KeptInUri(c)) {
            out.append(static_cast<char>(c));
        } else {
            const char hex[3] = {'%', kHex[c >> 4], kHex[c & 0x0F]};
            out.append(hex, 3);
        }
    }
}

// Text as the widgets show it: bytes that aren't UTF-8 as U+FFFD.
void AppendText(QByteArray& out, std::string_view bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (QUtf8StringView(view.data(), view.size()).isValidUtf8())
        out.append(view);
    else
        out.append(ui::ToText(bytes).toUtf8());
}

// Hits on their way out: their paths are kept as bytes, NUL-separated (a
// name may hold a line break, never a NUL), and each form is made from them
// when a program first asks for it: a million hits are some hundred
// megabytes in each form, and most copies are pasted in one form.
class THitsMimeData final : public QMimeData {
public:
    explicit THitsMimeData(QByteArray paths) : FPaths(std::move(paths)) {}

    QStringList formats() const override { return {kUriList, kGnomeFiles, kPlainText}; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override {
        if (mimeType == kUriList)
            return Uris();
        if (mimeType == kGnomeFiles) {
            // "copy", then a URI a line.
            if (FGnome.isNull()) {
                const QByteArray& uris = Uris();
                FGnome.reserve(uris.size() + 4);
                FGnome.append("copy");
                for (qsizetype from = 0; from < uris.size();) {
                    const qsizetype end = uris.indexOf("\r\n", from);
                    FGnome.append('\n').append(uris.constData() + from, end - from);
                    from = end + 2;
                }
            }
            return FGnome;
        }
        if (mimeType == kPlainText) {
            // Read as text by QMimeData itself.
            if (FText.isNull()) {
                FText.reserve(FPaths.size());
                ForEachPath([this](std::string_view path) {
                    if (!FText.isEmpty())
                        FText.append('\n');
                    AppendText(FText, path);
                });
            }
            return FText;
        }
        return {};
    }

private:
    template <typename Visit> void ForEachPath(const Visit& visit) const {
        for (qsizetype from = 0; from < FPaths.size();) {
            const qsizetype end = FPaths.indexOf('\0', from);
            visit(std::string_view(FPaths.constData() + from, static_cast<std::size_t>(end - from)));
            from = end + 1;
        }
    }

    const QByteArray& Uris() const {
        if (FUris.isNull()) {
            FUris.reserve(FPaths.size() + FPaths.size() / 4);
            // Hits of one folder come together: its part is encoded once.
            std::string_view lastDir;
            QByteArray dirUri;
            ForEachPath([&](std::string_view path) {
                const std::string_view dir = path.substr(0, path.rfind('/') + 1);
                if (dirUri.isNull() || dir != lastDir) {
                    lastDir = dir;
                    dirUri = "file://";
                    AppendEncoded(dirUri, dir);
                }
                FUris.append(dirUri);
                AppendEncoded(FUris, path.substr(dir.size()));
                FUris.append("\r\n");
            });
        }
        return FUris;
    }

    static inline const QString kUriList = QStringLiteral("text/uri-list");
    static inline const QString kGnomeFiles = QStringLiteral("x-special/gnome-copied-files");
    static inline const QString kPlainText = QStringLiteral("text/plain");
    QByteArray FPaths;
    mutable QByteArray FUris, FGnome, FText;
};

// Each record is read once (they lie scattered in memory, in the order of
// their walk), straight into the bytes the data keeps. `forEach` hands over
// each hit's folder and name.
template <typename ForEach> QMimeData* MimeDataOf(std::size_t expected, const ForEach& forEach) {
    QByteArray paths;
    paths.reserve(static_cast<qsizetype>(expected * 64));
    forEach([&](std::string_view dir, std::string_view name) {
        paths.append(dir.data(), static_cast<qsizetype>(dir.size()))
            .append(name.data(), static_cast<qsizetype>(name.size()))
            .append('\0');
    });
    return new THitsMimeData(std::move(paths));
}

} // namespace

QMimeData* HitsMimeData(const std::vector<std::string>& paths) {
    return MimeDataOf(paths.size(), [&paths](const auto& hit) {
        for (const std::string& path : paths)
            hit(std::string_view(), path);
    });
}

QMimeData* SelectedHitsMimeData(const hitview::TFileListBoxS& list) {
    return MimeDataOf(static_cast<std::size_t>(list.SelectedCount()), [&list](const auto& hit) {
        const search::TFileItemList& items = list.FileItems();
        for (const auto& [from, to] : list.SelectedRanges())
            for (int i = from; i <= to; ++i) {
                // The records ahead are asked of memory now: waiting for each
                // in turn is most of the time a million take.
                if (i + 16 <= to)
                    __builtin_prefetch(items.Item(i + 16));
                if (i + 8 <= to)
                    if (const search::TFileInfo* ahead = items.Item(i + 8))
                        __builtin_prefetch(ahead->FName);
                if (const search::TFileInfo* r = items.Item(i))
                    hit(r->Dir(), r->Name());
            }
    });
}

std::vector<std::string> SelectedPaths(const hitview::TFileListBoxS& list) {
    std::vector<std::string> paths;
    const search::TFileItemList& items = list.FileItems();
    for (const auto& [from, to] : list.SelectedRanges())
        for (int i = from; i <= to; ++i)
            if (const search::TFileInfo* r = items.Item(i))
                paths.push_back(r->Path());
    return paths;
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
        // The text alone, what a middle click pastes; its bytes are shared.
        auto* selection = new QMimeData;
        selection->setData(QStringLiteral("text/plain"), data->data(QStringLiteral("text/plain")));
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
    // The startup id: the file manager's window takes the focus with it.
    call << QStringList{QString::fromLatin1(FileUri(path))} << ui::NewActivationToken();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kShowItemsTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [path](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (w->isError())
                             OpenFolderOf(path);
                     });
}

} // namespace tavolix::results

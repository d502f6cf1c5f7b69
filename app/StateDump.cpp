#include "app/StateDump.h"

#include "app/DriveComboBox.h"
#include "app/FilterRow.h"
#include "app/about.h"
#include "app/serfile.h"
#include "dirtree/DirTVS.h"
#include "hitview/FLBoxS.h"
#include "results/DetailsView.h"
#include "results/PictureView.h"
#include "results/findf.h"
#include "ui/Hints.h"
#include "ui/NameText.h"
#include "words/CoreWords.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSplitter>
#include <QStandardItem>
#include <QTimer>

namespace tavolix::app {

namespace {

// The named control the focus is in: the nearest ancestor with a name.
QString FocusName() {
    for (const QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            return w->objectName();
    return QStringLiteral("-");
}

QString OneLine(QString text) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

// The folders whose listing is late, below `node`: "dead:1|hang:2" (1 being
// read, 2 not answering).
void CollectWaiting(const QStandardItem* node, QStringList& out) {
    for (int i = 0; i < node->rowCount(); ++i) {
        const QStandardItem* child = node->child(i);
        if (const int state = child->data(dirtree::TDirTreeModel::ReadStateRole).toInt())
            out << QString::fromUtf8(child->data(dirtree::TDirTreeModel::RawNameRole).toByteArray()) +
                       QStringLiteral(":%1").arg(state);
        CollectWaiting(child, out);
    }
}

QString StateOf(const QWidget* window) {
    if (window->isMinimized())
        return QStringLiteral("minimized");
    if (window->isMaximized())
        return QStringLiteral("maximized");
    return QStringLiteral("normal");
}

} // namespace

TStateDump::TStateDump(TMDIForm& frame, QString file)
    : QObject(&frame), FFrame(frame), FFile(std::move(file)) {
    FTimer = new QTimer(this);
    FTimer->setInterval(100);
    connect(FTimer, &QTimer::timeout, this, &TStateDump::WriteNow);
    FTimer->start();
}

QString TStateDump::StateText() const {
    QStringList lines;
    const QWidget* active = QApplication::activeWindow();
    lines << QStringLiteral("active=%1").arg(active ? OneLine(active->windowTitle()) : QStringLiteral("-"));
    lines << QStringLiteral("focus=%1").arg(FocusName());
    // What a typed line holds, to be read before it is sent.
    const auto* edit = qobject_cast<const QLineEdit*>(QApplication::focusWidget());
    lines << QStringLiteral("focus-text=%1").arg(edit ? OneLine(edit->text()) : QStringLiteral("-"));
    const auto* popup = qobject_cast<const QMenu*>(QApplication::activePopupWidget());
    lines << QStringLiteral("popup=%1").arg(popup ? OneLine(popup->title()) : QStringLiteral("-"));
    lines << QStringLiteral("key=%1").arg(OneLine(FFrame.KeyWordEditCB->currentText()));
    QStringList history;
    for (int i = 0; i < FFrame.KeyWordEditCB->count(); ++i)
        history << FFrame.KeyWordEditCB->itemText(i);
    lines << QStringLiteral("history=%1").arg(OneLine(history.join(QLatin1Char('|'))));
    lines << QStringLiteral("label=%1").arg(OneLine(FFrame.Label1->text()));
    lines << QStringLiteral("base=%1").arg(QString::fromStdString(FFrame.SelectedDirectory()));
    // The selected node open, with its subdirectories listed below it.
    int open = -1;
    if (const QStandardItem* node = FFrame.DirectoryListBox2->Selected())
        open = FFrame.DirectoryListBox2->isExpanded(node->index()) ? node->rowCount() : -1;
    lines << QStringLiteral("tree-open=%1").arg(open);
    QStringList waiting;
    CollectWaiting(FFrame.DirectoryListBox2->Model()->invisibleRootItem(), waiting);
    lines << QStringLiteral("tree-waiting=%1").arg(waiting.join(QLatin1Char('|')));
    lines << QStringLiteral("drive=%1").arg(QString::fromStdString(FFrame.DriveComboBox1->Drive()));
    QStringList drives;
    for (int i = 0; i < FFrame.DriveComboBox1->count(); ++i)
        drives << FFrame.DriveComboBox1->itemText(i);
    lines << QStringLiteral("drives=%1").arg(OneLine(drives.join(QLatin1Char('|'))));
    lines << QStringLiteral("tree-width=%1").arg(FFrame.Panel2->width());
    const QWidget* handle = FFrame.Splitter1->handle(1);
    const QPoint splitter = handle->mapTo(&FFrame, handle->rect().center());
    lines << QStringLiteral("splitter-at=%1,%2").arg(splitter.x()).arg(splitter.y());
    lines << QStringLiteral("filter-row=%1").arg(FFrame.FilterRow1->isVisible() ? 1 : 0);
    lines << QStringLiteral("filter=%1")
                 .arg(OneLine(ui::ToText(words::FilterText(FFrame.FilterRow1->Choice(), false))));
    const QPoint selector = FFrame.DriveComboBox1->mapTo(&FFrame, FFrame.DriveComboBox1->rect().center());
    lines << QStringLiteral("selector-at=%1,%2").arg(selector.x()).arg(selector.y());
    lines << QStringLiteral("selector-open=%1").arg(FFrame.DriveComboBox1->view()->isVisible() ? 1 : 0);
    // Shown and not covered: some of it is on the screen.
    const bool clockShown =
        FFrame.FClock->isVisible() && !FFrame.FClock->visibleRegion().isEmpty() && FFrame.FClock->width() > 0;
    lines << QStringLiteral("clock-visible=%1").arg(clockShown ? 1 : 0);
    lines << QStringLiteral("clock=%1").arg(FFrame.FClock->Text());
    lines << QStringLiteral("clock-active=%1").arg(FFrame.FClock->Active() ? 1 : 0);
    lines << QStringLiteral("bars-visible=%1")
                 .arg(FFrame.Panel1->isVisible() && FFrame.Panel2->isVisible() ? 1 : 0);
    lines << QStringLiteral("window-menu=%1").arg(FFrame.Windows1->menuAction()->isEnabled() ? 1 : 0);
    lines << QStringLiteral("status=") + OneLine(FFrame.StatusPanels[0]->text());
    lines << QStringLiteral("frame-state=") + StateOf(&FFrame);
    lines << QStringLiteral("frame-size=%1x%2").arg(FFrame.width()).arg(FFrame.height());
    lines << QStringLiteral("frame-title=") + OneLine(FFrame.windowTitle());
    // The version box's line about the picture helper's sandbox, while it is open.
    const TAboutBox* about = FFrame.AboutBox();
    lines << QStringLiteral("about-sandbox=%1")
                 .arg(about && about->isVisible() ? OneLine(about->SandboxText()) : QStringLiteral("-"));

    int searching = 0;
    const QList<QMdiSubWindow*> all = FFrame.MDIArea->subWindowList();
    for (QMdiSubWindow* window : all)
        if (auto* child = qobject_cast<results::TMDIChild*>(window->widget()))
            if (child->ListBox1->IsSearching())
                ++searching;
    lines << QStringLiteral("searching=%1").arg(searching);

    const auto windows = FFrame.ResultWindows();
    lines << QStringLiteral("windows=%1").arg(windows.size());
    int i = 0;
    for (results::TMDIChild* child : windows) {
        const QWidget* outer = FFrame.SubWindowOf(child);
        const QString prefix = QStringLiteral("window.%1.").arg(i++);
        lines << prefix + QStringLiteral("title=") +
                     OneLine(outer ? outer->windowTitle() : child->windowTitle());
        lines << prefix + QStringLiteral("key=") + QString::fromStdString(child->ListBox1->Mask());
        lines << prefix + QStringLiteral("state=") + StateOf(outer ? outer : child);
        // The clock on its own title bar, while it has one.
        const bool ownBar = outer && !outer->isMaximized() && !outer->isMinimized();
        lines << prefix + QStringLiteral("title-clock=") + (ownBar ? ui::TitleClock(outer) : QString());
        lines << prefix + QStringLiteral("size=%1x%2")
                              .arg((outer ? outer : child)->width())
                              .arg((outer ? outer : child)->height());
        lines << prefix + QStringLiteral("count=%1").arg(child->ListBox1->GetFileCount());
        lines << prefix + QStringLiteral("searching=%1").arg(child->Searching() ? 1 : 0);
        lines << prefix + QStringLiteral("sorting=%1").arg(child->ListBox1->IsSorting() ? 1 : 0);
        lines << prefix + QStringLiteral("stopped=%1").arg(child->ListBox1->SearchStopped() ? 1 : 0);
        lines << prefix + QStringLiteral("totals=") + OneLine(child->PanelLabel->text());
        lines << prefix + QStringLiteral("unread=") + OneLine(child->UnreadPanel->text());
        lines << prefix + QStringLiteral("notsearched=") + OneLine(child->NotSearchedPanel->text());
        lines << prefix + QStringLiteral("pictures=%1").arg(child->Pictures().Shown() ? 1 : 0);
        lines << prefix + QStringLiteral("pictures-ready=%1").arg(child->Pictures().ReadyCount());
        lines << prefix +
                     QStringLiteral("page-thumbnails=%1").arg(child->PageThumbnails1->isChecked() ? 1 : 0);
        lines << prefix + QStringLiteral("view=%1").arg(child->DetailsShown() ? QStringLiteral("details")
                                                                              : QStringLiteral("grid"));
        lines << prefix + QStringLiteral("columns=") + child->DetailsView1->ColumnsText();
        lines << prefix + QStringLiteral("selected=%1").arg(child->ListBox1->SelectedCount());
        lines << prefix + QStringLiteral("picture-size=%1").arg(child->Pictures().PictureSide());
        lines << prefix + QStringLiteral("grid=%1x%2")
                              .arg(child->ListBox1->Columns())
                              .arg(child->ListBox1->ItemHeight());
        lines << prefix + QStringLiteral("status=") + OneLine(child->StatusText());
        QStringList names;
        const int shown = std::min(child->ListBox1->Items().Count(), 50);
        for (int k = 0; k < shown; ++k)
            names << QString::fromStdString(std::string(child->ListBox1->Items().Strings(k)));
        lines << prefix + QStringLiteral("names=") + OneLine(names.join(QLatin1Char('|')));
    }
    lines << QStringLiteral("end=1");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void TStateDump::WriteNow() {
    const QString text = StateText();
    if (text == FLastWritten)
        return;
    const QString temporary = FFile + QStringLiteral(".new");
    QFile out(temporary);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    out.write(text.toUtf8());
    out.close();
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(FFile).constData()) == 0)
        FLastWritten = text;
}

} // namespace tavolix::app

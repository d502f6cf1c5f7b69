// A file manager on the session bus for the desktop tests: it answers
// org.freedesktop.FileManager1.ShowItems and writes down, a line a call, the
// items and the startup id it was given (tab-separated), into the file named
// by its argument. It says "ready" once the bus knows its name.

#include <cstdio>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QStringList>

namespace {

class TFileManager final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    TFileManager(QObject* parent, QString record)
        : QDBusAbstractAdaptor(parent), FRecord(std::move(record)) {}

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        QFile f(FRecord);
        if (f.open(QIODevice::Append)) {
            f.write(
                (uris.join(QLatin1Char(' ')) + QLatin1Char('\t') + startupId + QLatin1Char('\n')).toUtf8());
            f.close();
        }
    }
    void ShowFolders(const QStringList& uris, const QString& startupId) { ShowItems(uris, startupId); }

private:
    QString FRecord;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake_file_manager RECORD_FILE\n");
        return 2;
    }
    QObject root;
    new TFileManager(&root, QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &root) ||
        !bus.registerService(QStringLiteral("org.freedesktop.FileManager1"))) {
        std::fprintf(stderr, "fake_file_manager: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_file_manager.moc"

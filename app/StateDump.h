#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace tavolix::app {

class TMDIForm;

// Writes what the frame shows to a text file, one "name=value" a line, each
// time it changes (checked every 100 ms): for scripts that drive the real
// program with real input and can't look inside it. The file is replaced
// whole (written beside it, then renamed), so a reader never sees half.
class TStateDump : public QObject {
    Q_OBJECT
public:
    TStateDump(TMDIForm& frame, QString file);
    // The state as written.
    QString StateText() const;
    void WriteNow();

private:
    TMDIForm& FFrame;
    QString FFile;
    QString FLastWritten;
    QTimer* FTimer;
};

} // namespace tavolix::app

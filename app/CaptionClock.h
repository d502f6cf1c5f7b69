#pragma once

#include <QString>
#include <QWidget>

namespace tavolix::app {

// The clock in the menu bar's right corner, in title-bar colours.
class TCaptionClock : public QWidget {
    Q_OBJECT
public:
    explicit TCaptionClock(QWidget* parent = nullptr);
    void SetText(const QString& text);
    const QString& Text() const { return FText; }
    void SetActive(bool active);
    bool Active() const { return FActive; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FText;
    bool FActive = true;
};

} // namespace tavolix::app

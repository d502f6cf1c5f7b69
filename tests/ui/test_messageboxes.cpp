#include "ui/MessageBoxes.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tavolix::ui;
using R = TMessageResult;

namespace {

QStringList Captions(const QMessageBox& box) {
    QStringList captions;
    for (QAbstractButton* b : box.buttons()) {
        captions << b->text();
    }
    captions.sort();
    return captions;
}

TEST(MessageBoxes, KindsHaveTheirTitlesAndIcons) {
    const struct {
        TMessageKind Kind;
        QString Title;
        QMessageBox::Icon Icon;
    } cases[] = {
        {TMessageKind::Warning, "警告", QMessageBox::Warning},
        {TMessageKind::Error, "ｴﾗｰ", QMessageBox::Critical},
        {TMessageKind::Information, "情報", QMessageBox::Information},
        {TMessageKind::Confirmation, "確認", QMessageBox::Question},
        {TMessageKind::Plain, "Tavolix ヌバロ", QMessageBox::NoIcon},
    };
    for (const auto& c : cases) {
        std::unique_ptr<QMessageBox> box(BuildMessageBox(nullptr, c.Kind, "x", mbOK));
        EXPECT_EQ(box->windowTitle(), c.Title);
        EXPECT_EQ(box->icon(), c.Icon);
    }
}

TEST(MessageBoxes, TextIsShownPlainWithLineFeeds) {
    const QString text = "作成した <b>a&amp;b</b> ファイルを、\r\n\r\n直ちにブラウザで閲覧しますか ? ";
    std::unique_ptr<QMessageBox> box(
        BuildMessageBox(nullptr, TMessageKind::Confirmation, text, mbYes | mbNo));
    EXPECT_EQ(box->text(), "作成した <b>a&amp;b</b> ファイルを、\n\n直ちにブラウザで閲覧しますか ? ");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    auto* label = box->findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST(MessageBoxes, ButtonsDefaultAndEscape) {
    const struct {
        TButtons Buttons;
        QStringList Captions; // sorted
        R Default;
        R Escape;
    } cases[] = {
        {mbYes | mbNo, {"いいえ(&N)", "はい(&Y)"}, R::mrYes, R::mrNo},
        {mbOK, {"OK"}, R::mrOK, R::mrOK},
        {{}, {"OK"}, R::mrOK, R::mrOK},
        {mbOK | mbCancel, {"OK", "ｷｬﾝｾﾙ"}, R::mrOK, R::mrCancel},
        {mbYes | mbNo | mbCancel, {"いいえ(&N)", "はい(&Y)", "ｷｬﾝｾﾙ"}, R::mrYes, R::mrCancel},
        {mbYes | mbNo | mbOK, {"OK", "いいえ(&N)", "はい(&Y)"}, R::mrOK, R::mrNo},
        {mbNo | mbCancel, {"いいえ(&N)", "ｷｬﾝｾﾙ"}, R::mrNone, R::mrCancel},
        {mbYes, {"はい(&Y)"}, R::mrYes, R::mrYes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Captions.join(",").toStdString());
        std::unique_ptr<QMessageBox> box(BuildMessageBox(nullptr, TMessageKind::Plain, "q", c.Buttons));
        QStringList want = c.Captions;
        want.sort();
        EXPECT_EQ(Captions(*box), want);
        EXPECT_EQ(ResultOf(*box, box->defaultButton()), c.Default);
        EXPECT_EQ(ResultOf(*box, box->escapeButton()), c.Escape);
        EXPECT_EQ(EscapeResult(c.Buttons ? c.Buttons : TButtons(mbOK)), c.Escape);

        box->show();
        QTest::keyClick(box.get(), Qt::Key_Escape);
        EXPECT_EQ(ResultOf(*box, box->clickedButton()), c.Escape);
        if (c.Default != R::mrNone) {
            std::unique_ptr<QMessageBox> again(BuildMessageBox(nullptr, TMessageKind::Plain, "q", c.Buttons));
            again->show();
            QTest::keyClick(again.get(), Qt::Key_Return);
            EXPECT_EQ(ResultOf(*again, again->clickedButton()), c.Default);
        }
    }
}

// Presses a key in the next modal box as soon as it is up.
void PressInNextModal(Qt::Key key) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, key] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            QTest::keyClick(modal, key);
        }
    });
    timer->start(10);
}

TEST(MessageBoxes, ShowRunsTheBoxModally) {
    TMessageBoxSeam::Reset();
    PressInNextModal(Qt::Key_Escape);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Plain, "お疲れさま !!  終了しますか ? ", mbYes | mbNo),
              R::mrNo);
    PressInNextModal(Qt::Key_Return);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Plain, "お疲れさま !!  終了しますか ? ", mbYes | mbNo),
              R::mrYes);
    PressInNextModal(Qt::Key_Y);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Confirmation, "q", mbYes | mbNo), R::mrYes);
    // Closed by its title bar (a close event, as the window manager sends):
    // none of its buttons, not the escape button's No.
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            modal->close();
        }
    });
    timer->start(10);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Plain, "お疲れさま !!  終了しますか ? ", mbYes | mbNo),
              R::mrNone);
    EXPECT_TRUE(TMessageBoxSeam::Shown().empty());
}

TEST(MessageBoxes, SeamAnswersAndRecords) {
    TMessageBoxSeam::Reset();
    EXPECT_FALSE(TMessageBoxSeam::Active());
    TMessageBoxSeam::SetNextAnswers({R::mrNo, R::mrCancel});
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Plain, "a\r\nb", mbYes | mbNo), R::mrNo);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Warning, "w", mbOK | mbCancel), R::mrCancel);
    // Nothing queued: the default button, as Enter would.
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Error, "e", mbYes | mbNo), R::mrYes);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Information, "i", {}), R::mrOK);

    const auto& shown = TMessageBoxSeam::Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].Kind, TMessageKind::Plain);
    EXPECT_EQ(shown[0].Title, "Tavolix ヌバロ");
    EXPECT_EQ(shown[0].Text, "a\r\nb");
    EXPECT_EQ(shown[0].Buttons, mbYes | mbNo);
    EXPECT_EQ(shown[1].Title, "警告");
    EXPECT_EQ(shown[2].Title, "ｴﾗｰ");
    EXPECT_EQ(shown[3].Buttons, TButtons(mbOK));

    TMessageBoxSeam::SetHandler([](const TShownMessage& m) { return m.Text == "stay" ? R::mrNo : R::mrYes; });
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Plain, "stay", mbYes | mbNo), R::mrNo);
    EXPECT_EQ(ShowMessageBox(nullptr, TMessageKind::Plain, "go", mbYes | mbNo), R::mrYes);
    EXPECT_EQ(TMessageBoxSeam::Shown().size(), 6u);

    TMessageBoxSeam::Reset();
    EXPECT_FALSE(TMessageBoxSeam::Active());
    EXPECT_TRUE(TMessageBoxSeam::Shown().empty());
}

} // namespace

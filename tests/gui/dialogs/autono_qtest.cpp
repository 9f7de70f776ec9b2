// The auto-select dialog and the window side of a transfer, headless.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "main_window/mainunit1.h"
#include "seams/qt_transfer_host.h"
#include "dialogs/autono.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;

class AutoFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::PseudoTerminal> pty_;
    std::unique_ptr<test::ScopedEnv> homeEnv_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    test::ScriptedMessages messages_;

    std::unique_ptr<TForm1> Start() {
        auto form = std::make_unique<TForm1>(std::vector<std::string>{},
                                             ProgramFiles::In(program_->path()),
                                             TForm1::Services{&messages_, nullptr, {}});
        form->show();
        if (!QTest::qWaitFor([&] { return form->firstIdleDone(); }, 5000)) return nullptr;
        return form;
    }

    // Types into the dialog's edit once its modal loop runs, then presses a button.
    static void WhenShown(std::function<void(TAutoForm&)> act) {
        QTimer::singleShot(0, [act] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<TAutoForm*>(w); dialog && dialog->isVisible()) {
                    act(*dialog);
                    return;
                }
            }
            qFatal("the dialog is not open");
        });
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::TempDir>();
        pty_ = std::make_unique<test::PseudoTerminal>();
        QVERIFY(pty_->ok());
        homeEnv_ = std::make_unique<test::ScopedEnv>("HOME", home_->path().c_str());
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", pty_->slave().c_str());
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        portEnv_.reset();
        homeEnv_.reset();
        pty_.reset();
        home_.reset();
        program_.reset();
    }

    void theDialogFiltersKeysAndGivesTheNumber() {
        auto form = Start();
        QVERIFY(form);
        QtTransferHost host(form.get(), messages_);
        QString caption;
        QSize size;
        QPoint centreOffset;
        bool edited = false;
        bool onButton = false;
        WhenShown([&](TAutoForm& dialog) {
            caption = dialog.windowTitle();
            size = dialog.size();
            centreOffset = dialog.frameGeometry().center() - form->frameGeometry().center();
            QTest::keyClicks(dialog.LabeledEdit1, "1x-");
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_9);
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Backspace);
            QTest::keyClicks(dialog.LabeledEdit1, "-34");  // three characters at most
            edited = dialog.LabeledEdit1->text() == "1-3";
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Return);
            onButton = dialog.focusWidget() == dialog.Button1;
            dialog.Button1->click();
        });
        const std::optional<std::string> number = host.AskAutoSelectNumber();
        QCOMPARE(caption, QStringLiteral("自動切替"));
        QCOMPARE(size, QSize(210, 115));
        QVERIFY(std::abs(centreOffset.x()) <= 1 && std::abs(centreOffset.y()) <= 1);
        QVERIFY(edited);
        QVERIFY(onButton);
        QVERIFY(number.has_value());
        QCOMPARE(QString::fromStdString(*number), QStringLiteral("1-3"));
        // "x" and "9" were refused, each with the stop box.
        QCOMPARE(messages_.shown().size(), size_t{2});
        for (const auto& shown : messages_.shown()) {
            QCOMPARE(QString::fromStdString(shown.text), QStringLiteral("この文字は変更できません。\n"));
            QCOMPARE(QString::fromStdString(shown.caption), QStringLiteral("確認"));
            QCOMPARE(shown.icon, MessageIcon::Error);
        }
    }

    void enterOnAnEmptyFieldIsRefusedAndCancelGivesNothing() {
        auto form = Start();
        QVERIFY(form);
        QtTransferHost host(form.get(), messages_);
        bool stayed = false;
        WhenShown([&](TAutoForm& dialog) {
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Return);
            stayed = dialog.focusWidget() == dialog.LabeledEdit1;
            dialog.Button2->click();
        });
        QVERIFY(!host.AskAutoSelectNumber().has_value());
        QVERIFY(stayed);
        QCOMPARE(messages_.shown().size(), size_t{1});

        // Shown again, the field starts empty.
        bool empty = false;
        WhenShown([&](TAutoForm& dialog) {
            empty = dialog.LabeledEdit1->text().isEmpty();
            dialog.Button1->click();
        });
        QCOMPARE(host.AskAutoSelectNumber(), std::optional<std::string>(""));
        QVERIFY(empty);
    }

    void abortKeysAreTrackedAndReleased() {
        auto form = Start();
        QVERIFY(form);
        QtTransferHost host(form.get(), messages_);
        QVERIFY(!host.AbortKeyDown());
        QVERIFY(!host.AbortKeyPressed());

        QTest::keyPress(form->Edit1, Qt::Key_Escape);
        QVERIFY(host.AbortKeyDown());
        QTest::keyRelease(form->Edit1, Qt::Key_Escape);
        QVERIFY(!host.AbortKeyDown());
        QVERIFY(host.AbortKeyPressed());   // pressed since last asked
        QVERIFY(!host.AbortKeyPressed());  // asked: forgotten

        QTest::keyPress(form->Edit1, Qt::Key_F3);
        QVERIFY(host.AbortKeyDown());
        host.ReleaseAbortKeys();
        QVERIFY(!host.AbortKeyDown());
        QVERIFY(!host.AbortKeyPressed());
        // The held key's repeat and release are swallowed, then keys count again.
        int seen = 0;
        struct Counter : QObject {
            int* seen;
            explicit Counter(int* s) : seen(s) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) ++*seen;
                return false;
            }
        } counter(&seen);
        form->Edit1->installEventFilter(&counter);
        QTest::keyRelease(form->Edit1, Qt::Key_F3);
        QCOMPARE(seen, 0);
        QVERIFY(!host.AbortKeyPressed());
        QTest::keyPress(form->Edit1, Qt::Key_F3);
        QVERIFY(seen > 0);
        QVERIFY(host.AbortKeyPressed());
        QTest::keyRelease(form->Edit1, Qt::Key_F3);
        form->Edit1->removeEventFilter(&counter);
    }

    void lampsPanelsAndProgressShowWhatTheTransferSays() {
        auto form = Start();
        QVERIFY(form);
        QtTransferHost host(form.get(), messages_);
        host.SetDsrLamp(true);
        QCOMPARE(form->LabeledEdit1->text(), QStringLiteral(" ●"));
        QCOMPARE(form->LabeledEdit1->palette().color(QPalette::Text), QColor(Qt::blue));
        host.SetDsrLamp(false);
        QCOMPARE(form->LabeledEdit1->palette().color(QPalette::Text), QColor(Qt::red));
        host.SetCtsLamp(true);
        QCOMPARE(form->LabeledEdit2->text(), QStringLiteral(" ●"));
        host.SetCtsLamp(false);
        QCOMPARE(form->LabeledEdit2->text(), QStringLiteral(" ○"));
        host.SetStatusPanel(3, "＜＜ 送信中 ＞＞");
        QCOMPARE(form->StatusPanels[3]->text(), QStringLiteral("＜＜ 送信中 ＞＞"));
        host.SetProgressRange(500);
        host.SetProgressPosition(120);
        QCOMPARE(form->ProgressBar1->maximum(), 500);
        // Steps follow at the next refresh; the start of a range at once.
        QTRY_COMPARE(form->ProgressBar1->value(), 120);
        host.SetProgressPosition(0);
        QCOMPARE(form->ProgressBar1->value(), 0);
        host.SetMessageLine("送信中止しました。!!", MessageLineColour::Red);
        QCOMPARE(form->Label11->text(), QStringLiteral("送信中止しました。!!"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
    }
};

QTEST_MAIN(AutoFormTest)
#include "autono_qtest.moc"

// Qt's own dialogs in Japanese: the folder browser of Shift+F5 shows Qt's
// buttons, which only Qt's translations turn Japanese.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

#include "seams/qt_translations.h"

class QtTranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void theFolderBrowserSpeaksJapanese() {
        QVERIFY(wexal::InstallQtTranslations(*qApp));
        QFileDialog dialog(nullptr, QStringLiteral("フォルダーの選択"), QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.show();
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QStringList texts;
        for (QAbstractButton* button : buttons->buttons()) texts << button->text();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts.contains(QStringLiteral("キャンセル")), qPrintable(texts.join('|')));
        QVERIFY2(texts.contains(QStringLiteral("選択(&C)")) || texts.contains(QStringLiteral("選択")),
                 qPrintable(texts.join('|')));
    }
};

QTEST_MAIN(QtTranslationsTest)
#include "qt_translations_qtest.moc"

// The program's fonts draw the rarer characters, and its message boxes are
// as wide as their titles need.

#include "testmain.h"

#include "textlook.h"

#include <QApplication>
#include <QMessageBox>
#include <QRawFont>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

class TestTextLook : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase()
    {
        saved_ = QApplication::font();
        varnel::useReadableText(*qApp);
    }
    void cleanupTestCase() { QApplication::setFont(saved_); }

    // Every character comes from a font that has it: no glyph 0 (the font's
    // missing-glyph box) in the laid-out text.
    void charactersHaveGlyphs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("common") << QStringLiteral("标题内容");
        QTest::newRow("Extension A") << QStringLiteral("㐀");
        QTest::newRow("Extension B") << QStringLiteral("𠮷𪚥");
        QTest::newRow("emoji") << QStringLiteral("🎁🚀");
        QTest::newRow("mixed") << QStringLiteral("Varnel 笔记 🎁 𠮷");
    }
    void charactersHaveGlyphs()
    {
        QFETCH(QString, text);
        QTextLayout layout(text, QApplication::font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun &run : layout.glyphRuns())
            for (quint32 glyph : run.glyphIndexes())
                QVERIFY2(glyph != 0, qPrintable(run.rawFont().familyName() +
                                                QStringLiteral(" lacks a character of ") + text));
    }

    // A short message under a long title is widened to the title.
    void boxesAreAsWideAsTheirTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("错误提示") << QStringLiteral("错误提示");
        QTest::newRow("Varnel提示") << QStringLiteral("Varnel提示");
        QTest::newRow("Varnel升级") << QStringLiteral("Varnel升级");
    }
    void boxesAreAsWideAsTheirTitles()
    {
        QFETCH(QString, title);
        QMessageBox box(QMessageBox::Information, title, QStringLiteral("好"), QMessageBox::Ok);
        int shownWidth = 0;
        QTimer::singleShot(0, &box, [&] { // the box as it was mapped
            shownWidth = box.width();
            box.accept();
        });
        box.exec();
        QVERIFY2(shownWidth >= varnel::MessageBoxWidths::widthFor(&box),
                 qPrintable(QStringLiteral("%1 < %2")
                                .arg(shownWidth)
                                .arg(varnel::MessageBoxWidths::widthFor(&box))));
        QVERIFY(shownWidth >= box.fontMetrics().horizontalAdvance(title) + 110);
    }

  private:
    QFont saved_;
};

VARNEL_TEST_CLASS(TestTextLook);
#include "tst_textlook.moc"

// The scale the windows are drawn at: the desktop's, lowered only where the
// notes window would not fit the screen.

#include "testmain.h"

#include "screenfit.h"

#include <QtTest>

class TestScreenFit : public QObject
{
    Q_OBJECT

  private slots:
    void fittingScale_data()
    {
        QTest::addColumn<double>("desktop");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<double>("user");
        QTest::addColumn<double>("factor"); // 0: nothing to set
        const QSize big(3840, 2160), small(1024, 768);
        const double smallFits = (768 - 72) / 418.0;
        QTest::newRow("scale 1: nothing") << 1.0 << QSize(1280, 1024) << 1.0 << 0.0;
        QTest::newRow("the user's own factor stands") << 1.0 << big << 1.5 << 0.0;
        QTest::newRow("desktop scale 2 on a large screen") << 2.0 << big << 1.0 << 0.0;
        QTest::newRow("scale 2 on 1024x768: lowered") << 2.0 << small << 1.0 << smallFits / 2;
        QTest::newRow("the user's factor lowered alike") << 1.0 << small << 2.0 << smallFits;
        QTest::newRow("both, lowered") << 2.0 << small << 1.5 << 1.5 * smallFits / 3;
        QTest::newRow("never below 1:1") << 1.5 << QSize(640, 480) << 1.0 << 1 / 1.5;
        QTest::newRow("a smaller factor the user asked for") << 1.0 << small << 0.8 << 0.0;
    }
    void fittingScale()
    {
        QFETCH(double, desktop);
        QFETCH(QSize, screen);
        QFETCH(double, user);
        QFETCH(double, factor);
        const auto got = varnel::fittingScaleFactor(QSize(455, 418), desktop, screen, user);
        QCOMPARE(got.has_value(), factor > 0);
        if (got) {
            QVERIFY2(std::abs(*got - factor) < 1e-6, qPrintable(QString::number(*got)));
            // Qt then draws at the desktop's scale times the factor.
            const double drawn = desktop * *got;
            QVERIFY(qFuzzyCompare(drawn, 1.0) ||
                    (418 * drawn <= screen.height() && 455 * drawn <= screen.width()));
        }
    }
};

VARNEL_TEST_CLASS(TestScreenFit);
#include "tst_screenfit.moc"

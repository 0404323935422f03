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
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<double>("user");
        QTest::addColumn<double>("factor"); // 0: nothing to set
        const QSize big(3840, 2160), small(1024, 768);
        QTest::newRow("scale 1 fits") << 1.0 << QSize(1280, 1024) << 1.0 << 0.0;
        QTest::newRow("scale 2 on a large screen fits") << 2.0 << big << 1.0 << 0.0;
        QTest::newRow("scale 2 on 1024x768: lowered") << 2.0 << small << 1.0 << (768 - 72) / 418.0 / 2;
        QTest::newRow("the user's factor is lowered alike")
            << 2.0 << small << 2.0 << (768 - 72) / 418.0;
        QTest::newRow("never below 1:1") << 1.5 << QSize(640, 480) << 1.0 << 1 / 1.5;
    }
    void fittingScale()
    {
        QFETCH(double, scale);
        QFETCH(QSize, screen);
        QFETCH(double, user);
        QFETCH(double, factor);
        const auto got = varnel::fittingScaleFactor(QSize(455, 418), scale, screen, user);
        QCOMPARE(got.has_value(), factor > 0);
        if (got) {
            QVERIFY2(std::abs(*got - factor) < 1e-6, qPrintable(QString::number(*got)));
            // At the new scale the window and the desktop's margins fit.
            const double shown = scale * *got / user;
            QVERIFY(418 * shown <= screen.height() || qFuzzyCompare(shown, 1.0));
        }
    }
};

VARNEL_TEST_CLASS(TestScreenFit);
#include "tst_screenfit.moc"

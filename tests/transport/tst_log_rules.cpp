// The programs' default log rules: debug lines off unless asked for, warnings always on.
#include "LogRules.h"

#include <QLoggingCategory>
#include <QTest>

class LogRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }

    void byDefaultOnlyWarningsShow()
    {
        LogRules::apply(false);
        QLoggingCategory stars("velmora.stars");
        QVERIFY(!stars.isDebugEnabled());
        QVERIFY(stars.isWarningEnabled());
        QVERIFY(!QLoggingCategory::defaultCategory()->isDebugEnabled());
        QVERIFY(QLoggingCategory::defaultCategory()->isWarningEnabled());
    }

    void verboseShowsTheProgramsOwnDebugLines()
    {
        LogRules::apply(true);
        QVERIFY(QLoggingCategory("velmora.update").isDebugEnabled());
        QVERIFY(QLoggingCategory("velmora.ui").isDebugEnabled());
        QVERIFY(!QLoggingCategory("qt.widgets.gestures").isDebugEnabled());
    }

    void extraCategoriesStayOn()
    {
        LogRules::apply(false, {QStringLiteral("velmora.calibration")});
        QVERIFY(QLoggingCategory("velmora.calibration").isDebugEnabled());
        QVERIFY(!QLoggingCategory("velmora.stars").isDebugEnabled());
    }

    void testsStillChooseTheirOwnRules()
    {
        LogRules::apply(false);
        QLoggingCategory::setFilterRules(QStringLiteral("velmora.stars.debug=true"));
        QVERIFY(QLoggingCategory("velmora.stars").isDebugEnabled());
    }
};

QTEST_GUILESS_MAIN(LogRulesTest)
#include "tst_log_rules.moc"

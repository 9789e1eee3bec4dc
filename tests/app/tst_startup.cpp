// Start-up: the locale rule for the translation, the style sheet, the first paint and a normal exit.
#include "IsolatedSettings.h"
#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTranslator>
#include <QtTest>

namespace {

// Remembers the window size at the window's first paint.
class FirstPaint : public QObject
{
public:
    QSize size;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && size.isEmpty())
            size = static_cast<QWidget *>(watched)->size();
        return false;
    }
};

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void helpSaysHowToSeeDebugLines()
    {
        QProcess velmora;
        velmora.start(QDir(qEnvironmentVariable("VELMORA_BIN_DIR")).filePath(QStringLiteral("velmora")), {QStringLiteral("--help")});
        QVERIFY(velmora.waitForFinished(30000));
        QCOMPARE(velmora.exitCode(), 0);
        const QString help = QString::fromUtf8(velmora.readAllStandardOutput());
        QVERIFY2(help.contains(QLatin1String("--verbose")), qPrintable(help));
        QVERIFY(help.contains(QLatin1String("QT_LOGGING_RULES")));
    }

    void localeChoosesTheTexts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("tabText");
        QTest::newRow("zh_CN") << "zh_CN" << QStringLiteral("IMU校准");
        QTest::newRow("en_US") << "en_US" << QStringLiteral("IMU Calibration");
        QTest::newRow("de_DE") << "de_DE" << QStringLiteral("IMU Calibration");
        QTest::newRow("zh_TW") << "zh_TW" << QStringLiteral("IMU Calibration");
        QTest::newRow("C") << "C" << QStringLiteral("IMU Calibration");
        QTest::newRow("zh_cn is not zh_CN") << "zh_cn" << QStringLiteral("IMU Calibration");
    }

    void localeChoosesTheTexts()
    {
        QFETCH(QString, locale);
        QFETCH(QString, tabText);
        QTranslator translator;
        Startup::installTranslation(*qApp, translator, locale);
        QCOMPARE(QCoreApplication::translate("MainWindow", "IMU校准"), tabText);
        QCoreApplication::removeTranslator(&translator);
    }

    void productNamesWithoutEntryReadTheSameInEnglish()
    {
        QTranslator translator;
        Startup::installTranslation(*qApp, translator, QStringLiteral("en_US"));
        QCOMPARE(QCoreApplication::translate("MainWindow", "K5-Cedar"), QStringLiteral("K5-Cedar"));
        QCOMPARE(QCoreApplication::translate("MainWindow", "K5-Ember2"), QStringLiteral("K5-Ember2"));
        QCOMPARE(QCoreApplication::translate("MainWindow", "K5 (两轴)"), QStringLiteral("K5 (2-Axis)"));
        QCoreApplication::removeTranslator(&translator);
    }

    void darkStyleSheetIsApplied()
    {
        qApp->setStyleSheet(QString());
        Startup::loadStyleSheet();
        QVERIFY(qApp->styleSheet().contains(QLatin1String("#302F2F"), Qt::CaseInsensitive));
        qApp->setStyleSheet(QString());
    }

    void windowIsFirstDrawnAtStartSizeAndClosesWithZero()
    {
        FirstPaint firstPaint;
        QSize sizeWhenShown;
        const int result = Startup::runMainWindow(*qApp, [&](MainWindow &window) {
            window.installEventFilter(&firstPaint);
            sizeWhenShown = window.size();
            // A normal close, as by the window's close button, once the loop runs.
            QTimer::singleShot(200, &window, [&window] { window.close(); });
        });
        QCOMPARE(result, 0);
        QCOMPARE(sizeWhenShown, QSize(410, 466));
        QCOMPARE(firstPaint.size, QSize(410, 466));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"

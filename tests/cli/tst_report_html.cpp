// velmora-cli journal report --html: one page with nothing fetched or run, opened in Debian's
// headless Chromium, whose screenshot must hold its charts (the updates' and each check
// measurement's spread); an empty range says so.
#include "CliProcess.h"
#include "JournalStore.h"
#include "YieldSamples.h"

#include <QImage>
#include <QTemporaryDir>

namespace {

// Pixels of about `colour` (the bars' fill) in the image.
int pixelsLike(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - qRed(colour)) < 12 && qAbs(qGreen(p) - qGreen(colour)) < 12 && qAbs(qBlue(p) - qBlue(colour)) < 12)
                ++count;
        }
    return count;
}

} // namespace

class ReportHtmlTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString journalFile;

private slots:
    void initTestCase()
    {
        journalFile = dir.filePath(QStringLiteral("journal.sqlite"));
        JournalStore store;
        QString error;
        QVERIFY2(store.open(JournalStore::Backend::Local, journalFile, 2000, &error), qPrintable(error));
        QList<JournalRecord> records = YieldSamples::line();
        // A station name that would be markup if it were not escaped.
        records.append(YieldSamples::attempt("2026-12-01T20:00:00Z", 30, "<script>alert(1)</script><img src=x>", "write-failed",
                                             "", {0x600}));
        QVERIFY2(store.append(records, &error), qPrintable(error));
    }

    void pageShowsItsChartsInABrowser_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("svgs");
        QTest::addColumn<bool>("bars");    // yield and failure bars
        QTest::addColumn<bool>("spreads"); // the measurements' boxes
        // Two charts of the updates, and one for each of the three measurements.
        QTest::newRow("a line's days") << "2026-11-01" << "" << 5 << true << true;
        QTest::newRow("calibrations only: their checks' spreads") << "2026-11-01" << "calibration" << 4 << false << true;
        QTest::newRow("empty range") << "2027-01-01" << "" << 0 << false << false;
    }

    void pageShowsItsChartsInABrowser()
    {
        QFETCH(QString, since);
        QFETCH(QString, kind);
        QFETCH(int, svgs);
        QFETCH(bool, bars);
        QFETCH(bool, spreads);
        const QString page = dir.filePath(QStringLiteral("report-%1%2.html").arg(since, kind));
        CliProcess cli;
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL_FILE"), journalFile);
        cli.extraEnvironment.insert(QStringLiteral("VELMORA_JOURNAL"), QString());
        QStringList arguments{QStringLiteral("journal"), QStringLiteral("report"), QStringLiteral("--since"), since,
                              QStringLiteral("--html"), page};
        if (!kind.isEmpty())
            arguments << QStringLiteral("--kind") << kind;
        QCOMPARE(cli.run(arguments), 0);
        QFile file(page);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        for (const char *outside : {"<script", "<img", "<link", "<iframe", "<object", "href=", "url(", "http:", "https:", "@import"})
            QVERIFY2(!html.contains(QLatin1String(outside), Qt::CaseInsensitive), outside);
        QCOMPARE(html.contains(QLatin1String("class=\"empty\"")), svgs == 0);
        QCOMPARE(html.count(QLatin1String("<svg")), svgs);

        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("Debian's chromium is not installed (scripts/setup.sh installs it)");
        const QTemporaryDir profile;
        const QString shot = dir.filePath(QStringLiteral("shot-%1%2.png").arg(since, kind));
        QProcess browser;
        browser.setProcessChannelMode(QProcess::MergedChannels);
        browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                                 QStringLiteral("--disable-quic"), QStringLiteral("--no-first-run"),
                                 QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
                                 QStringLiteral("--disable-sync"), QStringLiteral("--user-data-dir=") + profile.path(),
                                 QStringLiteral("--hide-scrollbars"), QStringLiteral("--window-size=820,2000"),
                                 QStringLiteral("--screenshot=") + shot, QUrl::fromLocalFile(page).toString()});
        QVERIFY2(browser.waitForFinished(60000), "chromium did not end within a minute");
        QImage image(shot);
        QVERIFY2(!image.isNull(), browser.readAll().right(2000).constData());
        // The yield bars' blue and the Pareto bars' red, as the page's style gives them.
        const int yieldBars = pixelsLike(image, qRgb(0x3a, 0x7b, 0xd5));
        const int failureBars = pixelsLike(image, qRgb(0xd5, 0x55, 0x3a));
        QVERIFY2(bars ? yieldBars > 500 && failureBars > 500 : yieldBars == 0 && failureBars == 0,
                 qPrintable(QStringLiteral("%1 yield and %2 failure bar pixels").arg(yieldBars).arg(failureBars)));
        // The measurements' 10th-90th percentile boxes, each inside its limits' band.
        const int boxes = pixelsLike(image, qRgb(0x6a, 0x4f, 0xb3)), band = pixelsLike(image, qRgb(0xdc, 0xef, 0xdc));
        QVERIFY2(spreads ? boxes > 300 && band > 3000 : boxes == 0 && band < 300,
                 qPrintable(QStringLiteral("%1 box and %2 band pixels").arg(boxes).arg(band)));
    }
};

QTEST_GUILESS_MAIN(ReportHtmlTest)
#include "tst_report_html.moc"

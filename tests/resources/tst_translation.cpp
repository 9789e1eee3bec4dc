// The compiled English translation: every entry of en_US.ts translates, and nothing else does.
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

struct Entry {
    QString context;
    QString source;
    QString translation;
    // A message that agrees with its count: its English singular and plural forms.
    QStringList forms;
    bool numerus = false;
};

// Reads context, source and translation of every message in a Qt Linguist file.
QList<Entry> readTsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Entry> entries;
    QXmlStreamReader xml(&file);
    QString context;
    Entry current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"context")
                context.clear();
            else if (xml.name() == u"name")
                context = xml.readElementText();
            else if (xml.name() == u"message")
                current = Entry{context, QString(), QString(), {}, xml.attributes().value(QStringLiteral("numerus")) == u"yes"};
            else if (xml.name() == u"source")
                current.source = xml.readElementText();
            else if (xml.name() == u"translation" && !current.numerus)
                current.translation = xml.readElementText();
            else if (xml.name() == u"numerusform")
                current.forms.append(xml.readElementText());
        } else if (xml.isEndElement() && xml.name() == u"message") {
            entries.append(current);
        }
    }
    return xml.hasError() ? QList<Entry>() : entries;
}

} // namespace

class TranslationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linguistFileHasTheWindowsAndTheServicesEntries();
    void everySourceTranslatesToItsEnglishText();
    void productNamesWithoutEntryReadTheSame();

private:
    QTranslator translator;
    QList<Entry> entries;
};

void TranslationTest::initTestCase()
{
    // The compiled translation comes with the static resource library, no Q_INIT_RESOURCE needed.
    QVERIFY(translator.load(QStringLiteral(":/en_US.qm")));
    QVERIFY(!translator.isEmpty());
    entries = readTsFile(QStringLiteral(VELMORA_TS_FILE));
}

void TranslationTest::linguistFileHasTheWindowsAndTheServicesEntries()
{
    // The window's and the update service's texts (65), the interrupted-update hint, the
    // missing-adapter text, the plot button and its window's title; the plot window; the words
    // of the calibration steps, the chip progress, the link hints and the stop question; the
    // history button, the journal's problems, the History window, its table (each with the check
    // kind) and the chips' last updates; the package's signature and the choice of signed
    // packages only; the History window's range and summary view, the yield summary's figures and
    // its charts; the catalogue's button and its group in the firmware tab (release, download,
    // refusals, settings); the check's measurements, verdicts, failures and hint; the Check button
    // and its tool tip, the check's table, the words of a calibration's own check and of a second failure;
    // the station window's tiles (phases, verdicts, outcomes) and its bar, scan field and counts.
    QHash<QString, int> perContext;
    for (const Entry &e : std::as_const(entries))
        ++perContext[e.context];
    QCOMPARE(perContext.value(QStringLiteral("MainWindow")) + perContext.value(QStringLiteral("UpdateService")), 86);
    QCOMPARE(perContext.value(QStringLiteral("SensorPlotWindow")), 11);
    QCOMPARE(perContext.value(QStringLiteral("CalibrationWords")), 8);
    QCOMPARE(perContext.value(QStringLiteral("ChipProgress")), 4);
    QCOMPARE(perContext.value(QStringLiteral("LinkHints")), 2);
    QCOMPARE(perContext.value(QStringLiteral("StopUpdateQuestion")), 4);
    QCOMPARE(perContext.value(QStringLiteral("HistoryWindow")), 14);
    QCOMPARE(perContext.value(QStringLiteral("YieldSummary")), 11);
    QCOMPARE(perContext.value(QStringLiteral("YieldCharts")), 4);
    QCOMPARE(perContext.value(QStringLiteral("JournalTableModel")), 20);
    QCOMPARE(perContext.value(QStringLiteral("ChipHistory")), 2);
    QCOMPARE(perContext.value(QStringLiteral("CatalogueOffer")), 32);
    QCOMPARE(perContext.value(QStringLiteral("CheckWords")), 16);
    QCOMPARE(perContext.value(QStringLiteral("CheckFigures")), 8);
    QCOMPARE(perContext.value(QStringLiteral("StationTile")), 23);
    QCOMPARE(perContext.value(QStringLiteral("StationWindow")), 35);
    QCOMPARE(perContext.size(), 17);
}

void TranslationTest::everySourceTranslatesToItsEnglishText()
{
    for (const Entry &e : std::as_const(entries)) {
        if (e.numerus) {
            QCOMPARE(e.forms.size(), 2);
            QCOMPARE(translator.translate(e.context.toUtf8().constData(), e.source.toUtf8().constData(), nullptr, 1), e.forms[0]);
            QCOMPARE(translator.translate(e.context.toUtf8().constData(), e.source.toUtf8().constData(), nullptr, 2), e.forms[1]);
            continue;
        }
        const QString english = translator.translate(e.context.toUtf8().constData(), e.source.toUtf8().constData());
        QVERIFY2(english == e.translation, qPrintable(e.context + QLatin1Char('/') + e.source + QLatin1String(" -> ") + english));
    }
    // A text known in one context is not translated in the other.
    QVERIFY(translator.translate("UpdateService", "打开串口").isEmpty());
}

void TranslationTest::productNamesWithoutEntryReadTheSame()
{
    for (const char *name : {"K5-Cedar", "K5-Ember2"})
        QVERIFY2(translator.translate("MainWindow", name).isEmpty(), name);
    QCOMPARE(translator.translate("MainWindow", "K5-Birch2"), QStringLiteral("K5-Birch2"));
}

QTEST_GUILESS_MAIN(TranslationTest)
#include "tst_translation.moc"

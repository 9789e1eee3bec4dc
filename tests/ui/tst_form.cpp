// The generated main-window form: widget states, read-out boxes, focus order and slot wiring.
#include "ui_MainWindow.h"

#include <QAbstractSpinBox>
#include <QtTest>

namespace {

// A window with slots named like the real window's, to see when the form calls them.
class ProbeWindow : public QMainWindow
{
    Q_OBJECT

public:
    int openClicks = 0;
    int productChanges = 0;
    int tabChanges = 0;

private slots:
    void on_openportButton_clicked() { ++openClicks; }
    void on_productType_currentIndexChanged(int) { ++productChanges; }
    void on_tabWidget_currentChanged(int) { ++tabChanges; }
};

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        window = new ProbeWindow;
        form = new Ui_MainWindow;
        form->setupUi(window);
    }

    void cleanup()
    {
        delete form;
        delete window;
    }

    void windowStartsAtFormSizeWithTitle()
    {
        QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window->size(), QSize(411, 349));
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora"));
        QVERIFY(window->statusBar() == form->statusBar);
        QVERIFY(!window->menuWidget());
    }

    void connectAndDownloadStartDisabled()
    {
        QVERIFY(!form->connectButton->isEnabled());
        QVERIFY(!form->downloadButton->isEnabled());
        QVERIFY(form->openportButton->isEnabled());
        QVERIFY(form->calibrateButton->isEnabled());
    }

    void firstTabIsCurrentWithItsText()
    {
        QCOMPARE(form->tabWidget->currentIndex(), 0);
        QCOMPARE(form->tabWidget->count(), 2);
        QCOMPARE(form->tabWidget->tabText(0), QStringLiteral("IMU校准"));
        QCOMPARE(form->tabWidget->tabText(1), QStringLiteral("固件更新"));
        QCOMPARE(form->tabWidget->tabPosition(), QTabWidget::North);
    }

    void readoutBoxesAreReadOnlyWithRanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("maximum");
        for (const char *axis : {"Gx", "Gy", "Gz"})
            QTest::newRow(axis) << QStringLiteral("doubleSpinBox_%1").arg(QLatin1String(axis)) << 1 << 2000.0;
        QTest::newRow("Gmod") << QStringLiteral("doubleSpinBox_Gmod") << 1 << 32767.0;
        for (const char *axis : {"Ax", "Ay", "Az", "Amod"})
            QTest::newRow(axis) << QStringLiteral("doubleSpinBox_%1").arg(QLatin1String(axis)) << 3 << 10.0;
    }

    void readoutBoxesAreReadOnlyWithRanges()
    {
        QFETCH(QString, name);
        QFETCH(int, decimals);
        QFETCH(double, maximum);
        auto *box = window->findChild<QDoubleSpinBox *>(name);
        QVERIFY(box);
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->buttonSymbols(), QAbstractSpinBox::NoButtons);
        QCOMPARE(box->alignment(), Qt::AlignCenter);
        QCOMPARE(box->decimals(), decimals);
        QCOMPARE(box->maximum(), maximum);
        QCOMPARE(box->minimum(), maximum == 32767.0 ? -32768.0 : -maximum);
        // Values outside the range are clamped by the box itself.
        box->setValue(maximum + 500);
        QCOMPARE(box->value(), maximum);
    }

    void gyroBoxShowsClampedText()
    {
        form->doubleSpinBox_Gx->setValue(2500);
        QCOMPARE(form->doubleSpinBox_Gx->text(), QStringLiteral("2000.0"));
    }

    void focusFollowsTheFormOrder()
    {
        const QStringList expected = {
            "openportButton",   "calibrateButton",  "checkButton",        "productType",      "tabWidget",
            "doubleSpinBox_Gx", "doubleSpinBox_Gy", "doubleSpinBox_Gz",   "doubleSpinBox_Gmod", "doubleSpinBox_Ax",
            "doubleSpinBox_Ay", "doubleSpinBox_Az", "doubleSpinBox_Amod", "connectButton",    "comboBox_port",
            "pathComboBox",     "browseButton",     "firmwareView",       "deviceView",       "downloadButton",
        };
        QStringList seen;
        QWidget *w = form->openportButton;
        for (int steps = 0; steps < 500 && seen.size() < expected.size(); ++steps, w = w->nextInFocusChain()) {
            if (expected.contains(w->objectName()) && !seen.contains(w->objectName()))
                seen.append(w->objectName());
        }
        QCOMPARE(seen, expected);
    }

    void setupCallsNoSlotButConnectsThemByName()
    {
        QCOMPARE(window->openClicks, 0);
        QCOMPARE(window->productChanges, 0);
        QCOMPARE(window->tabChanges, 0);

        QTest::mouseClick(form->openportButton, Qt::LeftButton);
        form->tabWidget->setCurrentIndex(1);
        form->productType->addItem(QStringLiteral("row"));
        QCOMPARE(window->openClicks, 1);
        QCOMPARE(window->tabChanges, 1);
        QCOMPARE(window->productChanges, 1);
    }

private:
    ProbeWindow *window = nullptr;
    Ui_MainWindow *form = nullptr;
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"

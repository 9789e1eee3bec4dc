// The dark style sheet: it parses, every icon it names is compiled in, and it styles the form's widgets.
#include "IsolatedSettings.h"
#include "ResourcePaths.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

namespace {

QStringList captured;

void captureMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured.append(message);
}

QString styleSheet()
{
    QFile file(ResourcePaths::styleSheet);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

const QStringList iconNames = {
    QStringLiteral("Hmovetoolbar"), QStringLiteral("Vmovetoolbar"), QStringLiteral("Hsepartoolbar"),
    QStringLiteral("Vsepartoolbar"), QStringLiteral("stylesheet-branch-more"), QStringLiteral("stylesheet-branch-end"),
    QStringLiteral("stylesheet-vline"), QStringLiteral("branch_open"), QStringLiteral("branch_open-on"),
    QStringLiteral("branch_closed"), QStringLiteral("branch_closed-on"), QStringLiteral("right_arrow"),
    QStringLiteral("right_arrow_disabled"), QStringLiteral("left_arrow"), QStringLiteral("left_arrow_disabled"),
    QStringLiteral("up_arrow"), QStringLiteral("up_arrow_disabled"), QStringLiteral("down_arrow"),
    QStringLiteral("down_arrow_disabled"), QStringLiteral("checkbox"), QStringLiteral("undock"),
    QStringLiteral("sizegrip"), QStringLiteral("close"), QStringLiteral("transparent"),
};

// A read-only read-out box as the calibration tab uses it.
QDoubleSpinBox *readOut(QWidget *parent, int decimals, double limit)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setReadOnly(true);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setAlignment(Qt::AlignCenter);
    box->setDecimals(decimals);
    box->setRange(-limit, limit);
    box->setValue(-limit);
    return box;
}

} // namespace

class StyleSheetTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void styleSheetIsCompiledIn();
    void everyStyleIconLoads_data();
    void everyStyleIconLoads();
    void everyUrlInTheStyleSheetExists();
    void styleSheetAppliesWithoutParseWarnings();
    void readOutBoxesShowTheirWidestValue();
};

void StyleSheetTest::styleSheetIsCompiledIn()
{
    const QString qss = styleSheet();
    QVERIFY(!qss.isEmpty());
    for (const char *colour : {"#302F2F", "#78879B", "#3A3939", "silver"})
        QVERIFY2(qss.contains(QLatin1String(colour), Qt::CaseInsensitive), colour);
}

void StyleSheetTest::everyStyleIconLoads_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &name : iconNames)
        QTest::newRow(qPrintable(name)) << QStringLiteral(":/qss_icons/rc/%1.png").arg(name);
}

void StyleSheetTest::everyStyleIconLoads()
{
    QFETCH(QString, path);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVERIFY(image.width() <= 32 && image.height() <= 32);
    QVERIFY(image.hasAlphaChannel());
}

void StyleSheetTest::everyUrlInTheStyleSheetExists()
{
    const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
    QSet<QString> named;
    for (const auto &match : url.globalMatch(styleSheet()))
        named.insert(match.captured(1).trimmed());
    QVERIFY(named.size() >= 20);
    for (const QString &path : named) {
        QVERIFY2(path.startsWith(QLatin1String(":/qss_icons/rc/")), qPrintable(path));
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }
}

void StyleSheetTest::styleSheetAppliesWithoutParseWarnings()
{
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessages);
    // First make sure a broken sheet would be noticed by this very check.
    qApp->setStyleSheet(QStringLiteral("QWidget { color: silver; "));
    QWidget probe;
    probe.ensurePolished();
    qApp->setStyleSheet(QString());
    const bool brokenSheetReported = !captured.isEmpty();
    captured.clear();

    qApp->setStyleSheet(styleSheet());
    {
        QMainWindow window;
        auto *central = new QWidget(&window);
        auto *layout = new QVBoxLayout(central);
        auto *group = new QGroupBox(QStringLiteral("Group"), central);
        layout->addWidget(group);
        layout->addWidget(new QPushButton(QStringLiteral("Open"), central));
        auto *combo = new QComboBox(central);
        combo->addItems({QStringLiteral("one"), QStringLiteral("two")});
        layout->addWidget(combo);
        auto *editable = new QComboBox(central);
        editable->setEditable(true);
        layout->addWidget(editable);
        layout->addWidget(readOut(central, 1, 2000));
        auto *tabs = new QTabWidget(central);
        tabs->addTab(new QLabel(QStringLiteral("a")), QStringLiteral("A"));
        tabs->addTab(new QWidget, QStringLiteral("B"));
        layout->addWidget(tabs);
        auto *table = new QTableView(central);
        auto *model = new QStandardItemModel(40, 4, table);
        table->setModel(model);
        layout->addWidget(table);
        auto *progress = new QProgressBar(central);
        progress->setRange(0, 1000);
        progress->setValue(400);
        layout->addWidget(progress);
        layout->addWidget(new QScrollBar(Qt::Horizontal, central));
        layout->addWidget(new QScrollBar(Qt::Vertical, central));
        window.setCentralWidget(central);
        window.setStatusBar(new QStatusBar(&window));
        window.statusBar()->showMessage(QStringLiteral("ready"));
        window.resize(410, 466);
        window.show();
        for (QWidget *w : window.findChildren<QWidget *>())
            w->ensurePolished();
        window.grab(); // paints every widget, which resolves every rule and image
    }
    qApp->setStyleSheet(QString());
    qInstallMessageHandler(previous);
    QVERIFY(brokenSheetReported);
    for (const QString &message : std::as_const(captured))
        QVERIFY2(!message.contains(QLatin1String("parse"), Qt::CaseInsensitive)
                     && !message.contains(QLatin1String("stylesheet"), Qt::CaseInsensitive),
                 qPrintable(message));
}

void StyleSheetTest::readOutBoxesShowTheirWidestValue()
{
    qApp->setStyleSheet(styleSheet());
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    QDoubleSpinBox *gyro = readOut(&window, 1, 2000);
    QDoubleSpinBox *accel = readOut(&window, 3, 10);
    layout->addWidget(gyro);
    layout->addWidget(accel);
    window.show();
    for (QDoubleSpinBox *box : {gyro, accel}) {
        box->resize(box->sizeHint());
        QLineEdit *edit = box->findChild<QLineEdit *>();
        QVERIFY(edit);
        // Without step buttons the text field takes nearly the whole box: no room is kept for arrows.
        QVERIFY2(edit->width() >= box->width() - 12, qPrintable(QStringLiteral("%1 of %2").arg(edit->width()).arg(box->width())));
        QVERIFY(edit->width() >= edit->fontMetrics().horizontalAdvance(box->text()));
    }
    qApp->setStyleSheet(QString());
}

QTEST_MAIN(StyleSheetTest)
#include "tst_stylesheet.moc"

// The read-out spin box draws its frame once per look: it must look exactly like a plain spin
// box in every state, and a stale frame after a resize, a state or a style change is a fault.
#include "ReadoutSpinBox.h"
#include "ResourcePaths.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QProxyStyle>
#include <QStyleOptionComplex>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// Counts how often a spin box's frame is drawn.
class CountingStyle : public QProxyStyle
{
public:
    int frames = 0;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        if (control == CC_SpinBox)
            ++const_cast<CountingStyle *>(this)->frames;
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
};

void configure(QDoubleSpinBox &box)
{
    box.setReadOnly(true);
    box.setButtonSymbols(QAbstractSpinBox::NoButtons);
    box.setAlignment(Qt::AlignCenter);
    box.setDecimals(3);
    box.setRange(-10, 10);
    box.setAutoFillBackground(true);
    box.resize(90, 24);
}

QString programStyleSheet()
{
    QFile file(ResourcePaths::styleSheet);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The largest difference of any colour channel between two pictures of one size.
int largestDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            largest = std::max({largest, std::abs(qRed(p[column]) - qRed(q[column])),
                                std::abs(qGreen(p[column]) - qGreen(q[column])),
                                std::abs(qBlue(p[column]) - qBlue(q[column])),
                                std::abs(qAlpha(p[column]) - qAlpha(q[column]))});
        }
    }
    return largest;
}

using Change = std::function<void(QDoubleSpinBox &)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestReadoutSpinBox : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qApp->setStyleSheet(QString()); }

    // Each row paints both boxes once (so the frame is kept), makes a change to both, and
    // compares what each paints then.
    void looksLikeAPlainSpinBoxAfterEveryChange_data()
    {
        QTest::addColumn<bool>("styled");
        QTest::addColumn<Change>("change");
        for (bool styled : {false, true}) {
            const char *look = styled ? "style sheet" : "plain style";
            QTest::addRow("%s, resized", look) << styled << Change([](QDoubleSpinBox &b) { b.resize(140, 40); });
            QTest::addRow("%s, disabled", look) << styled << Change([](QDoubleSpinBox &b) { b.setEnabled(false); });
            QTest::addRow("%s, palette", look) << styled << Change([](QDoubleSpinBox &b) {
                QPalette palette = b.palette();
                palette.setColor(QPalette::Base, Qt::darkRed);
                palette.setColor(QPalette::Window, Qt::darkGreen);
                b.setPalette(palette);
            });
            QTest::addRow("%s, own style sheet", look) << styled << Change([](QDoubleSpinBox &b) {
                b.setStyleSheet(QStringLiteral("QDoubleSpinBox { border: 3px solid #c05020; background: #203040; }"));
            });
        }
        QTest::addRow("style sheet removed from the application") << true << Change([](QDoubleSpinBox &) {
            qApp->setStyleSheet(QString());
        });
    }
    void looksLikeAPlainSpinBoxAfterEveryChange()
    {
        QFETCH(bool, styled);
        QFETCH(Change, change);
        if (styled) {
            const QString sheet = programStyleSheet();
            QVERIFY(!sheet.isEmpty());
            qApp->setStyleSheet(sheet);
        }
        ReadoutSpinBox readout;
        QDoubleSpinBox plain;
        for (QDoubleSpinBox *box : {static_cast<QDoubleSpinBox *>(&readout), &plain}) {
            configure(*box);
            box->setValue(1.5);
        }
        // Drawing the frame apart and then copying it may round an edge's blend by one step.
        QVERIFY(largestDifference(readout.grab().toImage(), plain.grab().toImage()) <= 1);
        change(readout);
        change(plain);
        const int difference = largestDifference(readout.grab().toImage(), plain.grab().toImage());
        QVERIFY2(difference <= 1, qPrintable(QStringLiteral("a colour differs by %1").arg(difference)));
    }

    // The point of the box: new values do not draw the frame again, a new size does.
    void frameIsDrawnOncePerLook()
    {
        auto style = std::make_unique<CountingStyle>();
        ReadoutSpinBox box;
        configure(box);
        box.setStyle(style.get());
        (void)box.grab();
        QCOMPARE(style->frames, 1);
        for (int i = 0; i < 20; ++i) {
            box.setValue(i / 8.0);
            (void)box.grab();
        }
        QCOMPARE(style->frames, 1);
        box.resize(120, 30);
        (void)box.grab();
        QCOMPARE(style->frames, 2);
    }
};

QTEST_MAIN(TestReadoutSpinBox)
#include "tst_readout_spinbox.moc"

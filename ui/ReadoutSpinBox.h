// A read-only spin box of the calibration tab's read-out that keeps its frame as a picture.
// Every new value repaints the whole box, and with the program's style sheet drawing the frame
// is most of that paint. The frame only changes with the box's size, state, palette or style,
// so it is drawn once into a pixmap and copied on the following paints; the number itself is
// the line edit's, painted on top as before.
#pragma once

#include <QDoubleSpinBox>
#include <QPixmap>
#include <QStyle>

class ReadoutSpinBox : public QDoubleSpinBox
{
    Q_OBJECT

public:
    explicit ReadoutSpinBox(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Everything of the style option that the frame's drawing depends on.
    struct FrameKey
    {
        QSize size;
        qreal devicePixelRatio = 0;
        int state = 0;
        int subControls = 0;
        int activeSubControls = 0;
        int stepEnabled = 0;
        int buttonSymbols = 0;
        bool frame = false;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        qint64 palette = 0;
        const QStyle *style = nullptr;

        bool operator==(const FrameKey &other) const;
    };

    QPixmap frame;
    FrameKey frameKey;
};

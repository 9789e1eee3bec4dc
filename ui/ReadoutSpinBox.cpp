// The read-out spin box's frame, drawn once per look and copied on every value change.
#include "ReadoutSpinBox.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionSpinBox>

bool ReadoutSpinBox::FrameKey::operator==(const FrameKey &other) const
{
    return size == other.size && devicePixelRatio == other.devicePixelRatio && state == other.state
           && subControls == other.subControls && activeSubControls == other.activeSubControls
           && stepEnabled == other.stepEnabled && buttonSymbols == other.buttonSymbols && frame == other.frame
           && direction == other.direction && palette == other.palette && style == other.style;
}

ReadoutSpinBox::ReadoutSpinBox(QWidget *parent)
    : QDoubleSpinBox(parent)
{
}

void ReadoutSpinBox::paintEvent(QPaintEvent *)
{
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const FrameKey key{option.rect.size(),
                       devicePixelRatioF(),
                       int(option.state),
                       int(option.subControls),
                       int(option.activeSubControls),
                       int(option.stepEnabled),
                       int(option.buttonSymbols),
                       option.frame,
                       option.direction,
                       option.palette.cacheKey(),
                       style()};
    if (frame.isNull() || !(key == frameKey)) {
        frame = QPixmap(option.rect.size() * key.devicePixelRatio);
        frame.setDevicePixelRatio(key.devicePixelRatio);
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        style()->drawComplexControl(QStyle::CC_SpinBox, &option, &painter, this);
        frameKey = key;
    }
    QPainter painter(this);
    painter.drawPixmap(option.rect.topLeft(), frame);
}

void ReadoutSpinBox::changeEvent(QEvent *event)
{
    // A new style sheet or font may change the frame without changing anything in the key.
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
        frame = QPixmap();
        break;
    default:
        break;
    }
    QDoubleSpinBox::changeEvent(event);
}

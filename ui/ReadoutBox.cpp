// Cheap updates of a read-out box.
#include "ReadoutBox.h"

#include <QDoubleSpinBox>
#include <cmath>

ReadoutBox::ReadoutBox(QDoubleSpinBox *b)
    : box(b)
    , scale(b ? std::pow(10.0, b->decimals()) : 1.0)
    , low(b ? std::llround(b->minimum() * scale) : 0)
    , high(b ? std::llround(b->maximum() * scale) : 0)
    , shown(0)
{
}

bool ReadoutBox::show(float value)
{
    if (!box)
        return false;
    // A NaN cannot come from register counts; it would show as 0. Infinities clamp to the range.
    const double scaled = std::isnan(value) ? 0.0 : double(value) * scale;
    const qint64 units = qBound(low, qint64(std::llround(qBound(double(low), scaled, double(high)))), high);
    if (valid && units == shown)
        return false;
    valid = true;
    shown = units;
    box->setValue(double(units) / scale);
    return true;
}

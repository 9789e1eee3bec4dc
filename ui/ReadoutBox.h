// One read-out box of the calibration tab, told a new value only when what it shows changes.
// A spin box formats and repaints on every setValue, even an unchanged one; at 50 updates a
// second for eight boxes that was most of a connected, idle window's cost. The value is
// clamped to the box's range and rounded to its decimals here, with integer arithmetic, and
// compared with what the box was last given.
#pragma once

#include <QtGlobal>

class QDoubleSpinBox;

class ReadoutBox
{
public:
    explicit ReadoutBox(QDoubleSpinBox *box = nullptr);

    // Shows `value`, rounded half away from zero; false when the box was left alone.
    bool show(float value);

private:
    QDoubleSpinBox *box;
    double scale;     // 10^decimals
    qint64 low, high; // the box's range in units of its last decimal
    qint64 shown;     // what the box was last given, in units of its last decimal
    bool valid = false;
};

// The logging category of the calibration procedure; select it with QT_LOGGING_RULES="velmora.calibration*".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCalibration)

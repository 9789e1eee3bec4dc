// The logging category of the calibration procedure.
#include "CalibrationLog.h"

Q_LOGGING_CATEGORY(lcCalibration, "velmora.calibration")

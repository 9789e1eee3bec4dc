// The command line of velmora-gimbal-sim, parsed into the settings of the simulated device.
#pragma once

#include "GimbalDevice.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QCoreApplication;

struct SimOptions
{
    GimbalSettings gimbal;
    LineSettings line;
    RoleSettings roles;
    QList<QByteArray> preload; // images for the chips' flash, in chip order
    QString flashDir;
    bool trace = false;
    bool traceTime = false; // each trace line ends in " @<CLOCK_MONOTONIC ns>"
    QString linkPath;
    bool linkGiven = false; // --link was given; otherwise linkPath is the default
};

// Fills `options` from the command line; false (with a message on stderr) when a value is
// invalid or a package cannot be used. Handles --help itself.
bool parseSimOptions(const QCoreApplication &app, SimOptions *options);

// Fills and lays out the firmware tab's two tables and picks the package out of a drop.
#pragma once

#include "DeviceInfo.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class QStandardItemModel;
class QTableView;
struct ptzHeader;

class FirmwareTables
{
public:
    // Row height of both tables, in pixels.
    static constexpr int RowHeight = 22;
    // Column of the structure code, kept in the models but not shown.
    static constexpr int HiddenColumn = 1;

    // Gives `model` the header `labels`, sets it into `view`, stretches every column, hides the
    // structure column and fixes the row height.
    static void setUp(QTableView *view, QStandardItemModel *model, const QStringList &labels);

    // Replaces the rows of `model` with one row per image of `header`, numbered from 1.
    static void showPackage(QStandardItemModel *model, const ptzHeader &header);

    // Replaces the rows of `model` with one row per chip, in list order.
    static void showDevices(QStandardItemModel *model, const QList<deviceInfo> &devices);

    // The package path of a drop of `urls`: the single file whose suffix is exactly "ptz" or
    // "PTZ", otherwise an empty string. `paths` receives every dropped path, in order.
    static QString droppedPackage(const QList<QUrl> &urls, QStringList *paths);
};

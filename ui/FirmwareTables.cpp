// Fills and lays out the firmware tab's two tables and picks the package out of a drop.
#include "FirmwareTables.h"

#include "PtzFile.h"
#include "UiLog.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

namespace {

// One table row: centred, read-only cells.
QList<QStandardItem *> makeRow(const QStringList &texts)
{
    QList<QStandardItem *> row;
    for (const QString &text : texts) {
        auto *item = new QStandardItem(text);
        item->setTextAlignment(Qt::AlignCenter);
        item->setEditable(false);
        row.append(item);
    }
    return row;
}

void clearRows(QStandardItemModel *model)
{
    model->removeRows(0, model->rowCount());
}

} // namespace

void FirmwareTables::setUp(QTableView *view, QStandardItemModel *model, const QStringList &labels)
{
    model->setHorizontalHeaderLabels(labels);
    view->setModel(model);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->setColumnHidden(HiddenColumn, true);
    // The style's minimum may lie above 22 px for larger fonts; the rows keep 22 px regardless.
    view->verticalHeader()->setMinimumSectionSize(RowHeight);
    view->verticalHeader()->setDefaultSectionSize(RowHeight);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void FirmwareTables::showPackage(QStandardItemModel *model, const ptzHeader &header)
{
    clearRows(model);
    // unpack accepts only packages with exactly `count` images.
    for (int k = 0; k < header.images.size(); ++k) {
        const ptzImage &image = header.images.at(k);
        model->appendRow(makeRow({QString::asprintf("%d", k + 1), QString::asprintf("%04X", header.arch),
                                  QString::asprintf("%04X", image.hardware),
                                  QString::asprintf("%0.2f", image.firmware / 100.0)}));
    }
}

void FirmwareTables::showDevices(QStandardItemModel *model, const QList<deviceInfo> &devices)
{
    clearRows(model);
    for (const deviceInfo &d : devices)
        model->appendRow(makeRow({d.device, d.structure, d.hardware, d.firmware}));
}

QString FirmwareTables::droppedPackage(const QList<QUrl> &urls, QStringList *paths)
{
    for (const QUrl &url : urls)
        paths->append(url.toLocalFile());
    if (paths->size() != 1)
        return QString();
    const QFileInfo info(paths->first());
    // The text after the last dot; a mixed-case "Ptz" is not taken.
    const QString suffix = info.suffix();
    if (suffix != QLatin1String("ptz") && suffix != QLatin1String("PTZ"))
        return QString();
    qCDebug(lcUi) << info.fileName() << suffix;
    return paths->first();
}

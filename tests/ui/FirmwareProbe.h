// Reaches the firmware tab's widgets and builds package files for the firmware-tab tests.
#pragma once

#include "PtzFile.h"
#include "WindowProbe.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QMimeData>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>

struct FirmwareProbe
{
    explicit FirmwareProbe(WindowProbe &p)
        : probe(p)
    {
    }

    QTabWidget *tabs() const { return probe.widget<QTabWidget>("tabWidget"); }
    QPushButton *connectButton() const { return probe.widget<QPushButton>("connectButton"); }
    QPushButton *downloadButton() const { return probe.widget<QPushButton>("downloadButton"); }
    QPushButton *browseButton() const { return probe.widget<QPushButton>("browseButton"); }
    QComboBox *paths() const { return probe.widget<QComboBox>("pathComboBox"); }
    QTableView *firmwareView() const { return probe.widget<QTableView>("firmwareView"); }
    QTableView *deviceView() const { return probe.widget<QTableView>("deviceView"); }
    QProgressBar *progress() const { return probe.widget<QProgressBar>("progressBar"); }
    QAbstractItemModel *firmware() const { return firmwareView()->model(); }
    // Which chip is being written and how long is left, beside the progress bar.
    QString chipWords() const { return probe.widget<QLabel>("chipWords")->text(); }
    QAbstractItemModel *devices() const { return deviceView()->model(); }

    void showFirmwareTab() const { tabs()->setCurrentIndex(1); }
    void showCalibrationTab() const { tabs()->setCurrentIndex(0); }

    QStringList pathItems() const
    {
        QStringList items;
        for (int i = 0; i < paths()->count(); ++i)
            items.append(paths()->itemText(i));
        return items;
    }

    // The texts of one table row, hidden column included.
    static QStringList row(const QAbstractItemModel *model, int r)
    {
        QStringList texts;
        for (int c = 0; c < model->columnCount(); ++c)
            texts.append(model->index(r, c).data().toString());
        return texts;
    }

    // Drops `paths` on the window as a file manager would; returns whether the drop was taken.
    bool drop(const QStringList &files) const
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &file : files)
            urls.append(QUrl::fromLocalFile(file));
        data.setUrls(urls);
        const QPointF at(probe.window.width() / 2.0, probe.window.height() / 2.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&probe.window, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&probe.window, &dropped);
        return dropped.isAccepted();
    }

    WindowProbe &probe;
};

// Answers the question asked before a running write is given up, as a user would: clicks
// "Stop the update" (`stop`) or "Keep writing" in the modal box once it shows. Counts the
// questions answered.
struct StopQuestionAnswerer
{
    void answerNext(bool stop)
    {
        QTimer::singleShot(0, [this, stop] { click(stop, 200); });
    }
    void click(bool stop, int triesLeft)
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->objectName() != QLatin1String("stopUpdateQuestion")) {
            if (triesLeft > 0)
                QTimer::singleShot(10, [this, stop, triesLeft] { click(stop, triesLeft - 1); });
            return;
        }
        texts.append(box->text());
        ++asked;
        box->findChild<QPushButton *>(QLatin1String(stop ? "stopUpdateButton" : "keepWritingButton"))->click();
    }
    int asked = 0;
    QStringList texts;
};

// One image of a test package: hardware code, version times 100 and size in bytes.
struct TestImage
{
    uint16_t hardware;
    uint16_t firmware;
    int bytes;
};

// Writes a package of `images` with structure `arch` to `path`; false if it cannot be written.
inline bool writePackage(const QString &path, uint16_t arch, const QList<TestImage> &images)
{
    PtzFile package;
    for (int k = 0; k < images.size(); ++k) {
        QByteArray data(images.at(k).bytes, char(0));
        for (int i = 0; i < data.size(); ++i)
            data[i] = char((i * 7 + k) & 0xFF);
        if (!package.addImage(images.at(k).hardware, images.at(k).firmware, data))
            return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(package.build(1, 0x0100, arch, 1)) > 0;
}

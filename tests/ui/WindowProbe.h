// Reaches the main window's widgets by object name, as a user sees them.
#pragma once

#include "MainWindow.h"
#include "ResourcePaths.h"
#include "SvgViewer.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QImage>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

struct WindowProbe
{
    explicit WindowProbe(MainWindow &w)
        : window(w)
    {
    }

    template <typename T>
    T *widget(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }

    QComboBox *ports() const { return widget<QComboBox>("comboBox_port"); }
    QComboBox *products() const { return widget<QComboBox>("productType"); }
    QPushButton *openButton() const { return widget<QPushButton>("openportButton"); }
    QPushButton *calibrateButton() const { return widget<QPushButton>("calibrateButton"); }
    QGroupBox *stepBox() const { return widget<QGroupBox>("groupBox_image"); }
    SvgViewer *viewer() const { return widget<SvgViewer>("svgviewer"); }
    QString status() const { return window.statusBar()->currentMessage(); }
    double readout(const char *name) const { return widget<QDoubleSpinBox>(name)->value(); }
    QString readoutText(const char *name) const { return widget<QDoubleSpinBox>(name)->text(); }

    QStringList portItems() const
    {
        QStringList items;
        for (int i = 0; i < ports()->count(); ++i)
            items.append(ports()->itemText(i));
        return items;
    }

    // Selects `path` in the port list and presses the open button.
    void open(const QString &path) const
    {
        ports()->setCurrentIndex(ports()->findText(path));
        QTest::mouseClick(openButton(), Qt::LeftButton);
    }

    // Whether the picture widget shows the picture at `path` (compared by what is drawn).
    bool shows(const QString &path) const
    {
        SvgViewer reference;
        reference.resize(viewer()->size());
        reference.load(path);
        return drawn(*viewer()) == drawn(reference);
    }

    static QImage drawn(SvgViewer &v)
    {
        QImage image(v.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        v.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    MainWindow &window;
};

// Cost of one paint of a step picture at the window's picture size.
#include "MainWindow.h"
#include "ResourcePaths.h"
#include "SvgViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The picture area of the window at its start size of 410 x 466.
    QSize size;
    {
        MainWindow window;
        window.show();
        window.resize(410, 466);
        QCoreApplication::processEvents();
        size = window.findChild<SvgViewer *>(QStringLiteral("svgviewer"))->size();
        window.close();
    }
    SvgViewer viewer;
    viewer.resize(size);
    QImage target(size, QImage::Format_ARGB32_Premultiplied);
    for (const QString &set : ResourcePaths::pictureSets()) {
        viewer.load(ResourcePaths::stepPicture(set, 1));
        std::vector<double> ms;
        for (int i = 0; i < 60; ++i) {
            QElapsedTimer clock;
            clock.start();
            viewer.render(&target);
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-7s paint at %dx%d: median %.2f ms, p90 %.2f ms\n", qPrintable(set), size.width(),
                    size.height(), ms[ms.size() / 2], ms[ms.size() * 9 / 10]);
    }
    return 0;
}

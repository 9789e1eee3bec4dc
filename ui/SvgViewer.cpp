#include "SvgViewer.h"

#include <QPainter>
#include <QSvgRenderer>

SvgViewer::SvgViewer(QWidget *parent)
    : QWidget(parent)
    , renderer(new QSvgRenderer)
{
}

SvgViewer::~SvgViewer()
{
    delete renderer;
}

bool SvgViewer::load(const QString &path)
{
    const bool loaded = renderer->load(path);
    repaint();
    return loaded;
}

QSize SvgViewer::fittedSize(const QSize &widget, const QSize &viewBox)
{
    const double sx = double(widget.width()) / viewBox.width();
    const double sy = double(widget.height()) / viewBox.height();
    if (sy > sx)
        return QSize(widget.width(), int(sx * viewBox.height()));
    return QSize(int(sy * viewBox.width()), widget.height());
}

void SvgViewer::paintEvent(QPaintEvent *)
{
    const QSize viewBox = renderer->viewBox().size();
    // Without a valid picture the scale factors are undefined: draw nothing.
    if (!renderer->isValid() || viewBox.isEmpty() || width() <= 0 || height() <= 0)
        return;

    const QSize shown = fittedSize(size(), viewBox);
    if (shown.isEmpty())
        return;
    if (buffer.size() != shown)
        buffer = QImage(shown, QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::transparent);
    {
        QPainter imagePainter(&buffer);
        renderer->render(&imagePainter);
    }

    QPainter painter(this);
    painter.save();
    painter.drawImage(QPoint(width() / 2 - shown.width() / 2, height() / 2 - shown.height() / 2), buffer);
    painter.restore();
}

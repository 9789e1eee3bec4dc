// Widget that shows one SVG picture, scaled to fit without distortion and centred.
#pragma once

#include <QImage>
#include <QWidget>

class QSvgRenderer;

class SvgViewer : public QWidget
{
    Q_OBJECT

public:
    explicit SvgViewer(QWidget *parent = nullptr);
    ~SvgViewer() override;

    // Loads the picture at `path` and repaints at once; returns whether it loaded.
    bool load(const QString &path);

    // The size at which a picture with view box `viewBox` is shown in a widget of size `widget`:
    // the widget's full width when it is relatively taller than the picture, else its full height.
    static QSize fittedSize(const QSize &widget, const QSize &viewBox);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer *renderer;
    QImage buffer; // rendered picture, reused while the shown size stays the same
};

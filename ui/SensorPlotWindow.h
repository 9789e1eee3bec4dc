// The live sensor plot's own window: the last 10 s of the read-out as curves, with pause,
// auto-scaled or fixed axes, and recording to a CSV file.
//
// Samples are always buffered and, while recording, always written; pausing freezes only the
// picture (a copy of the buffer taken at the pause), so neither history nor a recording has a
// gap. The plot is repainted once per sample while the window is shown and not paused; a hidden
// window paints nothing and runs no timer.
#pragma once

#include "CsvRecorder.h"
#include "SampleRing.h"

#include <QElapsedTimer>
#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class SensorPlot;

class SensorPlotWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SensorPlotWindow(QWidget *parent = nullptr);

    // A sample stamped with the window's own monotonic clock, or with `ms`.
    void addSample(const SensorReadout &r);
    void addSample(qint64 ms, const SensorReadout &r);

    void setPaused(bool paused);
    bool isPaused() const { return paused; }
    // Starts recording to `path` (the button asks for it with a file dialog); false and the
    // reason shown when the file cannot be written.
    bool startRecording(const QString &path);
    void stopRecording();
    bool isRecording() const { return recorder.isRecording(); }

    const SampleRing &samples() const { return ring; }
    SensorPlot *plot() const { return plotWidget; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onRecordClicked(bool checked);
    void showRecordingState();
    void applyScale();

    SampleRing ring;
    SampleRing frozen; // what a paused plot shows
    CsvRecorder recorder;
    QElapsedTimer clock;
    bool paused = false;
    SensorPlot *plotWidget;
    QPushButton *pauseButton;
    QCheckBox *autoScaleBox;
    QDoubleSpinBox *gyroRangeBox;
    QDoubleSpinBox *accRangeBox;
    QPushButton *recordButton;
    QLabel *recordLabel;
};

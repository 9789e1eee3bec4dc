// The plot window's controls and sample flow.
#include "SensorPlotWindow.h"

#include "SensorPlot.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SensorPlotWindow::SensorPlotWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , plotWidget(new SensorPlot(this))
    , pauseButton(new QPushButton(tr("暂停"), this))
    , autoScaleBox(new QCheckBox(tr("自动缩放"), this))
    , gyroRangeBox(new QDoubleSpinBox(this))
    , accRangeBox(new QDoubleSpinBox(this))
    , recordButton(new QPushButton(tr("录制 CSV…"), this))
    , recordLabel(new QLabel(this))
{
    setWindowTitle(tr("传感器曲线"));
    setObjectName(QStringLiteral("SensorPlotWindow"));
    clock.start();

    pauseButton->setObjectName(QStringLiteral("pauseButton"));
    pauseButton->setCheckable(true);
    autoScaleBox->setObjectName(QStringLiteral("autoScaleBox"));
    autoScaleBox->setChecked(true);
    gyroRangeBox->setObjectName(QStringLiteral("gyroRangeBox"));
    gyroRangeBox->setRange(1.0, 2000.0);
    gyroRangeBox->setDecimals(0);
    gyroRangeBox->setValue(250.0);
    gyroRangeBox->setPrefix(QStringLiteral("±"));
    gyroRangeBox->setSuffix(QStringLiteral(" °/s"));
    accRangeBox->setObjectName(QStringLiteral("accRangeBox"));
    accRangeBox->setRange(0.1, 16.0);
    accRangeBox->setDecimals(1);
    accRangeBox->setSingleStep(0.5);
    accRangeBox->setValue(2.0);
    accRangeBox->setPrefix(QStringLiteral("±"));
    accRangeBox->setSuffix(QStringLiteral(" g"));
    recordButton->setObjectName(QStringLiteral("recordButton"));
    recordButton->setCheckable(true);
    recordLabel->setObjectName(QStringLiteral("recordLabel"));
    recordLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *controls = new QHBoxLayout;
    controls->addWidget(pauseButton);
    controls->addWidget(autoScaleBox);
    controls->addWidget(gyroRangeBox);
    controls->addWidget(accRangeBox);
    controls->addStretch(1);
    controls->addWidget(recordButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(controls);
    layout->addWidget(plotWidget, 1);
    layout->addWidget(recordLabel);

    plotWidget->setSamples(&ring);
    connect(pauseButton, &QPushButton::toggled, this, &SensorPlotWindow::setPaused);
    connect(autoScaleBox, &QCheckBox::toggled, this, &SensorPlotWindow::applyScale);
    connect(gyroRangeBox, &QDoubleSpinBox::valueChanged, this, &SensorPlotWindow::applyScale);
    connect(accRangeBox, &QDoubleSpinBox::valueChanged, this, &SensorPlotWindow::applyScale);
    connect(recordButton, &QPushButton::clicked, this, &SensorPlotWindow::onRecordClicked);
    applyScale();
    showRecordingState();
}

void SensorPlotWindow::addSample(const SensorReadout &r)
{
    addSample(clock.elapsed(), r);
}

void SensorPlotWindow::addSample(qint64 ms, const SensorReadout &r)
{
    ring.append(ms, r);
    if (recorder.isRecording() && !recorder.append(ms, r))
        showRecordingState();
    // Hidden or paused, nothing is painted: the buffer alone follows the samples.
    if (!paused && isVisible())
        plotWidget->updateCurves();
}

void SensorPlotWindow::setPaused(bool on)
{
    if (on == paused)
        return;
    paused = on;
    if (pauseButton->isChecked() != on)
        pauseButton->setChecked(on);
    pauseButton->setText(on ? tr("继续") : tr("暂停"));
    if (on)
        frozen = ring;
    plotWidget->setSamples(on ? &frozen : &ring);
}

void SensorPlotWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Samples that came while hidden are drawn at once.
    plotWidget->update();
}

void SensorPlotWindow::applyScale()
{
    const bool automatic = autoScaleBox->isChecked();
    gyroRangeBox->setEnabled(!automatic);
    accRangeBox->setEnabled(!automatic);
    plotWidget->setFixedRanges(gyroRangeBox->value(), accRangeBox->value());
    plotWidget->setAutoScale(automatic);
}

void SensorPlotWindow::onRecordClicked(bool checked)
{
    if (!checked) {
        stopRecording();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, tr("录制到 CSV 文件"),
                                                      QDir::home().filePath(QStringLiteral("velmora-sensors.csv")),
                                                      tr("CSV 文件 (*.csv)"));
    if (path.isEmpty()) {
        showRecordingState();
        return;
    }
    startRecording(path);
}

bool SensorPlotWindow::startRecording(const QString &path)
{
    const bool ok = recorder.start(path);
    showRecordingState();
    return ok;
}

void SensorPlotWindow::stopRecording()
{
    recorder.stop();
    showRecordingState();
}

void SensorPlotWindow::showRecordingState()
{
    recordButton->setChecked(recorder.isRecording());
    recordButton->setText(recorder.isRecording() ? tr("停止录制") : tr("录制 CSV…"));
    if (recorder.isRecording())
        recordLabel->setText(tr("正在录制到 %1").arg(QDir::toNativeSeparators(recorder.path())));
    else if (!recorder.errorString().isEmpty())
        recordLabel->setText(tr("无法录制到 %1：%2").arg(QDir::toNativeSeparators(recorder.path()), recorder.errorString()));
    else if (recorder.rows() > 0)
        recordLabel->setText(tr("已录制 %1 行到 %2").arg(recorder.rows()).arg(QDir::toNativeSeparators(recorder.path())));
    else
        recordLabel->clear();
}

// The History window's Summary view: the yield report's headline figures over its charts.
#pragma once

#include "YieldReport.h"

#include <QWidget>

class QLabel;
class YieldCharts;

class YieldSummary : public QWidget
{
    Q_OBJECT

public:
    explicit YieldSummary(QWidget *parent = nullptr);

    // Shows the report under `note` (which journal it summarises, if said), or says that the range
    // holds nothing or could not be read.
    void showReport(const YieldReport &report, const QString &note = QString());
    void showError(const QString &error);
    // Says that a new summary is being computed; the charts keep the last one meanwhile.
    void showComputing();

private:
    QLabel *headline;
    YieldCharts *charts;
};

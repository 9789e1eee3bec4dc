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

    // Shows the report, or says that the range holds nothing or could not be read.
    void showReport(const YieldReport &report);
    void showError(const QString &error);

private:
    QLabel *headline;
    YieldCharts *charts;
};

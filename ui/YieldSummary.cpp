// The headline figures in words, in the window's language, and the charts under them.
#include "YieldSummary.h"

#include "YieldCharts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

QString share(const std::optional<double> &value)
{
    return value ? QStringLiteral("%1 %").arg(*value * 100.0, 0, 'f', 1) : QStringLiteral("–");
}

QString seconds(const std::optional<double> &value)
{
    return value ? QStringLiteral("%1 s").arg(*value, 0, 'f', 1) : QStringLiteral("–");
}

} // namespace

YieldSummary::YieldSummary(QWidget *parent)
    : QWidget(parent)
    , headline(new QLabel(this))
    , charts(new YieldCharts(this))
{
    setObjectName(QStringLiteral("yieldSummary"));
    headline->setObjectName(QStringLiteral("yieldHeadline"));
    headline->setTextFormat(Qt::PlainText);
    headline->setTextInteractionFlags(Qt::TextSelectableByMouse);
    headline->setWordWrap(true);
    charts->setObjectName(QStringLiteral("yieldCharts"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(headline);
    layout->addWidget(charts, 1);
}

void YieldSummary::showReport(const YieldReport &report, const QString &note)
{
    charts->setReport(report);
    const QString above = note.isEmpty() ? QString() : note + QLatin1Char('\n');
    if (report.isEmpty()) {
        headline->setText(above + tr("此范围内没有更新或校准记录。"));
        return;
    }
    // One number to a sentence, so that each agrees with its count in English.
    const QStringList lines = {
        tr("尝试 %n 次", nullptr, report.total.attempts) + tr("，") + tr("云台 %n 台", nullptr, report.total.gimbals),
        tr("首次通过率 %1，最终通过率 %2").arg(share(report.total.firstPassYield()), share(report.total.finalYield())),
        tr("每次用时：中位数 %1，90 分位 %2").arg(seconds(report.total.medianSeconds), seconds(report.total.p90Seconds)),
        tr("校准 %n 次", nullptr, report.calibrationRuns) + tr("，") + tr("成功 %1 次").arg(report.calibrationSuccesses),
    };
    headline->setText(above + lines.join(QLatin1Char('\n')));
    int refused = 0;
    for (const YieldFailure &f : report.refusals)
        refused += f.count;
    if (refused > 0)
        headline->setText(headline->text() + QLatin1Char('\n') + tr("另有 %1 次被拒绝，未写入云台（产线设置的问题，不计入通过率）").arg(refused));
}

void YieldSummary::showComputing()
{
    headline->setText(tr("正在计算汇总…"));
}

void YieldSummary::showError(const QString &error)
{
    charts->setReport(YieldReport());
    headline->setText(tr("无法计算汇总：%1").arg(error));
}

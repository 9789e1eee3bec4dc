// One adapter's tile on the station window.
#include "StationTile.h"

#include "Attempts.h"

#include <QHash>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

// Background, text colour; the verdict's word is large too, so colour is never the only sign.
struct Look
{
    const char *background;
    const char *text;
};

Look lookOf(StationTile::Verdict verdict)
{
    switch (verdict) {
    case StationTile::Verdict::Pass: return {"#1e7b34", "#ffffff"};
    case StationTile::Verdict::Fail: return {"#b3261e", "#ffffff"};
    case StationTile::Verdict::Refused: return {"#f2a900", "#1a1a1a"};
    case StationTile::Verdict::None: break;
    }
    return {"#2b3440", "#e6e6e6"};
}

QLabel *label(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    return l;
}

} // namespace

StationTile::StationTile(const QString &port, QWidget *parent)
    : QFrame(parent)
    , portName(port)
    , portLabel(label(this, "tilePort"))
    , serialLabel(label(this, "tileSerial"))
    , chipsLabel(label(this, "tileChips"))
    , phaseLabel(label(this, "tilePhase"))
    , verdictLabel(label(this, "tileVerdict"))
    , reasonLabel(label(this, "tileReason"))
{
    setObjectName(QStringLiteral("StationTile"));
    setFocusPolicy(Qt::NoFocus);
    setMinimumSize(160, 120);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(portLabel);
    layout->addWidget(serialLabel);
    layout->addWidget(chipsLabel);
    layout->addWidget(verdictLabel, 1);
    layout->addWidget(reasonLabel);
    layout->addWidget(phaseLabel);
    portLabel->setText(port);
    verdictLabel->hide();
    reasonLabel->hide();
    setPhase(tr("等待"));
    showVerdict();
}

QString StationTile::phaseText() const
{
    return phaseLabel->text();
}

void StationTile::beginGimbal()
{
    shown = Verdict::None;
    outcome.clear();
    serial.clear();
    serialLabel->clear();
    chipsLabel->clear();
    verdictLabel->hide();
    reasonLabel->hide();
    showVerdict();
}

void StationTile::setUnitSerial(const QString &unitSerial)
{
    serial = unitSerial;
    serialLabel->setText(tr("序列号 %1").arg(unitSerial));
}

void StationTile::setChips(const QString &chips)
{
    chipsLabel->setText(chips);
}

void StationTile::setPhase(const QString &words)
{
    phaseLabel->setText(words);
}

void StationTile::showProgress(int percent)
{
    verdictLabel->setText(QStringLiteral("%1 %").arg(percent));
    verdictLabel->show();
}

void StationTile::conclude(Verdict verdict, const QString &word, const QString &words)
{
    shown = verdict;
    outcome = verdict == Verdict::Pass ? QString() : word;
    static const char *const names[] = {"", QT_TR_NOOP("合格"), QT_TR_NOOP("不合格"), QT_TR_NOOP("已拒绝")};
    verdictLabel->setText(tr(names[int(verdict)]));
    verdictLabel->setVisible(verdict != Verdict::None);
    reasonLabel->setText(outcome.isEmpty() ? words : QStringLiteral("%1\n%2").arg(words, outcome));
    reasonLabel->setVisible(!words.isEmpty());
    setPhase(tr("完成：请换下一台"));
    showVerdict();
}

void StationTile::setUnplugged()
{
    setPhase(shown == Verdict::None ? tr("已拔出") : tr("已拔出：等待下一台"));
}

void StationTile::setPicked(bool on)
{
    picked = on;
    showVerdict();
}

StationTile::Verdict StationTile::verdictOf(const QString &word)
{
    if (word == QLatin1String("success"))
        return Verdict::Pass;
    return JournalWords::isRefusal(word) ? Verdict::Refused : Verdict::Fail;
}

QString StationTile::outcomeWords(const QString &word)
{
    static const QHash<QString, const char *> words{
        {QStringLiteral("success"), QT_TR_NOOP("固件已写入")},
        {QStringLiteral("write-failed"), QT_TR_NOOP("写入失败")},
        {QStringLiteral("hardware-mismatch"), QT_TR_NOOP("固件包与硬件不符")},
        {QStringLiteral("count-mismatch"), QT_TR_NOOP("芯片数量与固件包不符")},
        {QStringLiteral("not-running"), QT_TR_NOOP("新固件没有运行")},
        {QStringLiteral("no-bootloader"), QT_TR_NOOP("云台没有进入升级模式")},
        {QStringLiteral("port-lost"), QT_TR_NOOP("写入时连接断开")},
        {QStringLiteral("cancelled"), QT_TR_NOOP("已取消")},
        {QStringLiteral("port-unavailable"), QT_TR_NOOP("串口无法打开")},
        {QStringLiteral("unsigned"), QT_TR_NOOP("固件包未签名")},
        {QStringLiteral("signature-invalid"), QT_TR_NOOP("固件包签名无效")},
        {QStringLiteral("signature-untrusted-key"), QT_TR_NOOP("固件包签名密钥不受信任")},
    };
    const auto it = words.constFind(word);
    if (it != words.constEnd())
        return tr(*it);
    if (word.startsWith(QLatin1String("catalogue-")) || word == QLatin1String("package-digest") || word == QLatin1String("download-failed"))
        return tr("固件目录的问题，未写入");
    if (word.startsWith(QLatin1String("package-")))
        return tr("固件包无法使用");
    return tr("升级失败");
}

void StationTile::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(portName);
    QFrame::mousePressEvent(event);
}

void StationTile::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    // Read from a step away: the verdict takes a quarter of the tile's height, the rest a
    // fourteenth, never below what a screen shows sharply.
    const int h = height();
    QFont text = font();
    text.setPixelSize(qBound(12, h / 14, 40));
    for (QLabel *l : {portLabel, serialLabel, chipsLabel, phaseLabel, reasonLabel})
        l->setFont(text);
    QFont big = text;
    big.setBold(true);
    big.setPixelSize(qBound(24, h / 4, 220));
    verdictLabel->setFont(big);
    QFont port = text;
    port.setBold(true);
    portLabel->setFont(port);
}

void StationTile::showVerdict()
{
    const Look look = lookOf(shown);
    setStyleSheet(QStringLiteral("StationTile { background-color: %1; border: %2px solid %3; border-radius: 6px; }"
                                 "StationTile QLabel { color: %4; background: transparent; }")
                      .arg(QLatin1String(look.background))
                      .arg(picked ? 6 : 1)
                      .arg(picked ? QStringLiteral("#4fc3f7") : QStringLiteral("#5a6573"), QLatin1String(look.text)));
}

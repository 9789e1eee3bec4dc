// The catalogue's release for the listed gimbal: index, choice of version, download, refusal words.
#include "CatalogueOffer.h"

#include "CatalogueSettings.h"
#include "ChipInfo.h"
#include "PackageSignature.h"
#include "UiLog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QUrl>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

namespace {

const QStringList Channels{QStringLiteral("stable"), QStringLiteral("beta")};

} // namespace

CatalogueOffer::CatalogueOffer(QWidget *parent)
    : QGroupBox(tr("适用于此云台"), parent)
    , releaseBox(new QComboBox(this))
    , downloadButton(new QPushButton(tr("下载"), this))
    , versionWords(new QLabel(this))
    , notesWords(new QLabel(this))
    , stateWords(new QLabel(this))
    , progress(new QProgressBar(this))
{
    setObjectName(QStringLiteral("catalogueGroup"));
    releaseBox->setObjectName(QStringLiteral("catalogueReleaseBox"));
    downloadButton->setObjectName(QStringLiteral("catalogueDownloadButton"));
    versionWords->setObjectName(QStringLiteral("catalogueVersionWords"));
    notesWords->setObjectName(QStringLiteral("catalogueNotesWords"));
    stateWords->setObjectName(QStringLiteral("catalogueStateWords"));
    progress->setObjectName(QStringLiteral("catalogueProgress"));
    notesWords->setWordWrap(true);
    notesWords->setTextFormat(Qt::PlainText); // the notes come from outside
    stateWords->setWordWrap(true);
    versionWords->setTextFormat(Qt::PlainText);
    auto *layout = new QGridLayout(this);
    layout->addWidget(releaseBox, 0, 0);
    layout->addWidget(versionWords, 0, 1);
    layout->addWidget(downloadButton, 0, 2);
    layout->addWidget(notesWords, 1, 0, 1, 3);
    layout->addWidget(progress, 2, 0, 1, 3);
    layout->addWidget(stateWords, 3, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    progress->hide();
    stateWords->hide();
    hide();
    connect(releaseBox, &QComboBox::currentIndexChanged, this, &CatalogueOffer::showRelease);
    connect(downloadButton, &QPushButton::clicked, this, &CatalogueOffer::download);
}

QString CatalogueOffer::reasonWords(CatalogueReason reason)
{
    switch (reason) {
    case CatalogueReason::None:
        return {};
    case CatalogueReason::Signature:
        return tr("目录的签名不成立");
    case CatalogueReason::Rollback:
        return tr("目录比已见过的旧（旧列表被再次提供）");
    case CatalogueReason::Expired:
        return tr("目录已过期：不再从中下载新固件");
    case CatalogueReason::Invalid:
        return tr("无法读取该目录");
    case CatalogueReason::Digest:
        return tr("下载的固件与目录所列不符（大小或 SHA-256）");
    case CatalogueReason::Download:
        return tr("无法获取");
    case CatalogueReason::NoMatch:
        return tr("目录中没有适合此云台的版本");
    case CatalogueReason::Older:
        return tr("该版本比正在运行的固件旧");
    }
    return {};
}

QString CatalogueOffer::indexWords(const CheckedCatalogue &checked)
{
    if (checked.refusal == CatalogueReason::Signature && checked.signature == SignatureCheck::State::Unsigned)
        return tr("目录没有签名文件（%1）").arg(QUrl(checked.url).fileName() + QStringLiteral(".minisig"));
    if (checked.refusal == CatalogueReason::Signature && checked.signature == SignatureCheck::State::Invalid && !checked.keyId.isEmpty())
        return tr("目录在签名之后被改动过");
    return reasonWords(checked.refusal);
}

void CatalogueOffer::dropClient()
{
    // Never called from one of the client's own signals: its downloads are its children, and
    // deleting them aborts their requests.
    delete client;
    client = nullptr;
    setFetching(false);
}

void CatalogueOffer::setFetching(bool on)
{
    fetching = on;
    downloadButton->setEnabled(!on && !releases.isEmpty());
    releaseBox->setEnabled(!on && !releases.isEmpty());
    progress->setVisible(on);
    if (on)
        progress->setRange(0, 0); // busy until the size is known
}

void CatalogueOffer::cancel()
{
    if (fetching)
        qCDebug(lcUi) << "catalogue download of" << wanted.version << "cancelled";
    dropClient();
    hide();
}

void CatalogueOffer::chipsListed(const QList<chipInfo> &chips)
{
    const QString location = CatalogueSettings::location();
    const CatalogueTarget listed = CatalogueTarget::fromChips(chips);
    // The same gimbal listed again (a stray frame during a session) keeps what is shown and
    // fetched for it.
    if (client && !isHidden() && location == lookedUp && CatalogueSettings::channel() == channel && listed.arch == target.arch
        && listed.hardware == target.hardware && listed.running == target.running)
        return;
    dropClient();
    releases.clear();
    load = CatalogueLoad();
    if (location.isEmpty() || chips.isEmpty()) {
        hide();
        return;
    }
    target = listed;
    lookedUp = location;
    channel = CatalogueSettings::channel();
    {
        const QSignalBlocker blocker(releaseBox);
        releaseBox->clear();
    }
    releaseBox->hide();
    downloadButton->hide();
    versionWords->clear();
    notesWords->clear();
    showWords(tr("正在读取目录..."));
    show();

    CatalogueClient::Settings settings;
    settings.location = location;
    QStringList problems;
    settings.trusted = TrustedKeys::load(&problems);
    for (const QString &problem : std::as_const(problems))
        qCWarning(lcUi).noquote() << "trusted key skipped:" << problem;
    client = new CatalogueClient(settings, this);
    connect(client, &CatalogueClient::indexLoaded, this, &CatalogueOffer::onIndexLoaded);
    connect(client, &CatalogueClient::packageProgress, this, &CatalogueOffer::onPackageProgress);
    connect(client, &CatalogueClient::packageLoaded, this, &CatalogueOffer::onPackageLoaded);
    client->loadIndex();
}

void CatalogueOffer::onIndexLoaded()
{
    load = client->lastIndex();
    if (!load.checked.usable()) {
        showWords(indexWords(load.checked), load.checked.detail);
        return;
    }
    releases = CatalogueMatch::matching(load.checked.index, target, channel);
    if (releases.isEmpty()) {
        showWords(reasonWords(CatalogueReason::NoMatch));
        return;
    }
    {
        const QSignalBlocker blocker(releaseBox);
        for (const CatalogueRelease &release : std::as_const(releases))
            releaseBox->addItem(release.version);
        releaseBox->setCurrentIndex(0);
    }
    releaseBox->show();
    downloadButton->show();
    setFetching(false);
    showRelease(0);

    // The index's age when it is the kept one or expired: kept packages still come from it.
    QStringList words;
    const QDateTime published = load.checked.index.published;
    const qint64 days = published.daysTo(QDateTime::currentDateTimeUtc());
    const QString date = published.date().toString(Qt::ISODate);
    if (load.fromCache)
        words.append(days == 1 ? tr("目录发布于 %1，已 1 天，离线").arg(date) : tr("目录发布于 %1，已 %2 天，离线").arg(date).arg(days));
    else if (load.checked.refusal == CatalogueReason::Expired)
        words.append(days == 1 ? tr("目录发布于 %1，已 1 天").arg(date) : tr("目录发布于 %1，已 %2 天").arg(date).arg(days));
    if (load.checked.refusal == CatalogueReason::Expired)
        words.append(reasonWords(CatalogueReason::Expired));
    showWords(words.join(QLatin1Char('\n')), load.networkDetail);
}

void CatalogueOffer::showRelease(int row)
{
    if (row < 0 || row >= releases.size())
        return;
    const CatalogueRelease &release = releases.at(row);
    const QString version = target.running.isEmpty() ? release.version : tr("%1（正在运行 %2）").arg(release.version, target.running);
    versionWords->setText(tr("%1，发布于 %2").arg(version, release.released.toString(Qt::ISODate)));
    notesWords->setText(release.notesFor(QLocale().name()));
}

void CatalogueOffer::download()
{
    const int row = releaseBox->currentIndex();
    if (fetching || !client || row < 0 || row >= releases.size())
        return;
    const CatalogueRelease release = releases.at(row);
    if (!target.running.isEmpty() && CatalogueVersions::compare(release.version, target.running) < 0) {
        const QPointer<CatalogueClient> asked = client;
        QMessageBox box(QMessageBox::Question, tr("下载旧版本？"),
                        tr("%1 比正在运行的固件 %2 旧。仍要下载吗？").arg(release.version, target.running),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("olderReleaseQuestion"));
        box.setDefaultButton(QMessageBox::No);
        // The port may go, or the chips be listed again, while the question is open.
        if (box.exec() != QMessageBox::Yes || !asked || asked != client || fetching)
            return;
    }
    wanted = release;
    setFetching(true);
    showWords(tr("正在下载 %1...").arg(release.version));
    client->fetchPackage(load.checked, release);
}

void CatalogueOffer::onPackageProgress(qint64 received, qint64 total)
{
    if (total <= 0)
        return;
    // In KiB, so that a package of any allowed size fits the bar's int range.
    progress->setRange(0, int(total / 1024) + 1);
    progress->setValue(int(received / 1024));
}

void CatalogueOffer::onPackageLoaded()
{
    setFetching(false);
    const CataloguePackage &package = client->lastPackage();
    if (!package.accepted()) {
        showWords(tr("%1 未下载：%2").arg(wanted.version, reasonWords(package.refusal)), package.detail);
        return;
    }
    // The catalogue vouched for the bytes; the package still answers for its own form and signature.
    if (!package.checked.accepted()) {
        showWords(tr("%1 未下载：%2").arg(wanted.version, package.checked.refusedBySignature() ? tr("固件的签名不成立或密钥不受信任")
                                                                                                : tr("下载的文件不是有效的固件包")),
                  package.checked.detail());
        return;
    }
    showWords(package.fromCache ? tr("%1 取自本机缓存").arg(wanted.version) : tr("%1 已下载").arg(wanted.version));
    emit packageReady({*package.checked.package,
                       {CatalogueClient::shownUrl(load.checked.url), load.checked.index.sequence, wanted.version, wanted.channel,
                        QUrl(wanted.package).fileName()}});
}

void CatalogueOffer::showWords(const QString &words, const QString &detail)
{
    stateWords->setText(words);
    stateWords->setToolTip(detail);
    stateWords->setVisible(!words.isEmpty());
    if (!detail.isEmpty())
        qCDebug(lcUi).noquote() << "catalogue:" << words << "-" << detail;
}

bool CatalogueOffer::editSettings(QWidget *parent)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("catalogueDialog"));
    dialog.setWindowTitle(tr("固件目录"));
    const QString shown = CatalogueSettings::location();
    auto *location = new QLineEdit(shown, &dialog);
    location->setObjectName(QStringLiteral("catalogueLocationEdit"));
    location->setPlaceholderText(tr("https://... 或文件夹；留空则不使用目录"));
    auto *channels = new QComboBox(&dialog);
    channels->setObjectName(QStringLiteral("catalogueChannelBox"));
    channels->addItems(Channels);
    const QString followed = CatalogueSettings::channel();
    if (!Channels.contains(followed))
        channels->addItem(followed);
    channels->setCurrentText(followed);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *form = new QFormLayout(&dialog);
    form->addRow(tr("目录地址："), location);
    form->addRow(tr("通道："), channels);
    if (qEnvironmentVariableIsSet("VELMORA_CATALOGUE"))
        form->addRow(new QLabel(tr("VELMORA_CATALOGUE 已设置，它优先于此处的地址。"), &dialog));
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Stored only when edited: the shown location may be VELMORA_CATALOGUE's, not the setting.
    const QString newLocation = location->text().trimmed();
    const bool moved = newLocation != shown;
    if (moved)
        CatalogueSettings::setLocation(newLocation);
    if (channels->currentText() != followed)
        CatalogueSettings::setChannel(channels->currentText());
    return moved || channels->currentText() != followed;
}

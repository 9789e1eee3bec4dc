// The firmware tab's signature words and its "Only signed packages" choice.
#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "CheckedPackage.h"
#include "WindowSettings.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>

void MainWindow::setUpSignatureWidgets()
{
    // "File info:" keeps its place; who signed the package goes beside it.
    signatureWords = new QLabel(ui->tab_2);
    signatureWords->setObjectName(QStringLiteral("signatureWords"));
    signatureWords->setTextInteractionFlags(Qt::TextSelectableByMouse);
    onlySignedBox = new QCheckBox(tr("仅接受已签名的固件"), ui->tab_2);
    onlySignedBox->setObjectName(QStringLiteral("onlySignedBox"));
    ui->gridLayout_3->removeWidget(ui->label_2);
    auto *row = new QHBoxLayout;
    row->addWidget(ui->label_2);
    row->addWidget(signatureWords, 1);
    row->addWidget(onlySignedBox);
    ui->gridLayout_3->addLayout(row, 1, 0);
    // A machine that requires signatures cannot be talked out of it here.
    if (TrustedKeys::requiredBySystem()) {
        onlySignedBox->setChecked(true);
        onlySignedBox->setEnabled(false);
        onlySignedBox->setToolTip(tr("本机要求签名（/etc/velmora/require-signed）"));
    } else {
        onlySignedBox->setChecked(WindowSettings::requireSigned());
        connect(onlySignedBox, &QCheckBox::toggled, this, [](bool on) { WindowSettings::setRequireSigned(on); });
    }
}

void MainWindow::showSignature(const SignatureCheck &check)
{
    switch (check.state) {
    case SignatureCheck::State::Unsigned:
        signatureWords->setText(tr("未签名"));
        break;
    case SignatureCheck::State::Valid:
        signatureWords->setText(tr("已签名：%1（密钥 %2）").arg(check.trustedComment, check.keyId));
        break;
    case SignatureCheck::State::Invalid:
        signatureWords->setText(tr("签名无效"));
        break;
    case SignatureCheck::State::UntrustedKey:
        signatureWords->setText(tr("签名密钥不受信任：%1").arg(check.keyId));
        break;
    }
    signatureWords->setToolTip(check.detail);
}

void MainWindow::showRefusal(PackageCheck::Refusal refusal)
{
    const auto serviceText = [](const char *text) { return QCoreApplication::translate("UpdateService", text); };
    switch (refusal) {
    case PackageCheck::Refusal::None: break;
    case PackageCheck::Refusal::Missing:
    case PackageCheck::Refusal::NotRegularFile:
    case PackageCheck::Refusal::ReadError: showStatus(serviceText("固件文件不存在或无法访问！")); break;
    case PackageCheck::Refusal::TooLarge:
    case PackageCheck::Refusal::Invalid: showStatus(serviceText("固件文件格式无效！")); break;
    case PackageCheck::Refusal::SignatureInvalid: showStatus(tr("固件签名无效，已拒绝！")); break;
    case PackageCheck::Refusal::UntrustedKey: showStatus(tr("固件签名密钥不受信任，已拒绝！")); break;
    case PackageCheck::Refusal::Unsigned: showStatus(tr("固件未签名，只接受已签名的固件！")); break;
    }
}

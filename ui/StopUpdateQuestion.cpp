#include "StopUpdateQuestion.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("StopUpdateQuestion", source);
}

} // namespace

namespace StopUpdateQuestion {

bool ask(QWidget *parent)
{
    QMessageBox box(QMessageBox::Warning, text("停止更新？"),
                    text("固件正在写入。现在停止，云台会停留在引导程序中，直到再次完成更新。\n要停止更新吗？"),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("stopUpdateQuestion"));
    QPushButton *stop = box.addButton(text("停止更新"), QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton(text("继续写入"), QMessageBox::RejectRole);
    stop->setObjectName(QStringLiteral("stopUpdateButton"));
    keep->setObjectName(QStringLiteral("keepWritingButton"));
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == stop;
}

} // namespace StopUpdateQuestion

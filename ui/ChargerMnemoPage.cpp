#include "ui/ChargerMnemoPage.h"

#include "device/ActionManager.h"

ChargerMnemoPage::ChargerMnemoPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ChargerMnemoTS"));
}

void ChargerMnemoPage::Update(cActionManager &) {}

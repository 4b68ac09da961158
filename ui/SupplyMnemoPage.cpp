#include "ui/SupplyMnemoPage.h"

#include "device/ActionManager.h"

SupplyMnemoPage::SupplyMnemoPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SupplyMnemoTS"));
}

void SupplyMnemoPage::Update(cActionManager &) {}

// The power-supply mnemonic page: output displays, set-point editors and the output switch
// over the diagram of the device fed by a bench supply.
#pragma once

#include <QWidget>

class cActionManager;

class SupplyMnemoPage : public QWidget {
    Q_OBJECT
public:
    explicit SupplyMnemoPage(QWidget *parent = nullptr);
    // The refresh: reads what the page shows and marks those variables for reading.
    void Update(cActionManager &device);
};

// The charger mnemonic page: the diagram with solar, battery and load values, the energy
// counters' reset buttons and the two load check boxes.
#pragma once

#include <QWidget>

class cActionManager;

class ChargerMnemoPage : public QWidget {
    Q_OBJECT
public:
    explicit ChargerMnemoPage(QWidget *parent = nullptr);
    // The refresh: reads what the page shows and marks those variables for reading.
    void Update(cActionManager &device);
};

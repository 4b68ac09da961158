// The disconnected view's picture of the device's front panel, scaled with its aspect kept.
#pragma once

#include <QWidget>

class QSvgRenderer;

class SplashView : public QWidget {
    Q_OBJECT
public:
    explicit SplashView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer *renderer_ = nullptr;
};

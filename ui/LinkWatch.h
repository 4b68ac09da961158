// TLinkWatch: the window's way back to a lost device. Says in the status line when the
// link was lost and searches the device's port again every few seconds, a step at a time
// so that the window keeps working, until the device answers again.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class TMainForm;
class cActionManager;

class TLinkWatch : public QObject {
    Q_OBJECT
public:
    // Takes over the manager's lost-connection hook (calling the one it replaces first);
    // gives it back when destroyed.
    TLinkWatch(TMainForm *form, cActionManager &manager);
    ~TLinkWatch() override;

    // Whether the device is being looked for after a loss.
    bool Watching() const;
    // What the status line says while it is.
    QString LostText() const { return lostText_; }

private:
    void Lost();
    void Step();
    void Back();

    TMainForm *form_;
    bool ManagerAlive() const;
    cActionManager &manager_;
    std::function<void()> previousHook_;
    QTimer *timer_;
    QString lostText_;
};

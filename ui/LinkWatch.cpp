#include "ui/LinkWatch.h"

#include <QStatusBar>
#include <QTime>
#include <QTimer>

#include "device/ActionManager.h"
#include "ui/MainForm.h"
#include "ui/MainUnit.h"

namespace {
// Often enough that a search step follows the line closely; each step returns at once.
constexpr int kStepMs = 10;
}  // namespace

TLinkWatch::TLinkWatch(TMainForm *form, cActionManager &manager)
    : QObject(form), form_(form), manager_(manager), timer_(new QTimer(this))
{
    timer_->setInterval(kStepMs);
    connect(timer_, &QTimer::timeout, this, &TLinkWatch::Step);
    previousHook_ = manager_.Shell.ConnectionLost;
    manager_.Shell.ConnectionLost = [this] {
        // Only a device that was connected is lost: a search's silent ports are not.
        const bool wasConnected = manager_.Identified;
        if (previousHook_)
            previousHook_();
        if (wasConnected)
            Lost();
    };
}

bool TLinkWatch::ManagerAlive() const
{
    // The window may outlive the connection it was made for (it is finalized first on quit).
    return ::ActionManager.get() == &manager_;
}

TLinkWatch::~TLinkWatch()
{
    if (ManagerAlive())
        manager_.Shell.ConnectionLost = previousHook_;
}

bool TLinkWatch::Watching() const
{
    return timer_->isActive();
}

void TLinkWatch::Lost()
{
    if (!manager_.Connection.CanReturn())
        return;
    lostText_ = tr("Связь с устройством потеряна в %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    form_->statusBar()->showMessage(lostText_);
    timer_->start();
}

void TLinkWatch::Step()
{
    if (!ManagerAlive()) {
        timer_->stop();
        return;
    }
    if (manager_.Identified) {
        Back();  // the operator connected meanwhile
        return;
    }
    // A closed window looks for nothing; the window's own search goes first; and the
    // search rebuilds the variable table, so the connected view with its rows must be down.
    if (!form_->isVisible() || form_->IsSearching() || form_->IsConnectedView() || bTimerBusy)
        return;
    if (manager_.Connection.StepReturn() == ConnectionController::Result::Found)
        Back();
}

void TLinkWatch::Back()
{
    timer_->stop();
    lostText_.clear();
    form_->statusBar()->clearMessage();
}

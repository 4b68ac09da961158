// The port choice of the window: every port with its by-id name and state, any path typed
// in, the chosen port connected to, remembered and tried first at the next start; and the
// window working on while the search waits on a silent port.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "device/LinkOptions.h"
#include "port/PtyPair.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/PortForm.h"
#include "ui/UiFixture.h"

using namespace uitest;
namespace fs = std::filesystem;

namespace {

// The state column of the row whose port is path; "(no row)" when it is not listed.
QString StateOf(const TPortForm &form, const std::string &path)
{
    for (int i = 0; i < form.PortList->topLevelItemCount(); ++i)
        if (form.PortList->topLevelItem(i)->text(TPortForm::kPortColumn) == QString::fromStdString(path))
            return form.PortList->topLevelItem(i)->text(TPortForm::kStateColumn);
    return QStringLiteral("(no row)");
}

QTreeWidgetItem *RowOf(const TPortForm &form, const std::string &path)
{
    for (int i = 0; i < form.PortList->topLevelItemCount(); ++i)
        if (form.PortList->topLevelItem(i)->text(TPortForm::kPortColumn) == QString::fromStdString(path))
            return form.PortList->topLevelItem(i);
    return nullptr;
}

QStringList Titles(const QSignalSpy &spy)
{
    QStringList seen;
    for (const QList<QVariant> &args : spy)
        seen << args.at(0).toString();
    return seen;
}

}  // namespace

class PortFormTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // A device directory of the test's own, and the user's configuration beside it.
    void init()
    {
        QVERIFY(dir_.isValid());
        dev_ = dir_.path().toStdString() + "/dev";
        fs::remove_all(dev_);
        fs::create_directories(dev_ + "/serial/by-id");
        SetDeviceDirectory(dev_);
        oldConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", (dir_.path() + QStringLiteral("/config")).toUtf8());
        fs::remove_all(dir_.path().toStdString() + "/config");
    }
    void cleanup()
    {
        SetPortOpenFunction(nullptr);
        SetDeviceDirectory({});
        SetPreferredPort({});
        SetExplicitPorts({});
        qputenv("XDG_CONFIG_HOME", oldConfig_);
    }

    void aLinkOfAnyNameIsConnectedRememberedAndTriedFirstNextStart()
    {
        PtyPair silent;  // an adapter the search would find, with nothing behind it
        QVERIFY(silent.Ok());
        fs::create_symlink(silent.SlavePath(), dev_ + "/ttyUSB0");
        const std::string link = dir_.path().toStdString() + "/my-radio-link";
        StandIn sim;
        QVERIFY2(sim.Start({"--link", link}), sim.Stderr().c_str());
        Answers answers;
        {
            Window w(kNoDevice);
            QVERIFY(w.ShowAndConnect());
            TMainForm &f = *w.form;
            QVERIFY(!ActionManager->Identified);

            f.PortMenuItem->trigger();
            QVERIFY(f.PortForm->isVisible());
            QVERIFY(!f.PortForm->ConnectButton->isEnabled());  // nothing to connect to yet
            QTest::keyClicks(f.PortForm->PathEdit, QString::fromStdString(link));
            QTest::mouseClick(f.PortForm->ConnectButton, Qt::LeftButton);
            QVERIFY(!f.PortForm->isVisible());
            QVERIFY(ActionManager->Identified);
            QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('|')));
            QCOMPARE(QString::fromStdString(RememberedPort()), QString::fromStdString(link));
            QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), 8000);

            // Listed from now on, as the port the window is connected through.
            f.PortMenuItem->trigger();
            QCOMPARE(StateOf(*f.PortForm, link), QStringLiteral("подключён"));
            QCOMPARE(StateOf(*f.PortForm, dev_ + "/ttyUSB0"), QStringLiteral("свободен"));
            // Chosen again while connected: the connection stays as it is.
            QTreeWidgetItem *row = RowOf(*f.PortForm, link);
            QVERIFY(row != nullptr);
            emit f.PortForm->PortList->itemDoubleClicked(row, TPortForm::kPortColumn);
            QVERIFY(ActionManager->Identified);
            QVERIFY(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).isEmpty());
        }
        QVERIFY(silent.Read(1, 200).empty());

        // The next start searches the device directory, the remembered link first.
        SetExplicitPorts({});
        SetPreferredPort(RememberedPort());  // as the program's start does
        Window next({});
        QSignalSpy titles(next.form.get(), &QWidget::windowTitleChanged);
        QVERIFY(next.ShowAndConnect());
        QVERIFY(ActionManager->Identified);
        const QStringList seen = Titles(titles);
        QVERIFY2(!seen.isEmpty() &&
                     seen[0].endsWith(QStringLiteral("поиск устройства: ") + QString::fromStdString(link)),
                 qPrintable(seen.join('|')));
        QVERIFY2(silent.Read(1, 300).empty(), "the adapter was asked before the remembered port");
    }

    // "Порт…" then Enter once disconnected the device and tried the first port listed.
    void theConnectedPortIsKeptAndAFailedChoiceReconnectsIt()
    {
        PtyPair silent;  // listed before the device's link, with nothing behind it
        QVERIFY(silent.Ok());
        fs::create_symlink(silent.SlavePath(), dev_ + "/ttyUSB0");
        const std::string link = dir_.path().toStdString() + "/device-link";
        StandIn sim;
        QVERIFY2(sim.Start({"--link", link}), sim.Stderr().c_str());
        Answers answers;
        Window w({link});
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        QVERIFY(ActionManager->Identified);

        f.PortMenuItem->trigger();
        QVERIFY(f.PortForm->isVisible());
        QCOMPARE(f.PortForm->ChosenPort(), QString::fromStdString(link));
        QVERIFY(f.PortForm->PortList->currentItem() != nullptr);
        QCOMPARE(f.PortForm->PortList->currentItem()->text(TPortForm::kPortColumn), QString::fromStdString(link));
        QWidget *focus = f.PortForm->focusWidget() ? f.PortForm->focusWidget() : f.PortForm;
        QTest::keyClick(focus, Qt::Key_Return);
        QTRY_VERIFY(!f.PortForm->isVisible());
        QVERIFY(ActionManager->Identified);
        QCOMPARE(QString::fromStdString(ActionManager->DevicePath()), QString::fromStdString(link));
        QVERIFY(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).isEmpty());
        QVERIFY(answers.messages.isEmpty());

        // A port that does not answer: the device is connected again through the old one.
        QVERIFY(!f.ConnectToPort(silent.SlavePath()));
        QVERIFY(ActionManager->Identified);
        QCOMPARE(QString::fromStdString(ActionManager->DevicePath()), QString::fromStdString(link));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("Устройство снова подключено через прежний порт ") +
                                              QString::fromStdString(link)),
                 qPrintable(answers.messages[0]));
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), 8000);
    }

    // The unit address of the device on a shared bus: shown as the window uses it, taken on
    // OK only; a new one leaves the device connected at the old one and searches the port
    // chosen at the new one.
    void theAddressFieldChoosesTheUnitOnOkOnly()
    {
        const std::string link = dir_.path().toStdString() + "/bus-link";
        StandIn sim;
        QVERIFY2(sim.Start({"--link", link, "--address", "17"}), sim.Stderr().c_str());
        Answers answers;
        Window w({link});
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        TPortForm &p = *f.PortForm;
        QVERIFY(ActionManager->Identified);  // at 254, which every unit answers

        f.PortMenuItem->trigger();
        QCOMPARE(p.AddressBox->text(), QStringLiteral("254 (любое устройство)"));
        QCOMPARE(p.ChosenAddress(), kAnyUnitAddress);
        p.AddressBox->selectAll();
        QTest::keyClicks(p.AddressBox, QStringLiteral("18"));
        QCOMPARE(p.ChosenAddress(), uint8_t{18});
        p.reject();
        QCOMPARE(ActionManager->UnitAddress(), kAnyUnitAddress);
        QVERIFY(ActionManager->Identified);

        // The cancelled edit is gone; the same port at 18 finds nobody there.
        f.PortMenuItem->trigger();
        QCOMPARE(p.ChosenAddress(), kAnyUnitAddress);
        p.AddressBox->selectAll();
        QTest::keyClicks(p.AddressBox, QStringLiteral("18"));
        QTest::mouseClick(p.ConnectButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!f.IsSearching() && answers.messages.size() == 1, 15000);
        QVERIFY(!ActionManager->Identified);
        QCOMPARE(ActionManager->UnitAddress(), uint8_t{18});
        QCOMPARE(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")), QStringList{QStringLiteral("1")});

        // 17 is the device's own: found on that port.
        f.PortMenuItem->trigger();
        QCOMPARE(p.ChosenAddress(), uint8_t{18});
        QTest::keyClick(p.AddressBox, Qt::Key_Down);
        QCOMPARE(p.AddressBox->text(), QStringLiteral("17"));
        p.PathEdit->setText(QString::fromStdString(link));  // nothing is connected to keep now
        QTest::mouseClick(p.ConnectButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ActionManager->Identified, 15000);
        QCOMPARE(ActionManager->UnitAddress(), uint8_t{17});
        QCOMPARE(QString::fromStdString(ActionManager->DevicePath()), QString::fromStdString(link));
        for (int i = 0; ModbusAction *v = ActionManager->Shell.Actions.At(i); ++i)
            QCOMPARE(v->SlaveAddress, uint8_t{17});

        // Below 1 stands "any device" again.
        f.PortMenuItem->trigger();
        p.SetAddress(1);
        QTest::keyClick(p.AddressBox, Qt::Key_Down);
        QCOMPARE(p.ChosenAddress(), kAnyUnitAddress);
        p.reject();
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY(sim.WritesTo(QStringLiteral("Mb.MyModbusAddr")).isEmpty());  // the device's own is never touched
    }

    void theListShowsEachPortsState()
    {
        PtyPair free, held, refused;
        QVERIFY(free.Ok() && held.Ok() && refused.Ok());
        fs::create_symlink(free.SlavePath(), dev_ + "/ttyUSB0");
        fs::create_symlink(held.SlavePath(), dev_ + "/ttyUSB1");
        fs::create_symlink(refused.SlavePath(), dev_ + "/ttyACM0");
        fs::create_symlink("../../ttyUSB0", dev_ + "/serial/by-id/usb-Maker_Radio_R1-if00-port0");
        // Another program holds ttyUSB1 as this one holds its port: with the lock.
        const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0);
        QCOMPARE(flock(holder, LOCK_EX | LOCK_NB), 0);
        const bool root = geteuid() == 0;
        if (root) {  // as a serial port usually is: its group may read and write it
            QCOMPARE(chown(refused.SlavePath().c_str(), static_cast<uid_t>(-1), kPortGroup), 0);
            QCOMPARE(chmod(refused.SlavePath().c_str(), 0660), 0);
        }
        // Root opens any file whatever its mode: the refusal is staged at the open.
        g_refused = dev_ + "/ttyACM0";
        SetPortOpenFunction(&RefuseOnePort);

        Window w(kNoDevice);
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        f.PortMenuItem->trigger();
        TPortForm &p = *f.PortForm;
        QCOMPARE(p.PortList->topLevelItemCount(), 4);  // the named port, then what the search finds
        QCOMPARE(p.PortList->topLevelItem(0)->text(TPortForm::kPortColumn), QString::fromStdString(kNoDevice[0]));
        QVERIFY2(StateOf(p, kNoDevice[0]).startsWith(QStringLiteral("не открывается: ")),
                 qPrintable(StateOf(p, kNoDevice[0])));
        QCOMPARE(StateOf(p, dev_ + "/ttyUSB0"), QStringLiteral("свободен"));
        QCOMPARE(RowOf(p, dev_ + "/ttyUSB0")->text(TPortForm::kByIdColumn),
                 QString::fromStdString(dev_ + "/serial/by-id/usb-Maker_Radio_R1-if00-port0"));
        QCOMPARE(StateOf(p, dev_ + "/ttyUSB1"), QStringLiteral("занят другой программой"));
        if (root)
            QCOMPARE(StateOf(p, dev_ + "/ttyACM0"),
                     QStringLiteral("нет доступа: нужна группа %1")
                         .arg(QString::fromStdString(PortGroupName(refused.SlavePath()))));
        else
            QVERIFY2(StateOf(p, dev_ + "/ttyACM0").startsWith(QStringLiteral("нет доступа")),
                     qPrintable(StateOf(p, dev_ + "/ttyACM0")));

        // The lock let go: listing again shows the port free; a row picked fills the field.
        ::close(holder);
        QTest::mouseClick(p.RefreshButton, Qt::LeftButton);
        QCOMPARE(StateOf(p, dev_ + "/ttyUSB1"), QStringLiteral("свободен"));
        p.PortList->setCurrentItem(RowOf(p, dev_ + "/ttyUSB1"));
        QCOMPARE(p.ChosenPort(), QString::fromStdString(dev_ + "/ttyUSB1"));
        p.reject();
    }

    // A port that does not open: the operator is told why, and the session's ports stay.
    void aChosenPortThatDoesNotOpenIsReported()
    {
        Answers answers;
        Window w(kNoDevice);
        QVERIFY(w.ShowAndConnect());
        QVERIFY(!w.form->ConnectToPort(dir_.path().toStdString() + "/no-such-port"));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(
            answers.messages[0].contains(QStringLiteral("Порт %1/no-such-port: не открывается: ").arg(dir_.path())),
            qPrintable(answers.messages[0]));
        QCOMPARE(ExplicitPorts(), kNoDevice);
        QCOMPARE(RememberedPort(), std::string());
    }

    // While the search waits on a port that never answers, the window paints, takes input,
    // and can be closed: the search then ends with that port instead of going on to the next.
    void theWindowWorksOnDuringTheSearchAndClosingEndsIt()
    {
        PtyPair silent, next;
        QVERIFY(silent.Ok() && next.Ok());
        Window w({silent.SlavePath(), next.SlavePath()});
        TMainForm &f = *w.form;
        bool acted = false, aboutShown = false;
        QString title;
        QImage picture;
        QTimer probe;
        probe.setInterval(20);
        connect(&probe, &QTimer::timeout, this, [&] {
            // Served while the search waits for the reply, not only between ports.
            if (acted || !f.IsSearching() || ActionManager->Shell.Stats.Requests == 0)
                return;
            acted = true;
            title = f.windowTitle();
            f.AboutMenuItem->trigger();
            aboutShown = f.AboutForm->isVisible();
            f.AboutForm->close();
            picture = f.grab().toImage();
            f.close();
        });
        probe.start();
        QVERIFY(w.ShowAndConnect());
        QVERIFY2(acted, "no event was served during the search");
        QVERIFY2(title.endsWith(QStringLiteral("поиск устройства: ") + QString::fromStdString(silent.SlavePath())),
                 qPrintable(title));
        QVERIFY(aboutShown);
        QVERIFY(!picture.isNull());
        QTRY_VERIFY(!f.isVisible());  // closed once the search gave up
        QVERIFY(!ActionManager->Identified);
        QVERIFY(!silent.Read(1, 300).empty());
        QVERIFY2(next.Read(1, 300).empty(), "the search went on to the next port after the window was closed");
    }

    // Choosing a port while the start-up search waits on a silent one: the search ends and
    // the chosen port is connected to.
    void aPortChosenDuringTheSearchIsConnectedAfterIt()
    {
        PtyPair silent;
        QVERIFY(silent.Ok());
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        Answers answers;
        Window w({silent.SlavePath()});
        TMainForm &f = *w.form;
        bool chose = false;
        QTimer probe;
        probe.setInterval(20);
        connect(&probe, &QTimer::timeout, this, [&] {
            if (chose || !f.IsSearching() || ActionManager->Shell.Stats.Requests == 0)
                return;
            chose = true;
            f.PortMenuItem->trigger();
            f.PortForm->PathEdit->setText(QString::fromStdString(sim.Path()));
            QTest::mouseClick(f.PortForm->ConnectButton, Qt::LeftButton);
        });
        probe.start();
        QVERIFY(w.ShowAndConnect());
        QVERIFY(chose);
        QTRY_VERIFY_WITH_TIMEOUT(ActionManager->Identified, 8000);
        QCOMPARE(QString::fromStdString(ActionManager->DevicePath()), QString::fromStdString(sim.Path()));
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('|')));  // no failure for the cut search
        QVERIFY(f.ConnectMenuItem->isEnabled());
    }

private:
    QTemporaryDir dir_;
    std::string dev_;
    QByteArray oldConfig_;
};

QTEST_MAIN(PortFormTest)
#include "PortForm_test.moc"

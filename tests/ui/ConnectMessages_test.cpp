// The message of a search that found no device, from the search's outcomes alone: ports
// with one outcome share a line, refused ports get the advice that fits them, and the way
// forward comes last.
#include <QtTest>

#include "ui/ConnectMessages.h"

Q_DECLARE_METATYPE(std::vector<PortOutcome>)
Q_DECLARE_METATYPE(std::vector<RefusedGroup>)

namespace {

PortOutcome Tried(const char *path, const char *openError = "", bool badReplies = false, bool answered = false)
{
    return PortOutcome{path, openError, badReplies, answered};
}

bool OwnedByRoot(const std::string &path, PortOwner *owner)
{
    if (path != "/dev/ttyS9")
        return false;
    *owner = {"root", "root", "0600"};
    return true;
}

}  // namespace

class ConnectMessagesTest : public QObject {
    Q_OBJECT
private slots:
    void failureText_data()
    {
        QTest::addColumn<std::vector<PortOutcome>>("tried");
        QTest::addColumn<std::vector<RefusedGroup>>("refused");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("lines");
        const QString head = QStringLiteral("Устройство Quintavolte не найдено.");
        const QString choose = QStringLiteral("Выберите порт: Порт…");
        QTest::newRow("no ports") << std::vector<PortOutcome>{} << std::vector<RefusedGroup>{} << QString()
                                  << QStringList{head, QStringLiteral("Последовательные порты не найдены."), choose};
        QTest::newRow("each outcome once, in search order")
            << std::vector<PortOutcome>{Tried("/dev/ttyS0"),
                                        Tried("/dev/ttyUSB0", "in use by another program"),
                                        Tried("/dev/ttyS1"),
                                        Tried("/dev/ttyACM0", "", true),
                                        Tried("/dev/ttyUSB1", "", false, true),
                                        Tried("/tmp/x", "not a terminal"),
                                        Tried("/dev/ttyUSB2", "Input/output error")}
            << std::vector<RefusedGroup>{} << QString()
            << QStringList{head,
                           QStringLiteral("Порты /dev/ttyS0, /dev/ttyS1: нет ответа."),
                           QStringLiteral("Порт /dev/ttyUSB0: занят другой программой."),
                           QStringLiteral("Порт /dev/ttyACM0: ответы не прошли проверку."),
                           QStringLiteral("Порт /dev/ttyUSB1: отвечает другое устройство."),
                           QStringLiteral("Порт /tmp/x: не последовательный порт."),
                           QStringLiteral("Порт /dev/ttyUSB2: не открывается: Input/output error."),
                           choose};
        QTest::newRow("refused: a group to join, an owner, an unknown owner")
            << std::vector<PortOutcome>{}
            << std::vector<RefusedGroup>{{"dialout", {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
                                         {"", {"/dev/ttyS9", "/dev/ttyS8"}}}
            << QStringLiteral("Устройство снова подключено через прежний порт /dev/ttyS0.")
            << QStringList{head,
                           QStringLiteral("Нет доступа к /dev/ttyUSB0, /dev/ttyUSB1: пользователь должен входить в "
                                          "группу dialout (sudo adduser $USER dialout, затем войти в систему заново)."),
                           QStringLiteral("Нет доступа к /dev/ttyS9: владелец root, группа root, права 0600."),
                           QStringLiteral("Порт /dev/ttyS8: нет доступа."),
                           QStringLiteral("Устройство снова подключено через прежний порт /dev/ttyS0."),
                           choose};
    }
    void failureText()
    {
        QFETCH(std::vector<PortOutcome>, tried);
        QFETCH(std::vector<RefusedGroup>, refused);
        QFETCH(QString, after);
        QFETCH(QStringList, lines);
        QCOMPARE(ConnectFailureText(tried, refused, after, OwnedByRoot).split(QLatin1Char('\n')), lines);
    }

    void previousPortText()
    {
        ConnectionController::Choice choice;
        QVERIFY(PreviousPortText(choice).isEmpty());
        choice.Previous = "/dev/ttyS0";
        QCOMPARE(PreviousPortText(choice),
                 QStringLiteral("Снова подключиться через прежний порт /dev/ttyS0 не удалось."));
        choice.BackOnPrevious = true;
        QCOMPARE(PreviousPortText(choice),
                 QStringLiteral("Устройство снова подключено через прежний порт /dev/ttyS0."));
    }
};

QTEST_GUILESS_MAIN(ConnectMessagesTest)
#include "ConnectMessages_test.moc"

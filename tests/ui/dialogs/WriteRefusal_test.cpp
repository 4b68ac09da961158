// The operator's message for a write the gate refuses: the variable, the refused text and
// what is allowed, numbers in the locale's form.
#include <QLocale>
#include <QtTest>

#include "core/Notify.h"
#include "device/ActionManager.h"
#include "ui/dialogs/WriteRefusal.h"

class WriteRefusalTest : public QObject {
    Q_OBJECT

    cActionManager device;

    WriteCheck Check(const char16_t *name, const char16_t *text)
    {
        ModbusAction *variable = device.Shell.FindVariable(MString(name));
        return variable != nullptr ? CheckWrite(*variable, MString(text)) : WriteCheck{};
    }

private slots:
    void initTestCase()
    {
        device.BuildRegisterMap();
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void messageNamesVariableTextAndAllowedValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("letters") << "Reg.LoadOffU"
                                 << "abc"
                                 << "Значение «abc» не записано в Reg.LoadOffU: это не число.\n"
                                    "Допустимо: число от 0 до 100 В.";
        QTest::newRow("empty") << "Reg.LoadOffU"
                               << ""
                               << "Значение для Reg.LoadOffU не введено: ничего не записано.\n"
                                  "Допустимо: число от 0 до 100 В.";
        QTest::newRow("spaces only") << "Reg.ChargeI"
                                     << "  "
                                     << "Значение для Reg.ChargeI не введено: ничего не записано.\n"
                                        "Допустимо: число от 0 до 100 А.";
        QTest::newRow("too large") << "Reg.ChargeI"
                                   << "150"
                                   << "Значение «150» не записано в Reg.ChargeI: вне допустимых пределов.\n"
                                      "Допустимо: число от 0 до 100 А.";
        QTest::newRow("fraction for a mode") << "Do1.Mode"
                                             << "1,5"
                                             << "Значение «1,5» не записано в Do1.Mode: нужно целое число.\n"
                                                "Допустимо: целое число от 0 до 5.";
        QTest::newRow("flag") << "Do1.State"
                              << "2"
                              << "Значение «2» не записано в Do1.State: вне допустимых пределов.\n"
                                 "Допустимо: 0 или 1.";
        // Large rates without digit grouping: "115 200" would read as two numbers.
        QTest::newRow("baud rate") << "485.Init.BaudRate"
                                   << "9601"
                                   << "Значение «9601» не записано в 485.Init.BaudRate: такого значения нет среди "
                                      "допустимых.\nДопустимо: 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200.";
        QTest::newRow("too small for a float")
            << "Reg.VoltTempCoef"
            << "1e-50"
            << "Значение «1e-50» не записано в Reg.VoltTempCoef: число так мало, что "
               "устройство сохранило бы 0.\nДопустимо: число от -100 до 100 мВ/(В•°C).";
        QTest::newRow("read-only") << "Adc.U_Accu"
                                   << "5"
                                   << "Переменная Adc.U_Accu только для чтения: запись невозможна.";
    }
    void messageNamesVariableTextAndAllowedValues()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, message);
        const WriteCheck check =
            Check(reinterpret_cast<const char16_t *>(name.utf16()), reinterpret_cast<const char16_t *>(text.utf16()));
        QVERIFY(!check.Ok());
        QCOMPARE(WriteRefusal::Text(check), message);
    }

    void fractionalLimitsUseTheLocaleSeparator()
    {
        WriteLimits limits;
        limits.Min = 0.1;
        limits.Max = 33.5;
        limits.Unit = "V";
        QCOMPARE(WriteRefusal::Allowed(limits), QString("число от 0,1 до 33,5 В"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(WriteRefusal::Allowed(limits), QString("число от 0.1 до 33.5 В"));
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }

    void anAcceptedWriteHasNoMessageAndShowsNothing()
    {
        const WriteCheck check = Check(u"Reg.LoadOffU", u"10,9");
        QVERIFY(check.Ok());
        QVERIFY(WriteRefusal::Text(check).isEmpty());
        QStringList shown;
        const MessageHook old =
            SetMessageHook([&](std::u16string_view t) { shown << QString::fromUtf16(t.data(), t.size()); });
        QVERIFY(!WriteRefusal::Show(check));
        QVERIFY(WriteRefusal::Show(Check(u"Reg.LoadOffU", u"abc")));
        SetMessageHook(old);
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].contains("Reg.LoadOffU"));
    }
};

QTEST_MAIN(WriteRefusalTest)
#include "WriteRefusal_test.moc"

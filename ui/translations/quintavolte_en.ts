<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>CoreText</name>
    <message>
        <source>Файл %1 поврежден!</source>
        <translation>File %1 is damaged!</translation>
    </message>
    <message>
        <source>Зарядное устройство настроено успешно!</source>
        <translation>The charger has been set up successfully!</translation>
    </message>
    <message>
        <source>Недопустимое количество ячеек. Количество последовательно соединенных элементов может быть от 3 до 9.</source>
        <translation>Invalid number of cells. The number of cells in series can be from 3 to 9.</translation>
    </message>
    <message>
        <source>ОШИБКА при записи настроек в устройство!
Проверьте подключение!</source>
        <translation>ERROR writing the settings to the device!
Check the connection!</translation>
    </message>
</context>
<context>
    <name>PresetReport</name>
    <message>
        <source>Установки не записаны: устройство не изменено.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Устройство не приняло %1 = %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Не записано: %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SetpointEdit</name>
    <message>
        <source>Введите значение и нажмите ENTER</source>
        <translation>Type a value and press ENTER</translation>
    </message>
</context>
<context>
    <name>SettingsMenu</name>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Не удалось прочитать из устройства: %1
%2</source>
        <translation>Could not read from the device: %1
%2</translation>
    </message>
    <message>
        <source>вне диапазона </source>
        <translation>out of range </translation>
    </message>
    <message>
        <source>записано с запятой, а в файле дробная часть отделяется точкой</source>
        <translation>written with a comma; in the file the decimal separator is a point</translation>
    </message>
    <message>
        <source>не целое число</source>
        <translation>not a whole number</translation>
    </message>
    <message>
        <source>не число</source>
        <translation>not a number</translation>
    </message>
    <message>
        <source>слишком велико для этой переменной</source>
        <translation>too large for this variable</translation>
    </message>
    <message>
        <source>строка %1: </source>
        <translation>line %1: </translation>
    </message>
    <message>
        <source>это не файл настроек Quintavolte (нет строки «# device:»)</source>
        <translation>this is not a Quintavolte settings file (no &quot;# device:&quot; line)</translation>
    </message>
    <message>
        <source>ожидается «ИМЯ = ЗНАЧЕНИЕ», а не «%1»</source>
        <translation>expected &quot;NAME = VALUE&quot;, not &quot;%1&quot;</translation>
    </message>
    <message>
        <source>последняя строка не закончена, файл мог быть обрезан: «%1»</source>
        <translation>the last line is unfinished, the file may have been cut short: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>управляющий символ %1, это не строка текстового файла</source>
        <translation>control character %1: this is not a line of a text file</translation>
    </message>
    <message>
        <source>нет имени перед «=»</source>
        <translation>no name before &quot;=&quot;</translation>
    </message>
    <message>
        <source>нет значения для %1</source>
        <translation>no value for %1</translation>
    </message>
    <message>
        <source>неизвестная переменная %1</source>
        <translation>unknown variable %1</translation>
    </message>
    <message>
        <source>%1 не является настройкой</source>
        <translation>%1 is not a setting</translation>
    </message>
    <message>
        <source>%1 указана второй раз (первый раз в строке %2)</source>
        <translation>%1 is given a second time (first on line %2)</translation>
    </message>
    <message>
        <source>значение «%1» нельзя записать в %2: %3</source>
        <translation>the value &quot;%1&quot; cannot be written to %2: %3</translation>
    </message>
    <message>
        <source>файл для устройства %1, а подключено %2</source>
        <translation>the file is for device %1, but %2 is connected</translation>
    </message>
    <message>
        <source>у устройства %1 нет настройки %2</source>
        <translation>device %1 has no setting %2</translation>
    </message>
    <message>
        <source>Файл не записан.</source>
        <translation>The file was not written.</translation>
    </message>
    <message>
        <source>Не удалось записать файл настроек:
%1</source>
        <translation>Could not write the settings file:
%1</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл настроек:
%1</source>
        <translation>Could not read the settings file:
%1</translation>
    </message>
    <message>
        <source>Файл настроек %1 не подходит, ничего не записано:
%2</source>
        <translation>The settings file %1 does not fit, nothing was written:
%2</translation>
    </message>
    <message>
        <source>Ничего не записано.</source>
        <translation>Nothing was written.</translation>
    </message>
    <message>
        <source>Настройки устройства уже совпадают с файлом.</source>
        <translation>The device&apos;s settings already match the file.</translation>
    </message>
    <message>
        <source>Будут записаны в устройство (сейчас → из файла):

%1

Записать?</source>
        <translation>These will be written to the device (now → from the file):

%1

Write them?</translation>
    </message>
    <message>
        <source>Загрузка настроек прервана: записано %1 из %2.
%3</source>
        <translation>Loading the settings was interrupted: %1 of %2 written.
%3</translation>
    </message>
    <message>
        <source>
Связь с устройством потеряна.</source>
        <translation>
The connection to the device was lost.</translation>
    </message>
    <message>
        <source>
Возвращены прежние значения: %1.</source>
        <translation>
The previous values were restored: %1.</translation>
    </message>
    <message>
        <source>
Устройство хранит прежние настройки, конфигурация не сохранялась.</source>
        <translation>
The device keeps its previous settings; the configuration was not saved.</translation>
    </message>
    <message>
        <source>
Не удалось вернуть прежние значения:
%1
В устройстве могут остаться частично загруженные настройки. Они не будут сохранены в памяти устройства, в том числе при отключении.</source>
        <translation>
Could not restore the previous values:
%1
The device may hold partly loaded settings. They will not be saved in the device&apos;s memory, not even on disconnecting.</translation>
    </message>
    <message>
        <source>Настройки записаны, но не сохранены: после прерванной загрузки сохранение конфигурации отключено до отключения от устройства.</source>
        <translation>The settings were written but not saved: after an interrupted load, saving the configuration is off until you disconnect from the device.</translation>
    </message>
    <message>
        <source>Настройки записаны, но устройство не подтвердило их сохранение.</source>
        <translation>The settings were written, but the device did not confirm saving them.</translation>
    </message>
    <message>
        <source>Настройки загружены: %1, устройство сохранило конфигурацию.</source>
        <translation>Settings loaded: %1; the device saved its configuration.</translation>
    </message>
</context>
<context>
    <name>TAboutForm</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Эта программа применяется для конфигурирования и контроля состояния интеллектуального зарядного устройства Quintavolte производства 
ООО &quot;ЗЕЛТ&quot;
Больше сведений о наших разработках на сайтах:</source>
        <translation>This program configures and monitors the Quintavolte intelligent charge controller made by 
ZELT LLC
More about our products on these sites:</translation>
    </message>
</context>
<context>
    <name>TDebugViewerForm</name>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Загрузить отладочный дамп</source>
        <translation>Load debug dump</translation>
    </message>
    <message>
        <source>Откройте дамп для просмотра его содержимого</source>
        <translation>Open a dump to view its contents</translation>
    </message>
</context>
<context>
    <name>TExpertPasswordForm</name>
    <message>
        <source>Введите пароль</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>Для доступа к расширенным возможностям по настройке и тестированию устройства введите пароль эксперта</source>
        <translation>Enter the expert password to reach the advanced setup and test functions of the device</translation>
    </message>
</context>
<context>
    <name>TLinkStatsForm</name>
    <message>
        <source>Нет связи</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>Порт %1   обменов в секунду: %2   сбоев: %3 %</source>
        <translation>Port %1   exchanges per second: %2   failures: %3 %</translation>
    </message>
    <message>
        <source>Связь с устройством</source>
        <translation>Device link</translation>
    </message>
    <message>
        <source>Порт:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Запросов:</source>
        <translation>Requests:</translation>
    </message>
    <message>
        <source>Ответов без ошибок:</source>
        <translation>Good replies:</translation>
    </message>
    <message>
        <source>Нет ответа в срок:</source>
        <translation>No reply in time:</translation>
    </message>
    <message>
        <source>Ответов с ошибкой (CRC, форма):</source>
        <translation>Bad replies (CRC, form):</translation>
    </message>
    <message>
        <source>Отказов устройства:</source>
        <translation>Device exceptions:</translation>
    </message>
    <message>
        <source>Лишних байтов отброшено:</source>
        <translation>Stray bytes dropped:</translation>
    </message>
    <message>
        <source>Переподключений:</source>
        <translation>Reconnections:</translation>
    </message>
    <message>
        <source>не открыт</source>
        <translation>not open</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Порт…</source>
        <translation>Port…</translation>
    </message>
    <message>
        <source>Связь с устройством…</source>
        <translation>Device link…</translation>
    </message>
    <message>
        <source>Порт %1 не открывается: %2</source>
        <translation>Port %1 does not open: %2</translation>
    </message>
    <message>
        <source>Устройство Quintavolte не подключено к этому компьютеру либо порт занят другой программой!</source>
        <translation>The Quintavolte device is not connected to this computer, or its port is in use by another program!</translation>
    </message>
    <message>
        <source>Подключить</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Cервис</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>Режим ЗУ</source>
        <translation>Charger mode</translation>
    </message>
    <message>
        <source>Режим ИП</source>
        <translation>Power supply mode</translation>
    </message>
    <message>
        <source>Отладка</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>Эксперт</source>
        <translation>Expert</translation>
    </message>
    <message>
        <source>Просмотр дампа</source>
        <translation>View dump</translation>
    </message>
    <message>
        <source>Сохранить настройки…</source>
        <translation>Save settings…</translation>
    </message>
    <message>
        <source>Загрузить настройки…</source>
        <translation>Load settings…</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Настройка зарядного устройства</source>
        <translation>Charger settings</translation>
    </message>
    <message>
        <source>Pb-Acid АКБ</source>
        <translation>Pb-Acid battery</translation>
    </message>
    <message>
        <source>LiPo, LFP АКБ</source>
        <translation>LiPo, LFP battery</translation>
    </message>
    <message>
        <source>Мнемосхема ЗУ</source>
        <translation>Charger diagram</translation>
    </message>
    <message>
        <source>Мнемосхема ИП</source>
        <translation>Supply diagram</translation>
    </message>
    <message>
        <source>Конфигурирование ЗУ</source>
        <translation>Charger setup</translation>
    </message>
    <message>
        <source>Диагностика АКБ</source>
        <translation>Battery test</translation>
    </message>
    <message>
        <source>Периферия</source>
        <translation>Peripherals</translation>
    </message>
    <message>
        <source>Калибровка АЦП</source>
        <translation>ADC calibration</translation>
    </message>
    <message>
        <source>%1 — поиск устройства: %2</source>
        <translation>%1 — looking for the device: %2</translation>
    </message>
    <message>
        <source>
Нет доступа к %1: пользователь должен входить в группу %2 (sudo adduser $USER %2, затем войти в систему заново).</source>
        <translation>
No access to %1: the user must be in the group %2 (sudo adduser $USER %2, then log in again).</translation>
    </message>
    <message>
        <source>
Нет доступа к %1: владелец %2, группа %3, права %4.</source>
        <translation>
No access to %1: owner %2, group %3, mode %4.</translation>
    </message>
    <message>
        <source>Отключить</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Сохранение отладочного дампа</source>
        <translation>Save debug dump</translation>
    </message>
    <message>
        <source>Связь с устройством потеряна: дамп не сохранен.</source>
        <translation>The connection to the device was lost: the dump was not saved.</translation>
    </message>
    <message>
        <source>Не удалось записать файл %1</source>
        <translation>Could not write the file %1</translation>
    </message>
    <message>
        <source>Дамп сохранен, но %1 из %2 переменных прочитать не удалось.</source>
        <translation>The dump was saved, but %1 of %2 variables could not be read.</translation>
    </message>
    <message>
        <source>Неверный пароль эксперта. Доступ к сервисным функциям запрещен.</source>
        <translation>Wrong expert password. Access to the service functions is denied.</translation>
    </message>
    <message>
        <source>Настройки Quintavolte (*.txt);;Все файлы (*)</source>
        <translation>Quintavolte settings (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>Сохранение настроек</source>
        <translation>Save settings</translation>
    </message>
    <message>
        <source>Загрузка настроек</source>
        <translation>Load settings</translation>
    </message>
    <message>
        <source>Внимание!
Все значения напряжений следует указывать для температуры окружающей среды +25 °С.</source>
        <translation>Note!
Give every voltage for an ambient temperature of +25 °C.</translation>
    </message>
    <message>
        <source>Фильтр</source>
        <translation>Filter</translation>
    </message>
</context>
<context>
    <name>TPortForm</name>
    <message>
        <source>Порт устройства</source>
        <translation>Device port</translation>
    </message>
    <message>
        <source>Выберите порт, к которому подключено устройство, или введите путь к нему.</source>
        <translation>Choose the port the device is connected to, or type its path.</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Постоянное имя</source>
        <translation>Persistent name</translation>
    </message>
    <message>
        <source>Путь:</source>
        <translation>Path:</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Подключить</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>свободен</source>
        <translation>free</translation>
    </message>
    <message>
        <source>занят другой программой</source>
        <translation>in use by another program</translation>
    </message>
    <message>
        <source>нет доступа: нужна группа %1</source>
        <translation>no access: group %1 needed</translation>
    </message>
    <message>
        <source>нет доступа: владелец %1, группа %2, права %3</source>
        <translation>no access: owner %1, group %2, mode %3</translation>
    </message>
    <message>
        <source>нет доступа</source>
        <translation>no access</translation>
    </message>
    <message>
        <source>не открывается: %1</source>
        <translation>does not open: %1</translation>
    </message>
    <message>
        <source>подключён</source>
        <translation>connected</translation>
    </message>
</context>
<context>
    <name>WriteRefusal</name>
    <message>
        <source>текст</source>
        <translation>text</translation>
    </message>
    <message>
        <source>байты в шестнадцатеричном виде</source>
        <translation>bytes in hexadecimal</translation>
    </message>
    <message>
        <source>0 или 1</source>
        <translation>0 or 1</translation>
    </message>
    <message>
        <source>число от %1</source>
        <translation>a number from %1</translation>
    </message>
    <message>
        <source>любое конечное число</source>
        <translation>any finite number</translation>
    </message>
    <message>
        <source>целое число от %1 до %2</source>
        <translation>a whole number from %1 to %2</translation>
    </message>
    <message>
        <source>число от %1 до %2</source>
        <translation>a number from %1 to %2</translation>
    </message>
    <message>
        <source>Переменной %1 нет в устройстве: запись невозможна.</source>
        <translation>The device has no variable %1: it cannot be written.</translation>
    </message>
    <message>
        <source>Переменная %1 только для чтения: запись невозможна.</source>
        <translation>The variable %1 is read-only: it cannot be written.</translation>
    </message>
    <message>
        <source>это не число</source>
        <translation>it is not a number</translation>
    </message>
    <message>
        <source>нужно целое число</source>
        <translation>a whole number is needed</translation>
    </message>
    <message>
        <source>вне допустимых пределов</source>
        <translation>out of the allowed range</translation>
    </message>
    <message>
        <source>такого значения нет среди допустимых</source>
        <translation>it is not one of the allowed values</translation>
    </message>
    <message>
        <source>число так мало, что устройство сохранило бы 0</source>
        <translation>the number is so small that the device would store 0</translation>
    </message>
    <message>
        <source>Значение для %1 не введено: ничего не записано.</source>
        <translation>No value entered for %1: nothing was written.</translation>
    </message>
    <message>
        <source>Значение «%1» не записано в %2: %3.</source>
        <translation>The value &quot;%1&quot; was not written to %2: %3.</translation>
    </message>
    <message>
        <source>Допустимо: %1.</source>
        <translation>Allowed: %1.</translation>
    </message>
    <message>
        <source>В</source>
        <translation>V</translation>
    </message>
    <message>
        <source>А</source>
        <translation>A</translation>
    </message>
    <message>
        <source>Бод</source>
        <translation>Bd</translation>
    </message>
    <message>
        <source>Вт·ч</source>
        <translation>Wh</translation>
    </message>
    <message>
        <source>мВ/(В•°C)</source>
        <translation>mV/(V•°C)</translation>
    </message>
</context>
<context>
    <name>cTreeView</name>
    <message>
        <source>Сбросить ширину столбцов</source>
        <translation>Reset column widths</translation>
    </message>
</context>
</TS>

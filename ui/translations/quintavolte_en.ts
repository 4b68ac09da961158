<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>ChargerMnemoPage</name>
    <message>
        <source>Сбросить счетчик</source>
        <translation>Reset counter</translation>
    </message>
    <message>
        <source>Выключить</source>
        <translation>Force off</translation>
    </message>
    <message>
        <source>Принудительное отключение нагрузки</source>
        <translation>Force the load off</translation>
    </message>
    <message>
        <source>Выкл. днём</source>
        <translation>Off by day</translation>
    </message>
    <message>
        <source>Включать нагрузку только ночью</source>
        <translation>Switch the load on only at night</translation>
    </message>
</context>
<context>
    <name>CommandAfterWrite</name>
    <message>
        <source>Устройство не приняло %1 = %2.</source>
        <translation>The device did not accept %1 = %2.</translation>
    </message>
    <message>
        <source>Устройство не подтвердило запись %1 = %2. Проверьте подключение.</source>
        <translation>The device did not confirm the write %1 = %2. Check the connection.</translation>
    </message>
    <message>
        <source>Команда %1 не отправлена.</source>
        <translation>The command %1 was not sent.</translation>
    </message>
</context>
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
        <source>ОШИБКА при записи настроек в устройство!</source>
        <translation>ERROR writing the settings to the device!</translation>
    </message>
    <message>
        <source>Проверьте подключение!</source>
        <translation>Check the connection!</translation>
    </message>
    <message>
        <source>Журнал записей не ведется: %1</source>
        <translation>The write journal is not kept: %1</translation>
    </message>
</context>
<context>
    <name>DiagramLabels</name>
    <message>
        <source>I[A] %1</source>
        <translation>I[A] %1</translation>
    </message>
    <message>
        <source>U[В] %1</source>
        <translation>U[V] %1</translation>
    </message>
    <message>
        <source>P[Вт] %1</source>
        <translation>P[W] %1</translation>
    </message>
    <message>
        <source>E[Вт·ч] %1</source>
        <translation>E[Wh] %1</translation>
    </message>
    <message>
        <source>E(заряд)[Вт·ч] %1</source>
        <translation>E(chg)[Wh] %1</translation>
    </message>
    <message>
        <source>E(разряд)[Вт·ч] %1</source>
        <translation>E(dis)[Wh] %1</translation>
    </message>
    <message>
        <source>Umcu[В] %1</source>
        <translation>Umcu[V] %1</translation>
    </message>
    <message>
        <source>t[°C] %1</source>
        <translation>t[°C] %1</translation>
    </message>
    <message>
        <source>Ton[ч] %1</source>
        <translation>Ton[h] %1</translation>
    </message>
</context>
<context>
    <name>HistoryPage</name>
    <message>
        <source>Напряжение АКБ, В</source>
        <translation>Battery voltage, V</translation>
    </message>
    <message>
        <source>Ток АКБ, А</source>
        <translation>Battery current, A</translation>
    </message>
    <message>
        <source>Напряжение панели, В</source>
        <translation>Panel voltage, V</translation>
    </message>
    <message>
        <source>Ток панели, А</source>
        <translation>Panel current, A</translation>
    </message>
    <message>
        <source>Мощность панели, Вт</source>
        <translation>Panel power, W</translation>
    </message>
    <message>
        <source>Мощность нагрузки, Вт</source>
        <translation>Load power, W</translation>
    </message>
    <message>
        <source>Температура, °C</source>
        <translation>Temperature, °C</translation>
    </message>
    <message>
        <source>Заряд АКБ</source>
        <translation>Battery charged</translation>
    </message>
    <message>
        <source>Разряд АКБ</source>
        <translation>Battery discharged</translation>
    </message>
    <message>
        <source>От панели</source>
        <translation>From the panel</translation>
    </message>
    <message>
        <source>В нагрузку</source>
        <translation>To the load</translation>
    </message>
    <message>
        <source>это не файл истории</source>
        <translation>this is not a history file</translation>
    </message>
    <message>
        <source>файл истории повреждён</source>
        <translation>the history file is damaged</translation>
    </message>
    <message>
        <source>файл истории занят другой программой</source>
        <translation>the history file is held by another program</translation>
    </message>
    <message>
        <source>диск заполнен</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>в файл истории нельзя записать</source>
        <translation>the history file cannot be written</translation>
    </message>
    <message>
        <source>файл истории не открывается</source>
        <translation>the history file cannot be opened</translation>
    </message>
    <message>
        <source>ошибка файла истории</source>
        <translation>the history file failed</translation>
    </message>
    <message>
        <source>Последний час</source>
        <translation>Last hour</translation>
    </message>
    <message>
        <source>Последние сутки</source>
        <translation>Last day</translation>
    </message>
    <message>
        <source>Последняя неделя</source>
        <translation>Last week</translation>
    </message>
    <message>
        <source>Последний месяц</source>
        <translation>Last month</translation>
    </message>
    <message>
        <source>Последний год</source>
        <translation>Last year</translation>
    </message>
    <message>
        <source>Величины</source>
        <translation>Values</translation>
    </message>
    <message>
        <source>Открыть…</source>
        <translation>Open…</translation>
    </message>
    <message>
        <source>CSV…</source>
        <translation>CSV…</translation>
    </message>
    <message>
        <source>PNG…</source>
        <translation>PNG…</translation>
    </message>
    <message>
        <source>Файлы истории (*.sqlite);;Все файлы (*)</source>
        <translation>History files (*.sqlite);;All files (*)</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>PNG (*.png)</source>
        <translation>PNG (*.png)</translation>
    </message>
    <message>
        <source>Вт</source>
        <translation>W</translation>
    </message>
    <message>
        <source>Графики</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>Энергия по суткам</source>
        <translation>Daily energy</translation>
    </message>
    <message>
        <source>Запись истории остановлена: %1.</source>
        <translation>History recording stopped: %1.</translation>
    </message>
    <message>
        <source>Пока ничего не записано.</source>
        <translation>Nothing recorded yet.</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл истории: %1.</source>
        <translation>Could not read the history file: %1.</translation>
    </message>
    <message>
        <source>Файл истории: %1</source>
        <translation>History file: %1</translation>
    </message>
    <message>
        <source>Нет данных за этот период.</source>
        <translation>No data for this period.</translation>
    </message>
    <message>
        <source>Файл не записан: %1</source>
        <translation>File not written: %1</translation>
    </message>
    <message>
        <source>История</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Записыва&amp;ть историю</source>
        <translation>&amp;Record history</translation>
    </message>
    <message>
        <source>Энергия за сутки, Вт·ч, последние 30 дней</source>
        <translation>Energy per day, Wh, last 30 days</translation>
    </message>
    <message>
        <source>нет записи</source>
        <translation>not recorded</translation>
    </message>
</context>
<context>
    <name>LiPresetPage</name>
    <message>
        <source>Химия</source>
        <translation>Chemistry</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>[C] Емкость, А-ч</source>
        <translation>[C] Capacity, Ah</translation>
    </message>
    <message>
        <source>[S] Кол-во ячеек</source>
        <translation>[S] Cell count</translation>
    </message>
</context>
<context>
    <name>LinkQuestion</name>
    <message>
        <source>Записать скорость обмена %1?
Устройство перейдет на новую скорость, и программа потеряет с ним связь, пока не найдет его заново поиском.</source>
        <translation>Write the baud rate %1?
The device will switch to the new rate, and the program will lose it until a new search finds it.</translation>
    </message>
    <message>
        <source>Записать адрес устройства %1?
Программа потеряет связь с устройством по новому адресу, пока не найдет его заново поиском.</source>
        <translation>Write the device address %1?
The program will lose the device at its new address until a new search finds it.</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
</context>
<context>
    <name>PbPresetPage</name>
    <message>
        <source>Емкость, А-ч</source>
        <translation>Capacity, Ah</translation>
    </message>
    <message>
        <source>Режим эксплуатации АКБ</source>
        <translation>Battery use</translation>
    </message>
    <message>
        <source>Макс. использование ёмкости</source>
        <translation>Max. capacity use</translation>
    </message>
    <message>
        <source>Макс. срок службы</source>
        <translation>Max. service life</translation>
    </message>
    <message>
        <source>Восстановление сульф. АКБ</source>
        <translation>Sulfated battery recovery</translation>
    </message>
    <message>
        <source>Конструктив</source>
        <translation>Construction</translation>
    </message>
    <message>
        <source>Абсорбированный (AGM)</source>
        <translation>AGM</translation>
    </message>
    <message>
        <source>Гелевый (GEL)</source>
        <translation>Gel</translation>
    </message>
    <message>
        <source>Заливной Ca/Sb</source>
        <translation>Flooded Ca/Sb</translation>
    </message>
    <message>
        <source>Номинальное напряжение</source>
        <translation>Nominal voltage</translation>
    </message>
    <message>
        <source>12 В</source>
        <translation>12 V</translation>
    </message>
    <message>
        <source>24 В</source>
        <translation>24 V</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
    </message>
</context>
<context>
    <name>PresetReport</name>
    <message>
        <source>Установки не записаны: устройство не изменено.</source>
        <translation>Settings not written: the device is unchanged.</translation>
    </message>
    <message>
        <source>Устройство не приняло %1 = %2.</source>
        <translation>The device refused %1 = %2.</translation>
    </message>
    <message>
        <source>Не записано: %1.</source>
        <translation>Not written: %1.</translation>
    </message>
</context>
<context>
    <name>QuickSetup</name>
    <message>
        <source>Внимание!
Инструмент быстрой настройки позволяет записать в ЗУ полный набор установок, но не определяет текущие настройки устройства!</source>
        <translation>Warning!
Quick setup writes a full set of settings to the charger, but does not read the present settings of the device!</translation>
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
    <message>
        <source>идентификатор микросхемы «%1» не состоит из трёх шестнадцатеричных слов по 8 цифр</source>
        <translation>the chip identity “%1” is not three hexadecimal words of 8 digits</translation>
    </message>
    <message>
        <source>Будут записаны в устройство (сейчас → из файла):

%1</source>
        <translation>These will be written to the device (now → from the file):

%1</translation>
    </message>
    <message>
        <source>

Файл сохранён с устройства %1, подключено %2.</source>
        <translation>

The file was saved from %1; the device is %2.</translation>
    </message>
    <message>
        <source>

В файле не указано, с какого устройства он сохранён.</source>
        <translation>

The file does not say which unit it was saved from.</translation>
    </message>
    <message>
        <source>

Файл сохранён с другого устройства.</source>
        <translation>

The file was saved from another unit.</translation>
    </message>
    <message>
        <source>
Его калибровка записывается, только если отмечено «Вместе с калибровкой»:
%1</source>
        <translation>
Its calibration is written only when “With calibration” is ticked:
%1</translation>
    </message>
    <message>
        <source>

Внимание: после изменения %1 связь с устройством может прерваться.</source>
        <translation>

Warning: after changing %1 the connection to the device may be lost.</translation>
    </message>
    <message>
        <source>

Записать?</source>
        <translation>

Write them?</translation>
    </message>
    <message>
        <source>Вместе с калибровкой</source>
        <translation>With calibration</translation>
    </message>
    <message>
        <source>Записывать нечего: калибровка другого устройства не записывается.</source>
        <translation>Nothing to write: another unit’s calibration is not written.</translation>
    </message>
</context>
<context>
    <name>SupplyMnemoPage</name>
    <message>
        <source>СТАБ</source>
        <translation>REG</translation>
    </message>
    <message>
        <source>УСТАВКА</source>
        <translation>SET</translation>
    </message>
    <message>
        <source>Н А П Р Я Ж Е Н И Е</source>
        <translation>V O L T A G E</translation>
    </message>
    <message>
        <source>[В]</source>
        <translation>[V]</translation>
    </message>
    <message>
        <source>Т О К</source>
        <translation>C U R R E N T</translation>
    </message>
    <message>
        <source>[А]</source>
        <translation>[A]</translation>
    </message>
    <message>
        <source>В Ы Х О Д</source>
        <translation>O U T P U T</translation>
    </message>
    <message>
        <source>МОЩНОСТЬ</source>
        <translation>POWER</translation>
    </message>
    <message>
        <source>[Вт]</source>
        <translation>[W]</translation>
    </message>
    <message>
        <source>Задать напряжение %1В ?</source>
        <translation>Set the voltage to %1 V?</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>Выход не включен: уставка напряжения должна быть больше 0,1 В.</source>
        <translation>The output is not switched on: the voltage set-point must be above 0.1 V.</translation>
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
        <translation>This program configures and monitors the Quintavolte intelligent charge controller made by ZELT LLC.
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
    <name>TJournalForm</name>
    <message>
        <source>Журнал записей</source>
        <translation>Write journal</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Откуда</source>
        <translation>Origin</translation>
    </message>
    <message>
        <source>Переменная</source>
        <translation>Variable</translation>
    </message>
    <message>
        <source>Было</source>
        <translation>Old value</translation>
    </message>
    <message>
        <source>Стало</source>
        <translation>New value</translation>
    </message>
    <message>
        <source>Итог</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Журнал записей не ведется: не задана папка (XDG_STATE_HOME, HOME).</source>
        <translation>The write journal is not kept: no folder is set (XDG_STATE_HOME, HOME).</translation>
    </message>
    <message>
        <source>Журнал записей не прочитан: %1</source>
        <translation>The write journal could not be read: %1</translation>
    </message>
    <message>
        <source>Файл: %1 (новые записи сверху)</source>
        <translation>File: %1 (newest first)</translation>
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
    <message>
        <source>&amp;Сбросить счетчики</source>
        <translation>&amp;Reset counters</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>TLinkWatch</name>
    <message>
        <source>Связь с устройством потеряна в %1</source>
        <translation>Connection to the device lost at %1</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Эксперт</source>
        <translation>Expert</translation>
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
        <translation>Battery training</translation>
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
    <message>
        <source>Устройство снова подключено через прежний порт %1.</source>
        <translation>The device is connected again through the previous port %1.</translation>
    </message>
    <message>
        <source>Снова подключиться через прежний порт %1 не удалось.</source>
        <translation>Connecting again through the previous port %1 failed.</translation>
    </message>
    <message>
        <source>Под&amp;ключить</source>
        <translation>Co&amp;nnect</translation>
    </message>
    <message>
        <source>&amp;Порт…</source>
        <translation>&amp;Port…</translation>
    </message>
    <message>
        <source>&amp;Cервис</source>
        <translation>&amp;Service</translation>
    </message>
    <message>
        <source>Режим &amp;ЗУ</source>
        <translation>&amp;Charger mode</translation>
    </message>
    <message>
        <source>Режим &amp;ИП</source>
        <translation>&amp;Power supply mode</translation>
    </message>
    <message>
        <source>&amp;Отладка</source>
        <translation>Save &amp;debug dump…</translation>
    </message>
    <message>
        <source>&amp;Эксперт</source>
        <translation>&amp;Expert access…</translation>
    </message>
    <message>
        <source>&amp;Просмотр дампа</source>
        <translation>&amp;View dump</translation>
    </message>
    <message>
        <source>&amp;Сохранить настройки…</source>
        <translation>&amp;Save settings…</translation>
    </message>
    <message>
        <source>За&amp;грузить настройки…</source>
        <translation>&amp;Load settings…</translation>
    </message>
    <message>
        <source>Связь с &amp;устройством…</source>
        <translation>Device lin&amp;k…</translation>
    </message>
    <message>
        <source>&amp;Журнал записей…</source>
        <translation>Write &amp;journal…</translation>
    </message>
    <message>
        <source>&amp;Выход</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>&amp;О программе</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>От&amp;ключить</source>
        <translation>Disco&amp;nnect</translation>
    </message>
    <message>
        <source>Устройство Quintavolte не найдено.</source>
        <translation>The Quintavolte device was not found.</translation>
    </message>
    <message>
        <source>нет ответа</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>ответы не прошли проверку</source>
        <translation>replies failed their check</translation>
    </message>
    <message>
        <source>отвечает другое устройство</source>
        <translation>another kind of device answers</translation>
    </message>
    <message>
        <source>занят другой программой</source>
        <translation>in use by another program</translation>
    </message>
    <message>
        <source>не последовательный порт</source>
        <translation>not a serial port</translation>
    </message>
    <message>
        <source>не открывается: %1</source>
        <translation>does not open: %1</translation>
    </message>
    <message>
        <source>Последовательные порты не найдены.</source>
        <translation>No serial ports were found.</translation>
    </message>
    <message>
        <source>Порт %1: %2.</source>
        <translation>Port %1: %2.</translation>
    </message>
    <message>
        <source>Порты %1: %2.</source>
        <translation>Ports %1: %2.</translation>
    </message>
    <message>
        <source>Порт %1: нет доступа.</source>
        <translation>Port %1: no access.</translation>
    </message>
    <message>
        <source>Выберите порт: Порт…</source>
        <translation>Choose the port: Port…</translation>
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
    <message>
        <source>не последовательный порт</source>
        <translation>not a serial port</translation>
    </message>
    <message>
        <source>Адрес:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>254 (любое устройство)</source>
        <translation>254 (any device)</translation>
    </message>
    <message>
        <source>Адрес устройства на линии RS-485: 1–247, когда на ней несколько устройств</source>
        <translation>The device&apos;s address on the RS-485 line: 1–247 when several devices share it</translation>
    </message>
</context>
<context>
    <name>TrainingChart</name>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>Заряд</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>Uакб</source>
        <translation>Ubat</translation>
    </message>
    <message>
        <source>Время, ч</source>
        <translation>Time, h</translation>
    </message>
    <message>
        <source>Напряжение, В</source>
        <translation>Voltage, V</translation>
    </message>
    <message>
        <source>Энергия, Вт·ч</source>
        <translation>Energy, Wh</translation>
    </message>
    <message>
        <source>Весь график</source>
        <translation>Whole chart</translation>
    </message>
</context>
<context>
    <name>TrainingLog</name>
    <message>
        <source>Не удалось записать журнал тренировки:<byte value="xd"/>
%1</source>
        <translation>Could not write the training log:<byte value="xd"/>
%1</translation>
    </message>
</context>
<context>
    <name>TrainingPage</name>
    <message>
        <source>Тренировка АКБ заключается в нескольких циклах полного разряда и полного заряда. Регистрация значений энергии, принятой и отданной АКБ, позволяет оценить его реальную емкость и КПД.</source>
        <translation>A battery training is a few cycles of full discharge and full charge. The energy the battery takes and gives back shows its real capacity and efficiency.</translation>
    </message>
    <message>
        <source>Статус</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Завершено</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>После окончания</source>
        <translation>When finished</translation>
    </message>
    <message>
        <source>Нагрузка включена</source>
        <translation>Load on</translation>
    </message>
    <message>
        <source>Нагрузка выключена</source>
        <translation>Load off</translation>
    </message>
    <message>
        <source>Начать</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Количество циклов</source>
        <translation>Number of cycles</translation>
    </message>
    <message>
        <source>Текущие показатели</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>Энергия заряда, Вт·ч</source>
        <translation>Charge energy, Wh</translation>
    </message>
    <message>
        <source>Энергия разряда, Вт·ч</source>
        <translation>Discharge energy, Wh</translation>
    </message>
    <message>
        <source>КПД, %</source>
        <translation>Efficiency, %</translation>
    </message>
    <message>
        <source>Сохранить…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>Открыть журнал…</source>
        <translation>Open log…</translation>
    </message>
    <message>
        <source>Текущая тренировка</source>
        <translation>Current training</translation>
    </message>
    <message>
        <source>Прервать</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>Заряд</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>Не удалось сохранить файл:<byte value="xd"/>
%1</source>
        <translation>Could not save the file:<byte value="xd"/>
%1</translation>
    </message>
    <message>
        <source>Файл не является журналом тренировки:<byte value="xd"/>
%1</source>
        <translation>The file is not a training log:<byte value="xd"/>
%1</translation>
    </message>
    <message>
        <source>Журнал: %1</source>
        <translation>Log: %1</translation>
    </message>
    <message>
        <source>Сохранить график</source>
        <translation>Save chart</translation>
    </message>
    <message>
        <source>Рисунок PNG (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>Открыть журнал</source>
        <translation>Open log</translation>
    </message>
    <message>
        <source>Журнал тренировки (*.csv)</source>
        <translation>Training log (*.csv)</translation>
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
    <name>cAccuTree</name>
    <message>
        <source>Напряжение начала заряда, В</source>
        <translation>Charge start voltage, V</translation>
    </message>
    <message>
        <source>Напряжение окончания заряда, В</source>
        <translation>Charge end voltage, V</translation>
    </message>
    <message>
        <source>Максимальный ток заряда, А</source>
        <translation>Max. charge current, A</translation>
    </message>
    <message>
        <source>Напряжение отключения нагрузки, В</source>
        <translation>Load disconnect voltage, V</translation>
    </message>
    <message>
        <source>Напряжение включения нагрузки, В</source>
        <translation>Load reconnect voltage, V</translation>
    </message>
    <message>
        <source>Коэффициент температурной коррекции, мВ/(В•°C)</source>
        <translation>Temperature compensation, mV/(V•°C)</translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Текущее значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Введите значение для записи</source>
        <translation>Enter a value to write</translation>
    </message>
</context>
<context>
    <name>cCalibrateTree</name>
    <message>
        <source>I Solar, ток ФГП</source>
        <translation>I Solar, PV current</translation>
    </message>
    <message>
        <source>U Solar, напряжение ФГП</source>
        <translation>U Solar, PV voltage</translation>
    </message>
    <message>
        <source>I Accu, ток АКБ</source>
        <translation>I Accu, battery current</translation>
    </message>
    <message>
        <source>U Accu, напряжение АКБ</source>
        <translation>U Accu, battery voltage</translation>
    </message>
    <message>
        <source>I Load, ток нагрузки</source>
        <translation>I Load, load current</translation>
    </message>
    <message>
        <source>AI 1, напряжение входа 1</source>
        <translation>AI 1, input 1 voltage</translation>
    </message>
    <message>
        <source>AI 2, напряжение входа 2</source>
        <translation>AI 2, input 2 voltage</translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Текущее значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Калибровать</source>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>Калибровать 0</source>
        <translation>Calibrate zero</translation>
    </message>
    <message>
        <source>Калибровать на значение</source>
        <translation>Calibrate to the value</translation>
    </message>
    <message>
        <source>Введите истинное значение</source>
        <translation>Enter the true value</translation>
    </message>
    <message>
        <source>Температура [°C]</source>
        <translation>Temperature [°C]</translation>
    </message>
</context>
<context>
    <name>cPerifTree</name>
    <message>
        <source>Версия устройства</source>
        <translation>Device version</translation>
    </message>
    <message>
        <source>Прошивка</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Настройки Modbus RTU и RS485</source>
        <translation>Modbus RTU and RS485 settings</translation>
    </message>
    <message>
        <source>Адрес устройства Modbus RTU</source>
        <translation>Modbus RTU device address</translation>
    </message>
    <message>
        <source>Скорость обмена RS485</source>
        <translation>RS485 baud rate</translation>
    </message>
    <message>
        <source>Аналоговые входы</source>
        <translation>Analog inputs</translation>
    </message>
    <message>
        <source>Напряжение на входе AI 1</source>
        <translation>AI 1 input voltage</translation>
    </message>
    <message>
        <source>Напряжение на входе AI 2</source>
        <translation>AI 2 input voltage</translation>
    </message>
    <message>
        <source>Дискретный вход DI 1</source>
        <translation>Digital input DI 1</translation>
    </message>
    <message>
        <source>Уровень на входе DI 1</source>
        <translation>DI 1 level</translation>
    </message>
    <message>
        <source>Счетчик переключений DI 1</source>
        <translation>DI 1 change count</translation>
    </message>
    <message>
        <source>Частота сигнала DI 1</source>
        <translation>DI 1 frequency</translation>
    </message>
    <message>
        <source>Скважность сигнала DI 1</source>
        <translation>DI 1 duty cycle</translation>
    </message>
    <message>
        <source>Дискретный вход DI 2</source>
        <translation>Digital input DI 2</translation>
    </message>
    <message>
        <source>Уровень на входе DI 2</source>
        <translation>DI 2 level</translation>
    </message>
    <message>
        <source>Счетчик переключений DI 2</source>
        <translation>DI 2 change count</translation>
    </message>
    <message>
        <source>Частота сигнала DI 2</source>
        <translation>DI 2 frequency</translation>
    </message>
    <message>
        <source>Скважность сигнала DI 2</source>
        <translation>DI 2 duty cycle</translation>
    </message>
    <message>
        <source>Дискретный вход DI 3</source>
        <translation>Digital input DI 3</translation>
    </message>
    <message>
        <source>Уровень на входе DI 3</source>
        <translation>DI 3 level</translation>
    </message>
    <message>
        <source>Счетчик переключений DI 3</source>
        <translation>DI 3 change count</translation>
    </message>
    <message>
        <source>Частота сигнала DI 3</source>
        <translation>DI 3 frequency</translation>
    </message>
    <message>
        <source>Скважность сигнала DI 3</source>
        <translation>DI 3 duty cycle</translation>
    </message>
    <message>
        <source>Дискретный вход DI 4</source>
        <translation>Digital input DI 4</translation>
    </message>
    <message>
        <source>Уровень на входе DI 4</source>
        <translation>DI 4 level</translation>
    </message>
    <message>
        <source>Счетчик переключений DI 4</source>
        <translation>DI 4 change count</translation>
    </message>
    <message>
        <source>Частота сигнала DI 4</source>
        <translation>DI 4 frequency</translation>
    </message>
    <message>
        <source>Скважность сигнала DI 4</source>
        <translation>DI 4 duty cycle</translation>
    </message>
    <message>
        <source>Дискретные выходы</source>
        <translation>Digital outputs</translation>
    </message>
    <message>
        <source>Дискретный выход DO 1</source>
        <translation>Digital output DO 1</translation>
    </message>
    <message>
        <source>Режим работы DO 1</source>
        <translation>DO 1 mode</translation>
    </message>
    <message>
        <source>Дискретный выход DO 2</source>
        <translation>Digital output DO 2</translation>
    </message>
    <message>
        <source>Режим работы DO 2</source>
        <translation>DO 2 mode</translation>
    </message>
    <message>
        <source>Дискретный выход DO 3</source>
        <translation>Digital output DO 3</translation>
    </message>
    <message>
        <source>Режим работы DO 3</source>
        <translation>DO 3 mode</translation>
    </message>
    <message>
        <source>Дискретный выход DO 4</source>
        <translation>Digital output DO 4</translation>
    </message>
    <message>
        <source>Режим работы DO 4</source>
        <translation>DO 4 mode</translation>
    </message>
    <message>
        <source>Счетчики наработки (часов)</source>
        <translation>Running hours</translation>
    </message>
    <message>
        <source>Время работы от перезагрузки</source>
        <translation>Hours since restart</translation>
    </message>
    <message>
        <source>Общее время работы</source>
        <translation>Total running hours</translation>
    </message>
    <message>
        <source>Управление по Modbus</source>
        <translation>Modbus control</translation>
    </message>
    <message>
        <source>Панель ОК</source>
        <translation>Panel OK</translation>
    </message>
    <message>
        <source>АКБ заряжается</source>
        <translation>Battery charging</translation>
    </message>
    <message>
        <source>АКБ заряжена</source>
        <translation>Battery charged</translation>
    </message>
    <message>
        <source>АКБ разряжена</source>
        <translation>Battery low</translation>
    </message>
    <message>
        <source>Нагрузка включена</source>
        <translation>Load on</translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Текущее значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Выключить</source>
        <translation>Turn off</translation>
    </message>
    <message>
        <source>Включить</source>
        <translation>Turn on</translation>
    </message>
    <message>
        <source>Обнулить</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Введите значение для записи</source>
        <translation>Enter a value to write</translation>
    </message>
</context>
<context>
    <name>cServiceTree</name>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Редактировать</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Записать в устройство</source>
        <translation>Write to the device</translation>
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

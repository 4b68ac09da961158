<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>CoreText</name>
    <message>
        <source>Файл %1 поврежден!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Зарядное устройство настроено успешно!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ОШИБКА при записи настроек в устройство!<byte value="xd"/>
Проверьте подключение!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Недопустимое количество ячеек. Количество последовательно соединенных элементов может быть от 3 до 9.</source>
        <translation type="unfinished"></translation>
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
    <name>TLinkStatsForm</name>
    <message>
        <source>Нет связи</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Порт %1   обменов в секунду: %2   сбоев: %3 %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Связь с устройством</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Порт:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Запросов:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ответов без ошибок:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Нет ответа в срок:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ответов с ошибкой (CRC, форма):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Отказов устройства:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Лишних байтов отброшено:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Переподключений:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>не открыт</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Порт…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Связь с устройством…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Порт %1 не открывается: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TPortForm</name>
    <message>
        <source>Порт устройства</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Выберите порт, к которому подключено устройство, или введите путь к нему.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Порт</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Постоянное имя</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Путь:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Подключить</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>свободен</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>занят другой программой</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>нет доступа: нужна группа %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>нет доступа: владелец %1, группа %2, права %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>нет доступа</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>не открывается: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>подключён</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WriteRefusal</name>
    <message>
        <source>текст</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>байты в шестнадцатеричном виде</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 или 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>число от %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>любое конечное число</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>целое число от %1 до %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>число от %1 до %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Переменной %1 нет в устройстве: запись невозможна.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Переменная %1 только для чтения: запись невозможна.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>это не число</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>нужно целое число</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>вне допустимых пределов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>такого значения нет среди допустимых</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>число так мало, что устройство сохранило бы 0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение для %1 не введено: ничего не записано.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение «%1» не записано в %2: %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Допустимо: %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>cTreeView</name>
    <message>
        <source>Сбросить ширину столбцов</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>

// Lets tests hold the port's lock and look at its rings as the transfer thread left them.
#pragma once
#include "port/SerialPort.h"

struct SerialPortProbe {
    static CCritSection &Lock(CSerialPort &port) { return port.Lock; }
    static ByteRing &Rx(CSerialPort &port) { return port.RxRing; }
    static ByteRing &Tx(CSerialPort &port) { return port.TxRing; }
};

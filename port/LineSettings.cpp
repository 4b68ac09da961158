#include "port/LineSettings.h"

namespace {

bool SpeedOf(uint32_t baud, speed_t &speed)
{
    static constexpr struct {
        uint32_t baud;
        speed_t speed;
    } kRates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
        {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
        {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto &r : kRates) {
        if (r.baud == baud) {
            speed = r.speed;
            return true;
        }
    }
    return false;
}

constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

}  // namespace

bool BuildLineSettings(termios &t, uint32_t baud, uint8_t byteSize, uint8_t stopBits, uint8_t parity)
{
    speed_t speed;
    if (!SpeedOf(baud, speed))
        return false;
    tcflag_t size;
    switch (byteSize) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }
    tcflag_t parityBits;
    switch (parity) {
    case 0:
        parityBits = 0;
        break;
    case 1:
        parityBits = PARENB | PARODD;
        break;
    case 2:
        parityBits = PARENB;
        break;
    case 3:
        parityBits = PARENB | CMSPAR | PARODD;
        break;  // mark
    case 4:
        parityBits = PARENB | CMSPAR;
        break;  // space
    default:
        return false;
    }
    tcflag_t stopBitsFlag;
    switch (stopBits) {
    case 0:
        stopBitsFlag = 0;
        break;
    case 2:
        stopBitsFlag = CSTOPB;
        break;
    default:
        return false;  // one and a half stop bits do not exist here
    }

    termios n = t;
    cfmakeraw(&n);
    n.c_cflag &= ~kFramingBits;
    n.c_cflag |= size | parityBits | stopBitsFlag | CLOCAL | CREAD;
    n.c_cc[VMIN] = 0;
    n.c_cc[VTIME] = 0;
    if (cfsetispeed(&n, speed) != 0 || cfsetospeed(&n, speed) != 0)
        return false;
    t = n;
    return true;
}

bool LineSettingsHeld(const termios &wanted, const termios &got)
{
    return (wanted.c_cflag & kFramingBits) == (got.c_cflag & kFramingBits) &&
           cfgetospeed(&wanted) == cfgetospeed(&got) && cfgetispeed(&wanted) == cfgetispeed(&got);
}

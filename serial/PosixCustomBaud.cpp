// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary baud rates through the kernel's termios2 interface. Kept apart
// because the kernel's termios headers clash with the C library's <termios.h>.
#include "serial/PosixSerial.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace PosixSerial {

bool SetCustomBaud(int fd, int rate) {
    if (rate <= 0)
        return false;
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = static_cast<speed_t>(rate);
    tio.c_ospeed = static_cast<speed_t>(rate);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace PosixSerial

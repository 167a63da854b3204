#pragma once

#include <QtGlobal>

#include <algorithm>

// Result codes of a failed pass-through. They sit where the kernel's own codes sit (high
// bit set, so negative as signed 32-bit) and never meet the library's small codes; "%08x"
// shows the kind in the third and fourth digit and the detail in the last four.
class ScsiResult {
public:
    // open or ioctl refused: errno.
    static constexpr qint32 systemError(int error) { return code(0x01, quint16(error)); }
    // The device ended the command with a status other than GOOD: sense key, status byte.
    static constexpr qint32 deviceStatus(quint8 status, quint8 senseKey)
    {
        return code(0x02, quint16(senseKey << 8 | status));
    }
    // The host adapter or the kernel driver failed the command.
    static constexpr qint32 transportError(quint8 hostStatus, quint8 driverStatus)
    {
        return code(0x03, quint16(hostStatus << 8 | driverStatus));
    }
    // Fewer bytes moved than the command asked for.
    static constexpr qint32 shortTransfer(int residual) { return code(0x04, quint16(std::clamp(residual, 1, 0xFFFF))); }
    // A request the channel cannot carry: command length, direction or buffer.
    static constexpr qint32 badRequest() { return code(0x05, 0); }

private:
    static constexpr qint32 code(quint8 kind, quint16 detail)
    {
        return qint32(0xE0000000u | quint32(kind) << 16 | detail);
    }
};

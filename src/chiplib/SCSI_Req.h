#pragma once

#include <QtGlobal>

#include <initializer_list>

// One pass-through request as callers of the library build it: the command bytes one per
// word, then the command length, the data direction, the transfer length and the address
// of the data buffer. 160 bytes, native byte order.
struct SCSI_Req_ {
    static constexpr quint64 kNone = 0;
    static constexpr quint64 kOut = 1; // host to device
    static constexpr quint64 kIn = 2;  // device to host

    quint64 cdb[16];
    quint64 cdbLength;
    quint64 direction;
    quint64 transferLength;
    quint64 buffer;

    // Every word not given is zero.
    static SCSI_Req_ make(std::initializer_list<quint8> command, quint64 direction, const void* data,
                          quint64 length)
    {
        SCSI_Req_ r {};
        int i = 0;
        for (quint8 b : command)
            r.cdb[i++] = b;
        r.cdbLength = quint64(command.size());
        r.direction = direction;
        r.transferLength = length;
        r.buffer = quint64(reinterpret_cast<quintptr>(data));
        return r;
    }
};
static_assert(sizeof(SCSI_Req_) == 160);

#pragma once

#include <QtGlobal>

// Loopback ports for the redirect addresses of test sign-ins, which must be known before the
// sign-in listens on them. A port handed out lies below the system's range of ports for "any
// free port", so no program asking for one is given it; it was free on 127.0.0.1 and ::1 when
// handed out; and it stays claimed, by a UDP socket of the same number held for the life of
// the process, so neither this process nor another test using this helper is handed it again.
// Nothing that holds the port for the sign-in is closed before the sign-in takes it.
class ReservedLoopbackPorts {
public:
    // 0 when no port could be found.
    static quint16 take();
};

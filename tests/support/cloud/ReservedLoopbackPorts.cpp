#include "ReservedLoopbackPorts.h"

#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// The first port the system hands out for "any free port".
quint16 ephemeralStart()
{
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const uint low = QString::fromLatin1(range.readAll()).simplified().section(QLatin1Char(' '), 0, 0).toUInt(&ok);
        if (ok && low > 2048 && low <= 65535)
            return quint16(low);
    }
    return 32768;
}

bool tcpFree(const QHostAddress& address, quint16 port)
{
    QTcpServer probe;
    if (probe.listen(address, port))
        return true;
    // A system without this loopback address has nobody listening there either.
    return probe.serverError() != QAbstractSocket::AddressInUseError;
}

} // namespace

quint16 ReservedLoopbackPorts::take()
{
    static std::vector<std::unique_ptr<QUdpSocket>> claims;
    const quint16 end = ephemeralStart();
    const quint16 begin = quint16(std::max(1024, end - 16384));
    const int span = end - begin;
    const int start = int(QRandomGenerator::global()->bounded(span));
    for (int i = 0; i < span; ++i) {
        const quint16 port = quint16(begin + (start + i) % span);
        auto claim = std::make_unique<QUdpSocket>();
        if (!claim->bind(QHostAddress::LocalHost, port, QAbstractSocket::DontShareAddress))
            continue; // another test's, or this one's
        if (!tcpFree(QHostAddress::LocalHost, port) || !tcpFree(QHostAddress::LocalHostIPv6, port))
            continue;
        claims.push_back(std::move(claim));
        return port;
    }
    // Said here: a sign-in on port 0 would fail far from the cause.
    ADD_FAILURE() << "no free loopback port below " << end;
    return 0;
}

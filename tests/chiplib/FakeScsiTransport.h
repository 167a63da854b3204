#pragma once

#include "ScsiTransport.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>

// A bridge chip behind SG_IO: answers from its registers and tables, records what it was
// sent, and fails the commands whose bytes start with faultCdb.
struct FakeBridge {
    enum class Fault { CheckCondition,
                       ShortAnswer,
                       HostError,
                       IoctlError };

    ScsiBridgeNode node;
    quint8 chip[2];
    bool opens = true;
    QMap<quint16, QByteArray> registers { { 0x07F0, QByteArray::fromHex("15111300ff0407") },
                                          { 0xC8FF, QByteArray::fromHex("50") } };
    QByteArray config = QByteArray(128, '\x11');
    QByteArray identify = QByteArray(512, '\x22');
    QByteArray eeprom; // last EEPROM write
    QByteArray faultCdb;
    Fault fault = Fault::CheckCondition;
};

struct SentCommand {
    int bridge;
    QByteArray cdb;
    int direction;
    unsigned length;
    QByteArray dataOut;
};

class FakeScsiTransport : public ScsiTransport {
public:
    bool loaded = true;
    QList<FakeBridge> chips;
    QList<SentCommand> sent;

    FakeBridge& add(quint32 location, quint8 low = 0x05, quint8 high = 0x21)
    {
        FakeBridge b;
        b.node = { QStringLiteral("/dev/sg%1").arg(chips.size()), location };
        b.chip[0] = low;
        b.chip[1] = high;
        chips.append(b);
        return chips.last();
    }

    // The sent commands' bytes as hex, of one bridge or of all.
    QStringList cdbs(int bridge = -1) const
    {
        QStringList out;
        for (const SentCommand& c : sent) {
            if (bridge < 0 || c.bridge == bridge)
                out << QString::fromLatin1(c.cdb.toHex(' '));
        }
        return out;
    }

    bool driverLoaded() override { return loaded; }

    QList<ScsiBridgeNode> bridges() override
    {
        QList<ScsiBridgeNode> nodes;
        for (const FakeBridge& b : chips)
            nodes << b.node;
        return nodes;
    }

    std::unique_ptr<ScsiDeviceHandle> open(const QString& devnode, int* error) override
    {
        for (int i = 0; i < chips.size(); ++i) {
            if (chips[i].node.devnode == devnode && chips[i].opens)
                return std::make_unique<Handle>(this, i);
        }
        *error = EACCES;
        return nullptr;
    }

private:
    class Handle : public ScsiDeviceHandle {
    public:
        Handle(FakeScsiTransport* t, int index)
            : m_t(t)
            , m_index(index)
        {
        }

        int sgIo(sg_io_hdr_t& h) override
        {
            FakeBridge& b = m_t->chips[m_index];
            const QByteArray cdb(reinterpret_cast<const char*>(h.cmdp), h.cmd_len);
            auto* data = static_cast<quint8*>(h.dxferp);
            const QByteArray out = h.dxfer_direction == SG_DXFER_TO_DEV
                ? QByteArray(reinterpret_cast<const char*>(data), int(h.dxfer_len))
                : QByteArray();
            m_t->sent << SentCommand { m_index, cdb, h.dxfer_direction, h.dxfer_len, out };
            const bool failing = !b.faultCdb.isEmpty() && cdb.startsWith(b.faultCdb);
            if (failing && b.fault == FakeBridge::Fault::IoctlError)
                return -EIO;
            if (failing && b.fault == FakeBridge::Fault::HostError) {
                h.host_status = 0x07;
                return 0;
            }
            if (failing && b.fault == FakeBridge::Fault::CheckCondition) {
                if (data)
                    std::memset(data, 0xEE, h.dxfer_len); // whatever the device left behind
                const quint8 sense[18] = { 0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20 };
                std::memcpy(h.sbp, sense, sizeof sense);
                h.sb_len_wr = sizeof sense;
                h.status = 0x02;
                h.driver_status = 0x08;
                return 0;
            }
            const QByteArray answer = respond(b, cdb, out);
            if (h.dxfer_direction == SG_DXFER_FROM_DEV) {
                int n = std::min(int(h.dxfer_len), int(answer.size()));
                if (failing)
                    n /= 2;
                std::memcpy(data, answer.constData(), size_t(n));
                h.resid = int(h.dxfer_len) - n;
            }
            return 0;
        }

    private:
        static QByteArray respond(FakeBridge& b, const QByteArray& cdb, const QByteArray& out)
        {
            switch (quint8(cdb[0])) {
            case 0x12: return QByteArray(36, '\0') + char(b.chip[0]) + char(b.chip[1]);
            case 0xE4: return b.registers.value(quint16(quint8(cdb[3]) << 8 | quint8(cdb[4]))).leftJustified(quint8(cdb[1]), '\0');
            case 0xE0: return b.config;
            case 0xE1: b.config = out; return {};
            case 0xE3: b.eeprom = out; return {};
            case 0xA1: return b.identify;
            case 0xE6: return QByteArray(4096, '\x33');
            default: return {};
            }
        }

        FakeScsiTransport* m_t;
        int m_index;
    };
};

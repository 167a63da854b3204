#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// How the maker's devices are recognised among USB devices. The USB watcher and drive
// discovery must agree, so both ask here.
class MakerProducts {
public:
    // Product-line words, lower case, matched as substrings of lower-cased device names.
    static const QStringList& lineWords()
    {
        static const QStringList words{QStringLiteral("zorvi"), QStringLiteral("velkan"), QStringLiteral("tessaro"),
                                       QStringLiteral("brindle"), QStringLiteral("quorrel")};
        return words;
    }
    static QString makerWord() { return QStringLiteral("morvantek"); }

    // The drive models the One-Touch Backup page offers, in carousel order.
    static const QStringList& modelNames()
    {
        static const QStringList names{QStringLiteral("Zorvi One"),    QStringLiteral("Velkan/Duo/Pro"),
                                       QStringLiteral("Tessaro Slim"), QStringLiteral("Brindle Go"),
                                       QStringLiteral("Quorrel Max"),  QStringLiteral("Zorvi Vault"),
                                       QStringLiteral("Tessaro Mini")};
        return names;
    }
    // The picture resource of a model: its name without "/" (spaces kept). Every picture of a
    // model is named from this ("OTB_" + it, ...).
    static QString modelPictureName(const QString& model)
    {
        QString name = model;
        name.remove(QLatin1Char('/'));
        return name;
    }

    // USB vendor ids of the maker's bridges (the udev rule in data/ grants access to these).
    static const QList<quint16>& vendorIds()
    {
        static const QList<quint16> ids{0x4d5a, 0x4d5b, 0x4d5c};
        return ids;
    }

    // The two lines whose manufacturer text (exact, case included) shows the KD picture.
    static const QStringList& kdWords()
    {
        static const QStringList words{QStringLiteral("Velkan"), QStringLiteral("Tessaro")};
        return words;
    }

    static bool nameMatches(const QString& lowerName)
    {
        for (const QString& w : lineWords()) {
            if (lowerName.contains(w))
                return true;
        }
        return lowerName.contains(makerWord());
    }

    // Substring tests on the report's "0x...." texts, product first.
    static bool idsMatch(const QString& productId, const QString& vendorId)
    {
        static const char* const pairs[][2] = {{"0x7000", "0x4d5a"}, {"0x1000", "0x4d5a"}, {"0x2000", "0x4d5b"},
                                               {"0x2000", "0x4d5c"}, {"0x5106", "0x4d5c"}};
        for (const auto& p : pairs) {
            if (productId.contains(QLatin1String(p[0])) && vendorId.contains(QLatin1String(p[1])))
                return true;
        }
        return false;
    }

    static bool isMakerDevice(const QString& lowerName, const QString& productId, const QString& vendorId)
    {
        return nameMatches(lowerName) || idsMatch(productId, vendorId);
    }

    // The report's form of a USB id: "0x4d5a".
    static QString idText(quint16 id) { return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0')); }
};

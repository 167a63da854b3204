#pragma once

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

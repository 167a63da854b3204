#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <Qt>

class QLabel;
class QWidget;

// Colours and fonts the controls share. Liberation Sans stands in for Arial, Helvetica and
// the system font (metric-compatible); sizes are pixels, matching the design's points at 1x.
class ControlStyle {
public:
    static QColor accentBlue() { return QColor(0, 122, 255); }
    static QColor darkText() { return QColor(51, 51, 51); }
    static QColor greyText() { return QColor(142, 142, 147); }
    static QColor lightFace() { return QColor(239, 239, 244); }
    static QColor dialogBackground() { return QColor(249, 249, 254); }

    static QString family() { return QStringLiteral("Liberation Sans"); }
    static QFont font(int pixelSize, bool bold = false)
    {
        QFont f(family());
        f.setPixelSize(pixelSize);
        f.setBold(bold);
        return f;
    }
    static QString css(const QColor& c) { return c.name(QColor::HexRgb); }
    // "font-family: ...; font-size: Npx; font-weight: ..." for style sheets.
    static QString cssFont(int pixelSize, bool bold = false)
    {
        return QStringLiteral("font-family: \"%1\"; font-size: %2px; font-weight: %3;")
            .arg(family())
            .arg(pixelSize)
            .arg(bold ? QStringLiteral("bold") : QStringLiteral("normal"));
    }

    // A label on its parent's background in the given size, weight and colour.
    static QLabel* textLabel(QWidget* parent, int pixelSize, bool bold, const QColor& colour);

    // Makes family() the application's default font at its current size. A minimal install
    // may resolve "sans-serif" to a monospaced face, so the generic name cannot be trusted.
    static void applyApplicationFont();

    // Window managers show a maximize button unless the flags list the allowed buttons, and
    // one that cannot resize does nothing. A fixed-size top-level window: minimize and close.
    static Qt::WindowFlags fixedWindowFlags();
    // A dialog: close when closing means cancelling; otherwise minimize alone, as some
    // button must be named for the others to be left out.
    static Qt::WindowFlags dialogFlags(bool closeButton = false);
};

#pragma once

class QAbstractItemView;
class QDialog;
class QFileDialog;
class QTreeView;

// Sizes the file choosers so that what they list reads whole: the places in the sidebar
// (drive names) and the size, type and date columns beside the stretching name column.
// Qt's own sizes are made for short dates ("10/29/81 02:02PM") and a narrow dialog.
class FileChooserFit {
public:
    // The widget-based QFileDialog: its size, its sidebar and its detail columns.
    static void fitFileDialog(QFileDialog* dialog);
    // A detail view over a QFileSystemModel: name stretches, the other columns fit the
    // widest text they can show in this locale.
    static void fitColumns(QTreeView* view);
    // The width the longest entry of a list of places needs, icon and margins included.
    static int placesWidth(const QAbstractItemView* places);
    // Grows a dialog to `width` x `height`, within the screen it is on.
    static void growWithinScreen(QDialog* dialog, int width, int height);
};

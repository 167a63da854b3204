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
    // A detail view over a QFileSystemModel (name, size, type, date): the name stretches, size
    // and date fit the widest text they can show in this locale, the type a common one.
    static void fitColumns(QTreeView* view);
    // The width the longest entry of a list of places needs, icon and margins included.
    static int placesWidth(const QAbstractItemView* places);
    // Grows a chooser to the size these columns need, within the screen it is on.
    static void growToChooserSize(QDialog* dialog);
};

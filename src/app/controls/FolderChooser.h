#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

// The folder choosers of the pages: the same places in their sidebars, the same size.
class FolderChooser {
public:
    // The home folder, "/" and the roots of the removable volumes mounted now.
    static QStringList placePaths();
    // A chooser of one existing folder, starting at home, deleted when closed; the caller
    // connects fileSelected and opens it.
    static QFileDialog* destinationDialog(QWidget* parent, const QString& title);
};

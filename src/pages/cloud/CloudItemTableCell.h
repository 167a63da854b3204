#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class CloudCellDelegate;
class ElidedLabel;
class QCheckBox;
class QLabel;

// One row of the cloud file picker: checkbox, picture, name, size and date. A click on the
// checkbox is reported to the picker; setting the checkbox from code reports nothing. A press
// or double click elsewhere on the row is announced for the table to act on.
class CloudItemTableCell : public QWidget {
    Q_OBJECT
public:
    explicit CloudItemTableCell(QWidget* parent = nullptr);

    QCheckBox* cloudItemCheckbox = nullptr;
    QLabel* cloudItemImageView = nullptr;
    ElidedLabel* cloudItemNameLabel = nullptr;
    QLabel* cloudItemSizeLabel = nullptr;
    QLabel* cloudItemDateLabel = nullptr;
    QString id;
    QString path;
    CloudCellDelegate* cloudDelegete = nullptr; // not owned

    // The checkbox handler: tells the delegate the checkbox's state, the row's id and path.
    void CloudItemCellClicked();

    // The picture the row shows ("folder", or the file type it was drawn for).
    QString imageKind() const { return imageKind_; }
    void showFolderImage();
    // `type`: a file name's extension; empty for a file without one.
    void showFileImage(const QString& type);

    static QPixmap folderPixmap();
    static QPixmap fileTypePixmap(const QString& type);

Q_SIGNALS:
    void pressed();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString imageKind_;
};

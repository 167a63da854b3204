#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>

class AddTaskSmallBoxButton;
class CloudBoxButton;
class ElidedLabel;
class QLabel;
class QListWidget;
class circleButton;
class customizeButton;

// The Cloud page with a service open: the account card with the way back, the source tile
// (the picks, once made), the destination tile (the folder, once chosen) and the Backup
// button. It only shows; the page decides.
class CloudOpenServiceView : public QWidget {
    Q_OBJECT
public:
    explicit CloudOpenServiceView(QWidget* parent = nullptr);

    // --- the account card and the way back ---
    void setAccountShown(bool shown);
    void setAccount(const QString& serviceName, const QString& email, const QString& space);
    void setSpace(const QString& space);
    QString space() const;
    QLabel* accountPictureView() const { return accountImageView; }

    // --- the tiles; each redraws at once ---
    void setSourceTile(const QString& image, const QString& title);
    void setSourceTileTitle(const QString& title);
    void setDestinationTile(const QString& image, const QString& title);
    void setDestinationTileTitle(const QString& title);

    // --- the picks, in place of the source tile while there are any ---
    // `rows` are the picks as the user knows them; `picture` names the source's image.
    void showPicks(const QStringList& rows, const QString& picture, const QString& buttonText);
    int pickCount() const;

    // --- the destination, in place of its tile once chosen ---
    void setDestinationButtonText(const QString& text);
    void showDestination(const QString& path);
    QString destinationPath() const;

    // Back to both tiles, no picks, no destination, Backup disabled, no account card.
    void clear();

    void setBackupShown(bool shown); // with the arrow between the tiles
    void setBackupEnabled(bool enabled);

    // What the view shows.
    struct Shown {
        bool accountCard = false;
        bool back = false;
        QString accountService;
        QString accountEmail;
        QString accountSpace;
        QImage accountPicture;
        QString sourceTileImage;
        QString sourceTileTitle; // empty while the tile is hidden
        QString destinationTileTitle;
        QString changeFiles;     // the button over the picks; empty while hidden
        QStringList picks;
        QString destination;     // the folder shown; empty while none
        QString destinationButton;
        bool backup = false;
        bool backupEnabled = false;
    };
    Shown shown() const;

Q_SIGNALS:
    void backClicked();
    void sourceClicked();
    void destinationClicked();
    void backupClicked();

private:
    QWidget* accountBackView = nullptr;
    QLabel* accountImageView = nullptr;
    QLabel* accountSpaceLabel = nullptr;
    QLabel* accountEmailLabel = nullptr;
    QLabel* accountServiceLabel = nullptr;
    CloudBoxButton* dropboxBoxBtn = nullptr; // source tile
    CloudBoxButton* googleBoxBtn = nullptr;  // destination tile
    circleButton* cloudBackBtn = nullptr;
    AddTaskSmallBoxButton* changeFileBtn = nullptr;
    AddTaskSmallBoxButton* destinationBtn = nullptr;
    QWidget* sourcePanel = nullptr;      // the picks, in place of the source tile
    QWidget* destinationPanel = nullptr; // the folder, in place of the destination tile
    QListWidget* cloudBoxTableView = nullptr;
    ElidedLabel* destPathTextLabel = nullptr;
    customizeButton* cloudBackupBtn = nullptr;
    QLabel* arrowImageView = nullptr;
    QLabel* cloudSrcImageView = nullptr;
};

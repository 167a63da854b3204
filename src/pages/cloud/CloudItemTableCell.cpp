#include "CloudItemTableCell.h"

#include "CloudCellDelegate.h"
#include "ControlStyle.h"
#include "ElidedLabel.h"
#include "ZorviImages.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QMimeDatabase>
#include <QMouseEvent>

namespace {
constexpr int kImageSize = 20;

// Our own pictures for the broad kinds of content, when the desktop has no icon theme.
QString fallbackImageName(const QMimeType& mime)
{
    const QString name = mime.name();
    if (name.startsWith(QLatin1String("image/")))
        return QStringLiteral("ic_cloudpicker_file_image");
    if (name.startsWith(QLatin1String("video/")))
        return QStringLiteral("ic_cloudpicker_file_video");
    if (name.startsWith(QLatin1String("audio/")))
        return QStringLiteral("ic_cloudpicker_file_audio");
    if (mime.inherits(QStringLiteral("application/zip")) || mime.inherits(QStringLiteral("application/x-7z-compressed"))
        || mime.inherits(QStringLiteral("application/x-tar")) || mime.inherits(QStringLiteral("application/gzip"))
        || mime.inherits(QStringLiteral("application/x-compressed-tar")))
        return QStringLiteral("ic_cloudpicker_file_archive");
    if (mime.inherits(QStringLiteral("text/plain")) || mime.inherits(QStringLiteral("application/pdf"))
        || name.contains(QLatin1String("document")) || name.contains(QLatin1String("opendocument"))
        || name.contains(QLatin1String("msword")))
        return QStringLiteral("ic_cloudpicker_file_text");
    return QStringLiteral("ic_cloudpicker_file");
}
} // namespace

CloudItemTableCell::CloudItemTableCell(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 12, 0);
    layout->setSpacing(8);

    cloudItemCheckbox = new QCheckBox(this);
    cloudItemCheckbox->setFocusPolicy(Qt::NoFocus);
    cloudItemCheckbox->setChecked(false);
    ZorviImages::ensureLoaded();
    cloudItemCheckbox->setStyleSheet(QStringLiteral(
        "QCheckBox { background: transparent; }"
        "QCheckBox::indicator { width: 14px; height: 14px; border: 1px solid rgb(142, 142, 147); border-radius: 3px;"
        " background: white; }"
        "QCheckBox::indicator:checked { background: rgb(0, 122, 255); border-color: rgb(0, 122, 255);"
        " image: url(:/images/ic_cloudpicker_check.svg); }"
        "QCheckBox::indicator:disabled { border-color: rgb(199, 199, 204); }"
        "QCheckBox::indicator:checked:disabled { background: rgb(142, 190, 255); border-color: rgb(142, 190, 255); }"));
    cloudItemImageView = new QLabel(this);
    cloudItemImageView->setFixedSize(kImageSize, kImageSize);
    cloudItemNameLabel = new ElidedLabel(QString(), this);
    cloudItemNameLabel->setFont(ControlStyle::font(13));
    cloudItemNameLabel->setTextColor(ControlStyle::darkText());
    cloudItemSizeLabel = new QLabel(this);
    cloudItemSizeLabel->setFixedWidth(90);
    cloudItemSizeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cloudItemDateLabel = new QLabel(this);
    cloudItemDateLabel->setFixedWidth(130);
    cloudItemDateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QString grey = QStringLiteral("color: %1; %2").arg(ControlStyle::css(ControlStyle::greyText()), ControlStyle::cssFont(12));
    cloudItemSizeLabel->setStyleSheet(grey);
    cloudItemDateLabel->setStyleSheet(grey);

    layout->addWidget(cloudItemCheckbox);
    layout->addWidget(cloudItemImageView);
    layout->addWidget(cloudItemNameLabel, 1);
    layout->addWidget(cloudItemSizeLabel);
    layout->addWidget(cloudItemDateLabel);
    for (QWidget* part : std::initializer_list<QWidget*>{cloudItemImageView, cloudItemNameLabel, cloudItemSizeLabel, cloudItemDateLabel})
        part->setAttribute(Qt::WA_TransparentForMouseEvents);

    connect(cloudItemCheckbox, &QCheckBox::clicked, this, [this] { CloudItemCellClicked(); });
}

void CloudItemTableCell::CloudItemCellClicked()
{
    if (cloudDelegete)
        cloudDelegete->cloudItemCheckChanged(cloudItemCheckbox->isChecked() ? 1 : 0, id, path);
}

void CloudItemTableCell::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    Q_EMIT pressed();
}

void CloudItemTableCell::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    Q_EMIT doubleClicked();
}

void CloudItemTableCell::showFolderImage()
{
    imageKind_ = QStringLiteral("folder");
    cloudItemImageView->setPixmap(folderPixmap());
}

void CloudItemTableCell::showFileImage(const QString& type)
{
    imageKind_ = type;
    cloudItemImageView->setPixmap(fileTypePixmap(type));
}

QPixmap CloudItemTableCell::folderPixmap()
{
    static QPixmap pixmap;
    if (pixmap.isNull()) {
        const QIcon themed = QIcon::fromTheme(QStringLiteral("folder"));
        pixmap = themed.isNull() ? ZorviImages::pixmap(QStringLiteral("ic_cloudpicker_folder"), QSize(kImageSize, kImageSize))
                                 : themed.pixmap(kImageSize, kImageSize);
    }
    return pixmap;
}

QPixmap CloudItemTableCell::fileTypePixmap(const QString& type)
{
    // Rows are drawn often and the lookups are not cheap: one picture per type.
    static QHash<QString, QPixmap> cache;
    const QString key = type.toLower();
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    static const QMimeDatabase database;
    const QMimeType mime = key.isEmpty() ? database.mimeTypeForName(QStringLiteral("application/octet-stream"))
                                         : database.mimeTypeForFile(QStringLiteral("x.") + key, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(mime.genericIconName());
    const QPixmap pixmap = icon.isNull() ? ZorviImages::pixmap(fallbackImageName(mime), QSize(kImageSize, kImageSize))
                                         : icon.pixmap(kImageSize, kImageSize);
    cache.insert(key, pixmap);
    return pixmap;
}

#include "AccountPictureLoader.h"

#include "ZorviImages.h"

#include <QImage>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace {
constexpr qint64 kPictureLimit = 8 * 1024 * 1024; // an account picture is never this large
constexpr int kPictureTimeoutMs = 30 * 1000;
} // namespace

AccountPictureLoader::AccountPictureLoader(QObject* parent)
    : QObject(parent)
{
}

AccountPictureLoader::~AccountPictureLoader() = default;

QPixmap AccountPictureLoader::circularImage(const QPixmap& image)
{
    if (image.isNull())
        return image;
    QPixmap out(image.size());
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath oval;
    oval.addEllipse(QRectF(0, 0, image.width(), image.height()));
    painter.setClipPath(oval);
    painter.drawPixmap(0, 0, image);
    return out;
}

QPixmap AccountPictureLoader::greyAccountPicture()
{
    return circularImage(ZorviImages::pixmap(QStringLiteral("ic_backup_account_grey"), QSize(pictureSize, pictureSize)));
}

void AccountPictureLoader::setFixed(QLabel* view, const QPixmap& picture)
{
    generation_[view] = ++counter_; // a load still running must not replace it
    view->setPixmap(picture);
}

void AccountPictureLoader::load(const QUrl& url, QLabel* view)
{
    if (!view)
        return;
    const quint64 generation = ++counter_;
    generation_[view] = generation;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        Q_EMIT finished(view, false);
        return;
    }
    if (!nam_) {
        ownNam_ = std::make_unique<QNetworkAccessManager>();
        nam_ = ownNam_.get();
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kPictureTimeoutMs);
    QNetworkReply* reply = nam_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kPictureLimit)
            reply->abort();
    });
    QPointer<QLabel> guard(view);
    connect(reply, &QNetworkReply::finished, this, [this, reply, guard, view, generation] {
        reply->deleteLater();
        // The view may be gone, or a later picture may have been asked for in the meantime.
        if (!guard || generation_.value(view) != generation)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QImage image;
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300)
            image = QImage::fromData(reply->readAll());
        if (image.isNull()) {
            Q_EMIT finished(view, false);
            return;
        }
        const QPixmap scaled = QPixmap::fromImage(image).scaled(view->size(), Qt::KeepAspectRatioByExpanding,
                                                                  Qt::SmoothTransformation);
        view->setPixmap(circularImage(scaled.copy(QRect(QPoint(0, 0), view->size()))));
        Q_EMIT finished(view, true);
    });
}

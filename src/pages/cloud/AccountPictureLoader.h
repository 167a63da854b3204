#pragma once

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QUrl>
#include <memory>

class QLabel;
class QNetworkAccessManager;

// Reads account pictures without waiting and shows them, made circular, in picture views.
// Each view shows what was asked of it last: a later load or a fixed picture wins over an
// earlier load still running.
class AccountPictureLoader : public QObject {
    Q_OBJECT
public:
    static constexpr int pictureSize = 44;

    explicit AccountPictureLoader(QObject* parent = nullptr);
    ~AccountPictureLoader() override;

    // Not owned; unset, the loader makes its own.
    void setNetworkAccessManager(QNetworkAccessManager* manager) { nam_ = manager; }

    // Reads the picture at `url` (http or https) into `view`.
    void load(const QUrl& url, QLabel* view);
    void setFixed(QLabel* view, const QPixmap& picture);

    static QPixmap circularImage(const QPixmap& image);
    static QPixmap greyAccountPicture();

Q_SIGNALS:
    // A load has put its picture into `view`, or given up.
    void finished(QLabel* view, bool shown);

private:
    QNetworkAccessManager* nam_ = nullptr;
    std::unique_ptr<QNetworkAccessManager> ownNam_;
    QHash<QLabel*, quint64> generation_; // the load each view waits for
    quint64 counter_ = 0;
};

#pragma once

#include <QNetworkAccessManager>

#include <memory>

// A network access manager that knows how many of its replies are still out, so a test can
// wait until the client under test has taken in every answer before it checks that nothing
// more happens. Proxies are off: everything goes to the loopback stand-ins.
class CountingNetworkAccessManager : public QNetworkAccessManager {
    Q_OBJECT
public:
    explicit CountingNetworkAccessManager(QObject* parent = nullptr);

    // Every reply started has finished (or is gone).
    bool isIdle() const { return *open_ == 0; }

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* data) override;

private:
    // Shared with the replies' handlers: ~QNetworkAccessManager deletes the replies still out
    // when this class's part of the object is already gone.
    std::shared_ptr<int> open_ = std::make_shared<int>(0);
};

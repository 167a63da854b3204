#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>

// The tokens a stand-in service has handed out: numbered in order, each good until revoked.
class FakeIssuedTokens {
public:
    FakeIssuedTokens(const QByteArray& accessPrefix, const QByteArray& refreshPrefix)
        : accessPrefix_(accessPrefix)
        , refreshPrefix_(refreshPrefix)
    {
    }

    // A new access token; refresh() then gives the refresh token of the same answer.
    QByteArray access()
    {
        ++counter_;
        const QByteArray token = accessPrefix_ + QByteArray::number(counter_);
        issued_.append(token);
        live_.insert(token);
        return token;
    }
    QByteArray refresh()
    {
        const QByteArray token = refreshPrefix_ + QByteArray::number(counter_);
        liveRefresh_.insert(token);
        return token;
    }

    // Access tokens handed out so far, in order.
    const QList<QByteArray>& accessTokens() const { return issued_; }
    bool isLive(const QByteArray& access) const { return live_.contains(access); }
    bool isLiveRefresh(const QByteArray& refresh) const { return liveRefresh_.contains(refresh); }
    // Ends a token of either kind; false when it was not good.
    bool revoke(const QByteArray& token) { return live_.remove(token) || liveRefresh_.remove(token); }
    // Ends every token handed out: only a new sign-in gets a good one.
    void revokeAll()
    {
        live_.clear();
        liveRefresh_.clear();
    }
    // Ends a refresh token as it is used; false when it was not good.
    bool useRefresh(const QByteArray& refresh) { return liveRefresh_.remove(refresh); }

private:
    QByteArray accessPrefix_;
    QByteArray refreshPrefix_;
    QList<QByteArray> issued_;
    QSet<QByteArray> live_;
    QSet<QByteArray> liveRefresh_;
    int counter_ = 0;
};

#pragma once

#include <QString>

// Starting at login: an XDG autostart entry "<identifier>.desktop" in $XDG_CONFIG_HOME/autostart
// (~/.config/autostart when unset) that runs this program. Every change reports whether it
// took effect; the caller keeps its own state in step with that answer.
class LoginItem {
public:
    static constexpr const char* LauncherIdentifier = "com.morvantek.LauncherApplication";

    // `executable` empty: the running program.
    explicit LoginItem(QString identifier = QString::fromLatin1(LauncherIdentifier), QString executable = QString());

    static QString autostartDirectory();
    QString desktopFilePath() const;
    QString executable() const;

    // Writes the entry atomically (enabled) or removes it (disabled). False when that failed;
    // lastError() then says why and the entry on disk is as it was.
    bool setEnabled(bool enabled);
    bool isEnabled() const;
    QString lastError() const { return lastError_; }

    // The Exec value for `program`: quoted and escaped as desktop entries require.
    static QString execValue(const QString& program);

private:
    QString identifier_;
    QString executable_;
    QString lastError_;
};

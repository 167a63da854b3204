#include "LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

LoginItem::LoginItem(QString identifier, QString executable)
    : identifier_(std::move(identifier))
    , executable_(std::move(executable))
{
}

QString LoginItem::autostartDirectory()
{
    // The base directory spec: a relative XDG_CONFIG_HOME is invalid and ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

QString LoginItem::desktopFilePath() const
{
    return autostartDirectory() + QLatin1Char('/') + identifier_ + QStringLiteral(".desktop");
}

QString LoginItem::executable() const
{
    return executable_.isEmpty() ? QCoreApplication::applicationFilePath() : executable_;
}

QString LoginItem::execValue(const QString& program)
{
    // Inside a quoted argument, ", `, $ and \ are escaped with a backslash; % starts a field
    // code and is doubled; the string-value escapes are applied last.
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');

    QString value;
    for (const QChar c : quoted) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

bool LoginItem::setEnabled(bool enabled)
{
    lastError_.clear();
    const QString path = desktopFilePath();
    if (!enabled) {
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return true;
        QFile file(path);
        if (!file.remove()) {
            lastError_ = QCoreApplication::translate("LoginItem", "%1 could not be removed: %2").arg(path, file.errorString());
            return false;
        }
        return true;
    }

    const QString program = executable();
    if (program.isEmpty()) {
        lastError_ = QCoreApplication::translate("LoginItem", "The program's own path is unknown.");
        return false;
    }
    if (!QDir().mkpath(autostartDirectory())) {
        lastError_ = QCoreApplication::translate("LoginItem", "The folder %1 could not be created.").arg(autostartDirectory());
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Zorvi\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(program));
    QSaveFile file(path);
    const QByteArray bytes = entry.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        lastError_ = QCoreApplication::translate("LoginItem", "%1 could not be written: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

bool LoginItem::isEnabled() const
{
    QFile file(desktopFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // An entry switched off by the desktop's own settings does not start anything.
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

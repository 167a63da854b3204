#include "ExternalVolumes.h"

#include <QDir>
#include <QFile>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::optional<QStringList> g_bases;
std::optional<QStringList> g_roots;

QString clean(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

QString currentUserName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

// mountinfo escapes blanks, tabs, line ends and backslashes as \ooo.
QString decodeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

} // namespace

QStringList ExternalVolumes::defaultBases(const QString& userName)
{
    QStringList bases;
    if (!userName.isEmpty()) {
        bases << "/media/" + userName << "/run/media/" + userName;
    }
    bases << "/media";
    return bases;
}

QStringList ExternalVolumes::mountBases()
{
    {
        std::lock_guard lock(g_mutex);
        if (g_bases)
            return *g_bases;
    }
    return defaultBases(currentUserName());
}

QStringList ExternalVolumes::mountedRoots()
{
    {
        std::lock_guard lock(g_mutex);
        if (g_roots)
            return *g_roots;
    }
    const QStringList bases = mountBases();
    QFile file("/proc/self/mountinfo");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseMountInfo(file.readAll(), bases);
}

void ExternalVolumes::setOverride(std::optional<QStringList> bases, std::optional<QStringList> roots)
{
    std::lock_guard lock(g_mutex);
    g_bases = std::move(bases);
    g_roots = std::move(roots);
}

QStringList ExternalVolumes::parseMountInfo(const QByteArray& mountInfo, const QStringList& bases)
{
    QStringList cleanBases;
    for (const QString& b : bases)
        cleanBases << clean(b);
    QStringList roots;
    for (const QByteArray& line : mountInfo.split('\n')) {
        // id parent major:minor root mount-point options ...
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QString point = clean(decodeMountField(fields[4]));
        if (point.isEmpty() || cleanBases.contains(point) || roots.contains(point))
            continue;
        const int slash = point.lastIndexOf('/');
        const QString parent = slash <= 0 ? QStringLiteral("/") : point.left(slash);
        if (cleanBases.contains(parent))
            roots << point;
    }
    return roots;
}

bool ExternalVolumes::isInsideOrEqual(const QString& path, const QString& ancestor)
{
    const QString p = clean(path);
    const QString a = clean(ancestor);
    if (p.isEmpty() || a.isEmpty())
        return false;
    if (p == a || a == "/")
        return true;
    return p.startsWith(a + '/');
}

std::optional<QString> ExternalVolumes::volumeRoot(const QString& path)
{
    const QString p = clean(path);
    if (p.isEmpty() || !p.startsWith('/'))
        return std::nullopt;
    // The most specific base wins: /media/ann/X is the volume X, not the volume "ann".
    QString best;
    for (const QString& base : mountBases()) {
        const QString b = clean(base);
        if (b.isEmpty() || !p.startsWith(b == "/" ? b : b + '/') || p == b)
            continue;
        if (b.size() > best.size())
            best = b;
    }
    if (best.isEmpty())
        return std::nullopt;
    const int start = best == "/" ? 1 : best.size() + 1;
    const int end = p.indexOf('/', start);
    const QString root = end < 0 ? p : p.left(end);
    // A path that is itself a (more general) base, like /media/ann under /media, is no volume.
    for (const QString& base : mountBases()) {
        if (clean(base) == root)
            return std::nullopt;
    }
    return root;
}

std::optional<QString> ExternalVolumes::mountRoot(const QString& path)
{
    for (const QString& root : mountedRoots()) {
        if (isInsideOrEqual(path, root))
            return clean(root);
    }
    return std::nullopt;
}

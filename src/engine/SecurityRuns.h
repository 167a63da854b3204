#pragma once

#include "messageViewDelegate.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class SecurityRunHost;

// The Security page's runs: an item P becomes the password-protected archive P.enc beside it,
// and such an archive becomes its item again beside itself. One run at a time; the archive work
// runs on the background queue and every result comes back on the main queue.
class SecurityRuns : public QObject, public messageViewDelegate {
    Q_OBJECT
public:
    // Tests the written archive with the password; true when every item checks out.
    using ArchiveTester = std::function<bool(const QString& archivePath, const QString& password,
                                             const std::atomic<bool>* cancel)>;

    explicit SecurityRuns(SecurityRunHost* host, QObject* parent = nullptr);
    ~SecurityRuns() override;

    // GUI thread.
    void encryptFiles(const QString& path, const QString& password);
    void decryptFile(const QString& path, const QString& password);
    // Cancel of the progress window: stops the archive program; the run then removes what it made.
    void removePartialArchive();
    // The delete-source checkbox was ticked: removes the item of the last success message.
    void deleteSourceFiles() override;
    // Answer to the question about replacing an existing item (0 replace, 1 keep).
    void btnClicked(int index) override;

    // The partial output of the run in progress (temporary archive or extraction folder); empty otherwise.
    QString archivePathForStopTask() const;
    QString securitySourcePath() const { return m_securitySourcePath; }
    bool isRunning() const { return m_job != nullptr; }

    static QString selectArchivePassword(bool useSuffix, const QString& password);
    // "/" and the home folder or any folder holding it: never encrypted, never deleted.
    static bool isProtectedPath(const QString& path);
    // The default tester: "7zz t" with the password on standard input.
    static bool testArchive(const QString& archivePath, const QString& password, const std::atomic<bool>* cancel);
    void setArchiveTester(ArchiveTester tester) { m_tester = std::move(tester); }

Q_SIGNALS:
    // A run has ended (after its last message or question was answered).
    void runEnded();

private:
    struct Job;
    enum class Outcome { Ok, Failed, Cancelled };

    static Outcome writeArchive(Job& job, const ArchiveTester& tester);
    static Outcome extractArchive(Job& job);
    void finishEncrypt(const std::shared_ptr<Job>& job, Outcome outcome);
    void finishDecrypt(const std::shared_ptr<Job>& job, Outcome outcome);
    // Moves the decrypted items beside the archive; false when a name is taken (and replace is false).
    bool placeDecrypted(bool replace, QString* error);
    void discardJob();
    void askDeleteSource(bool isEncrypt);
    void showFailure(const QString& message);

    SecurityRunHost* m_host;
    ArchiveTester m_tester;
    std::shared_ptr<Job> m_job;
    bool m_replacePending = false;
    QString m_securitySourcePath;
};

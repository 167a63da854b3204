#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About dialog: the program's version and a link-styled licence button that shows the
// licence statement shipped with the program. Application-modal, deleted on close.
class AboutView : public QDialog {
    Q_OBJECT
public:
    explicit AboutView(QWidget* parent = nullptr);

    // ":/texts/statement.txt".
    static QString statementPath();
    // The statement's text; empty when the resource is missing or unreadable.
    static QString statementText(const QString& path = statementPath());

    // Where licenseClicked() reads the statement; tests point it elsewhere.
    void setStatementPath(const QString& path) { statementPath_ = path; }

    void present();

public Q_SLOTS:
    void closeClicked();
    // Shows the statement; with no statement, nothing happens.
    void licenseClicked();

private:
    // Over the middle of the main window, and inside the screen.
    void centreOverOwner();

    QLabel* versionLabel = nullptr;
    QPushButton* licenseBtn = nullptr;
    QPlainTextEdit* licenseText = nullptr; // hidden until licenseClicked()

    QString statementPath_;
};

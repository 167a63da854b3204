#pragma once

#include <QWidget>

// Stands in a container whose page is not part of this build: the page's name, greyed.
class PlaceholderPage : public QWidget {
    Q_OBJECT
public:
    explicit PlaceholderPage(const QString& title, QWidget* parent = nullptr);
};

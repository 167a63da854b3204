#include "FileChooserFit.h"

#include <QAbstractItemView>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>

namespace {
constexpr int kDialogWidth = 920;
constexpr int kDialogHeight = 560;
constexpr int kCellPadding = 24; // the view's margins and the sort arrow

int textWidth(const QWidget* view, const QString& text)
{
    return view->fontMetrics().horizontalAdvance(text);
}
} // namespace

void FileChooserFit::fitColumns(QTreeView* view)
{
    if (!view || !view->header() || view->header()->count() < 4)
        return;
    QHeaderView* header = view->header();
    const QLocale locale = QLocale::system();
    const int size = std::max({ textWidth(view, locale.formattedDataSize(qint64(1023.99 * 1024 * 1024))),
                                textWidth(view, locale.formattedDataSize(999)),
                                textWidth(header, header->model()->headerData(1, Qt::Horizontal).toString()) });
    const int type = std::max(textWidth(view, QStringLiteral("plain text document")),
                              textWidth(header, header->model()->headerData(2, Qt::Horizontal).toString()));
    // The model shows dates in the locale's short format; month names differ in width.
    int date = textWidth(header, header->model()->headerData(3, Qt::Horizontal).toString());
    for (int month = 1; month <= 12; ++month) {
        const QDateTime late(QDate(2028, month, 28), QTime(23, 59, 59));
        date = std::max(date, textWidth(view, locale.toString(late, QLocale::ShortFormat)));
    }
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    const int widths[] = { 0, size, type, date };
    for (int column = 1; column <= 3; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, widths[column] + kCellPadding);
    }
}

int FileChooserFit::placesWidth(const QAbstractItemView* places)
{
    if (!places || !places->model())
        return 0;
    int widest = 0;
    for (int row = 0; row < places->model()->rowCount(places->rootIndex()); ++row) {
        const QString name = places->model()->index(row, 0, places->rootIndex()).data(Qt::DisplayRole).toString();
        widest = std::max(widest, textWidth(places, name));
    }
    const int icon = places->iconSize().isValid() ? places->iconSize().width() : 16;
    return widest + icon + 2 * kCellPadding;
}

void FileChooserFit::growToChooserSize(QDialog* dialog)
{
    int width = kDialogWidth;
    int height = kDialogHeight;
    const QScreen* screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QSize room = screen->availableGeometry().size() * 0.9;
        width = std::min(width, room.width());
        height = std::min(height, room.height());
    }
    dialog->resize(std::max(width, dialog->width()), std::max(height, dialog->height()));
}

void FileChooserFit::fitFileDialog(QFileDialog* dialog)
{
    if (!dialog)
        return;
    growToChooserSize(dialog);
    if (auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView")))
        fitColumns(view);
    auto* sidebar = dialog->findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = dialog->findChild<QSplitter*>(QStringLiteral("splitter"));
    if (sidebar && splitter && splitter->count() == 2) {
        const int wanted = std::min(placesWidth(sidebar), dialog->width() / 3);
        const int total = std::max(splitter->width(), dialog->width() - 40);
        splitter->setSizes({ wanted, total - wanted });
    }
}

#include "app/DataGrid.h"

#include "app/InsuredSource.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>

namespace app {
DataGrid::DataGrid(QWidget* parent) : QTableView(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setHighlightSections(true);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        const bool backwards = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        // The view's own focusNextPrevChild moves between cells; the widget's leaves the grid.
        QWidget::focusNextPrevChild(!backwards);
        return;
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::setSource(InsuredSource* source) {
    source_ = source;
    setModel(source);
    connect(source, &InsuredSource::currentRowMoved, this, &DataGrid::followList);
    connect(source, &QAbstractItemModel::modelReset, this, [this] { syncCurrentRow(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index, const QModelIndex& previous) {
                if (index.row() != previous.row())
                    verticalHeader()->viewport()->update();
                if (index.isValid() && source_ && !syncPending_)
                    source_->setCurrentRow(index.row());
            });
    // The row indicator: a narrow column of row headers, marked at the current row.
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 3);
    verticalHeader()->setFixedWidth(12);
}

void DataGrid::applyColumnWidths(int faksimilWidth, int embgWidth) {
    if (!source_)
        return;
    const QFontMetrics cell(font());
    const QFontMetrics title(horizontalHeader()->font());
    const int digit = cell.horizontalAdvance(QLatin1Char('0'));
    for (int column = 0; column < InsuredSource::ColumnCount; ++column) {
        int width = 0;
        if (column == InsuredSource::Faksimil) {
            width = faksimilWidth;
        } else if (column == InsuredSource::Embg) {
            width = embgWidth;
        } else {
            const QString text = source_->headerData(column, Qt::Horizontal).toString();
            width = std::max(digit * source_->displayWidthOf(static_cast<InsuredSource::Column>(column)) + 4,
                             title.horizontalAdvance(text) + 4);
        }
        setColumnWidth(column, width);
    }
}

void DataGrid::followList(int) {
    if (syncPending_)
        return;
    syncPending_ = true;
    QTimer::singleShot(0, this, [this] { syncCurrentRow(); });
}

void DataGrid::syncCurrentRow() {
    syncPending_ = true;
    const int row = source_ ? source_->currentRow() : -1;
    if (row >= 0)
        setCurrentIndex(source_->index(row, std::max(0, currentIndex().column())));
    syncPending_ = false;
}

} // namespace app

#pragma once

#include "app/MacCDisplay.h"
#include "data/InsuredList.h"
#include "data/RegionalSettings.h"

#include <QAbstractTableModel>

namespace app {

// The data source dsOsigurenici: the insured-person list as a read-only table of eight columns. It reads
// the list's stored rows directly, so showing a row never moves the list's current row.
class InsuredSource : public QAbstractTableModel, private data::QueryObserver {
    Q_OBJECT
public:
    enum Column { Faksimil, Embg, Prezime, TatkovoIme, Ime, DatumPrijava, BrojIL, Procent, ColumnCount };

    InsuredSource(data::InsuredList& list, const MacCDisplay& display, const data::RegionalSettings& settings,
                  QObject* parent = nullptr);
    ~InsuredSource() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The field a column shows, and the column's title as the system writes it.
    const data::Field& fieldOf(Column column) const;
    // How many characters the column shows: a string field's size, 10 for a date or a number.
    int displayWidthOf(Column column) const;
    static const char* titleOf(Column column);

    int currentRow() const;
    void setCurrentRow(int row);

    // The regional settings changed: every date text is made again.
    void settingsChanged();

signals:
    void currentRowMoved(int row);

private:
    void rowsAboutToReset() override;
    void rowsReset() override;
    void currentRowChanged(int row) override;

    data::InsuredList& list_;
    const MacCDisplay& display_;
    const data::RegionalSettings& settings_;
    int rowCount_ = 0;
};

} // namespace app

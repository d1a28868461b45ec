#include "app/InsuredSource.h"

#include "data/DateText.h"
#include "data/RowStore.h"

namespace app {

InsuredSource::InsuredSource(data::InsuredList& list, const MacCDisplay& display,
                             const data::RegionalSettings& settings, QObject* parent)
    : QAbstractTableModel(parent), list_(list), display_(display), settings_(settings) {
    setObjectName(QStringLiteral("dsOsigurenici"));
    list_.addObserver(this);
}

InsuredSource::~InsuredSource() { list_.removeObserver(this); }

int InsuredSource::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rowCount_; }

int InsuredSource::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

int InsuredSource::displayWidthOf(Column column) const {
    constexpr int kDateAndNumberWidth = 10;
    const data::Field& field = fieldOf(column);
    return field.kind() == data::FieldKind::String ? field.size() : kDateAndNumberWidth;
}

const data::Field& InsuredSource::fieldOf(Column column) const {
    switch (column) {
    case Faksimil:
        return list_.LEKAR_S;
    case Embg:
        return list_.MB;
    case Prezime:
        return list_.PRE;
    case TatkovoIme:
        return list_.TIME;
    case Ime:
        return list_.IME;
    case DatumPrijava:
        return list_.DATA_PRI;
    case BrojIL:
        return list_.BR_PRI;
    case Procent:
    case ColumnCount:
        break;
    }
    return list_.procent;
}

const char* InsuredSource::titleOf(Column column) {
    static constexpr const char* kTitles[ColumnCount] = {"Faksimil", "EMBG",          "Prezime",         "Tatkovo ime",
                                                         "Ime",      "Datum prijava", "Broj IL obrazec", "Procent"};
    return kTitles[column];
}

QVariant InsuredSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount_ || index.column() >= ColumnCount)
        return {};
    const auto column = static_cast<Column>(index.column());
    if (role == Qt::TextAlignmentRole)
        return column == Procent ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                 : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const data::Field& field = fieldOf(column);
    const data::RowStore& rows = list_.rows();
    const int row = index.row();
    switch (field.kind()) {
    case data::FieldKind::String:
        return display_.show(rows.string(row, field.index()));
    case data::FieldKind::Date:
        return rows.isNull(row, field.index())
                   ? QString()
                   : display_.show(data::dateText(settings_, rows.date(row, field.index())));
    case data::FieldKind::Integer:
        return QString::number(rows.integer(row, field.index()));
    case data::FieldKind::Boolean:
        break;
    }
    return {};
}

QVariant InsuredSource::headerData(int section, Qt::Orientation orientation, int role) const {
    // The row headers are the row indicator: a mark at the current row, nothing at the others.
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole)
            return section == currentRow() ? QStringLiteral("\u25B8") : QString();
        if (role == Qt::TextAlignmentRole)
            return QVariant(Qt::AlignCenter);
        return {};
    }
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return display_.show(titleOf(static_cast<Column>(section)));
    return {};
}

Qt::ItemFlags InsuredSource::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

int InsuredSource::currentRow() const { return rowCount_ > 0 ? list_.recNo() : -1; }

void InsuredSource::setCurrentRow(int row) {
    if (row >= 0 && row < rowCount_)
        list_.moveTo(row);
}

void InsuredSource::settingsChanged() {
    if (rowCount_ > 0)
        emit dataChanged(index(0, DatumPrijava), index(rowCount_ - 1, DatumPrijava));
}

void InsuredSource::rowsAboutToReset() { beginResetModel(); }

void InsuredSource::rowsReset() {
    rowCount_ = list_.recordCount();
    endResetModel();
}

void InsuredSource::currentRowChanged(int row) { emit currentRowMoved(row); }

} // namespace app

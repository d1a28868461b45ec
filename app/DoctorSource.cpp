#include "app/DoctorSource.h"

#include "data/RowStore.h"

namespace app {

DoctorSource::DoctorSource(data::DoctorList& list, const MacCDisplay& display, QObject* parent)
    : QAbstractListModel(parent), list_(list), display_(display) {
    setObjectName(QStringLiteral("dsLekar"));
    list_.addObserver(this);
}

DoctorSource::~DoctorSource() { list_.removeObserver(this); }

int DoctorSource::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant DoctorSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= names_.size() || role != Qt::DisplayRole)
        return {};
    return names_.at(index.row());
}

QByteArray DoctorSource::keyAt(int row) const {
    const std::string_view key = list_.rows().string(row, list_.lekar_s.index());
    return QByteArray(key.data(), static_cast<qsizetype>(key.size()));
}

QString DoctorSource::displayAt(int row) const { return row >= 0 && row < names_.size() ? names_.at(row) : QString(); }

int DoctorSource::rowOfKey(const QByteArray& key) const {
    for (int row = 0; row < names_.size(); ++row)
        if (keyAt(row) == key)
            return row;
    return -1;
}

int DoctorSource::rowStartingWith(const QString& prefix) const {
    for (int row = 0; row < names_.size(); ++row)
        if (names_.at(row).startsWith(prefix, Qt::CaseInsensitive))
            return row;
    return -1;
}

int DoctorSource::currentRow() const { return list_.active() && !list_.isEmpty() ? list_.recNo() : -1; }

void DoctorSource::setCurrentRow(int row) {
    if (row >= 0 && row < names_.size())
        list_.moveTo(row);
}

void DoctorSource::rowsAboutToReset() { beginResetModel(); }

void DoctorSource::rowsReset() {
    names_.clear();
    const int count = list_.recordCount();
    names_.reserve(count);
    for (int row = 0; row < count; ++row)
        names_.append(display_.show(list_.rows().string(row, list_.ime.index())));
    endResetModel();
}

void DoctorSource::currentRowChanged(int row) { emit currentRowMoved(row); }

} // namespace app

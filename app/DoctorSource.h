#pragma once

#include "app/MacCDisplay.h"
#include "data/DoctorList.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QStringList>

namespace app {

// The data source dsLekar: the doctor list as a list model of display names (field ime) keyed by the
// doctor code (field lekar_s), sharing the list's current row.
class DoctorSource : public QAbstractListModel, private data::QueryObserver {
    Q_OBJECT
public:
    DoctorSource(data::DoctorList& list, const MacCDisplay& display, QObject* parent = nullptr);
    ~DoctorSource() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    QByteArray keyAt(int row) const;
    QString displayAt(int row) const;
    // The row whose key equals `key` exactly; -1 when there is none.
    int rowOfKey(const QByteArray& key) const;
    // The first row whose display name starts with `prefix` without regard to case; -1 when none.
    int rowStartingWith(const QString& prefix) const;

    // The list's current row; -1 when the list is closed or empty.
    int currentRow() const;
    void setCurrentRow(int row);

signals:
    void currentRowMoved(int row);

private:
    void rowsAboutToReset() override;
    void rowsReset() override;
    void currentRowChanged(int row) override;

    data::DoctorList& list_;
    const MacCDisplay& display_;
    QStringList names_; // display names, made once per opening of the list
};

} // namespace app

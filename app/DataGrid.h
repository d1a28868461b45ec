#pragma once

#include <QTableView>

namespace app {

class InsuredSource;

// The grid DBGrid1: shows the insured-person list read-only, with a title row, a row indicator, lines between
// cells and resizable columns. Its current row is the list's current row; when the list moves many times in
// a row (an export walking it), the grid follows once, when control returns to the event loop.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);

    void setSource(InsuredSource* source);

    // Widths as stored for the first two columns, already scaled to the window's font; the others follow
    // from the font: the width of "0" times the field's display width plus 4, at least the title's width
    // plus 4.
    void applyColumnWidths(int faksimilWidth, int embgWidth);

protected:
    // Tab and Shift+Tab move between cells; Ctrl+Tab and Ctrl+Shift+Tab leave the grid for the next and the
    // previous control.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void followList(int row);
    void syncCurrentRow();

    InsuredSource* source_ = nullptr;
    bool syncPending_ = false;
};

} // namespace app

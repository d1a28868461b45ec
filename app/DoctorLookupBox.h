#pragma once

#include "app/IncrementalSearch.h"
#include "app/MacCDisplay.h"

#include <QByteArray>
#include <QWidget>

class QListView;

namespace app {

class DoctorSource;

// The doctor box: a drop-down lookup box over the doctor list's source. It shows the display name of its
// chosen doctor code and shares the list's current row. Opening the drop-down moves the current row to the
// shown entry (or the first); moving the highlight moves the current row; closing by a release of the mouse
// inside the list, Enter, Alt+Up or Alt+Down chooses the highlighted entry, closing in any other way chooses
// nothing. With the drop-down closed, Up and Down choose the previous or next entry and typed characters
// search. The drop-down is as wide as the box; a name it cuts shows whole in the row's tooltip.
//
// For a screen reader the box is a combo box (DoctorBoxAccessible): named by the label whose buddy it is, its
// value the shown name, its one child the drop-down list. It announces a new value, the highlighted row of the
// open drop-down and the drop-down's opening and closing.
class DoctorLookupBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxVisibleRows = 7;

    DoctorLookupBox(DoctorSource& source, const MacCDisplay& display, QWidget* parent = nullptr);
    ~DoctorLookupBox() override;

    QByteArray keyValue() const { return key_; }
    QString text() const;
    // Chooses the entry of that key: the box shows it and the source moves its current row to it.
    void setKeyValue(const QByteArray& key);

    void openDropDown();
    void closeDropDown(bool choose);
    bool isDroppedDown() const;
    QListView* dropDownList() const { return list_; }

    // Whether the widget is this box or part of its drop-down.
    bool ownsWidget(const QWidget* widget) const;

    // For tests: the clock of the typed search, in milliseconds.
    void setSearchClock(IncrementalSearch::Clock clock) { search_ = IncrementalSearch(std::move(clock)); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseRow(int row);
    void searchFor(char byte);
    // Whether the drop-down's width cuts the name of that row.
    bool isNameCut(int row) const;
    void announceValueIfChanged(const QString& before);
    void announceHighlight();
    void announceExpanded();

    DoctorSource& source_;
    const MacCDisplay& display_;
    QByteArray key_;
    bool hasKey_ = false; // the key starts empty: no doctor chosen, not the doctor with an empty code
    int shownRow_ = -1;   // the source's row of key_, -1 when the box shows nothing
    IncrementalSearch search_;
    QListView* list_; // the drop-down, a popup window of its own
};

} // namespace app

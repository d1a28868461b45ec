#include "app/DoctorLookupBox.h"

#include "app/DoctorBoxAccessible.h"
#include "app/DoctorSource.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListView>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

namespace app {
namespace {

std::int64_t monotonicMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Start far from zero so that the first key never counts as following an earlier one.
    return timer.elapsed() + 1'000'000;
}

bool isAltArrow(const QKeyEvent* key) {
    return (key->modifiers() & Qt::AltModifier) && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down);
}

} // namespace

DoctorLookupBox::DoctorLookupBox(DoctorSource& source, const MacCDisplay& display, QWidget* parent)
    : QWidget(parent), source_(source), display_(display), search_(monotonicMs), list_(new QListView(this)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    installDoctorBoxAccessibility();

    // The list is the drop-down window itself, so that a screen reader finds the box as the list's parent.
    list_->setWindowFlags(Qt::Popup);
    // A window takes no font from its parent by itself; the drop-down shows the names in the box's font.
    list_->setAttribute(Qt::WA_WindowPropagation);
    list_->setObjectName(QStringLiteral("cbLekarList"));
    list_->setModel(&source_);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setTextElideMode(Qt::ElideRight);
    list_->setUniformItemSizes(true);
    list_->setMouseTracking(true);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);

    // The highlight and the source's current row move together; a screen reader hears the highlighted name.
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (!index.isValid() || !isDroppedDown())
            return;
        source_.setCurrentRow(index.row());
        if (!list_->hasFocus())
            announceHighlight(); // with the keyboard, the list announces its current row itself
    });
    connect(&source_, &QAbstractItemModel::modelReset, this, [this] {
        const QString before = text();
        shownRow_ = hasKey_ ? source_.rowOfKey(key_) : -1;
        announceValueIfChanged(before);
        update();
    });
}

DoctorLookupBox::~DoctorLookupBox() {
    list_->removeEventFilter(this);
    list_->viewport()->removeEventFilter(this);
}

QString DoctorLookupBox::text() const { return source_.displayAt(shownRow_); }

void DoctorLookupBox::setKeyValue(const QByteArray& key) {
    const QString before = text();
    hasKey_ = true;
    key_ = key;
    shownRow_ = source_.rowOfKey(key_);
    if (shownRow_ >= 0)
        source_.setCurrentRow(shownRow_);
    announceValueIfChanged(before);
    update();
}

void DoctorLookupBox::announceValueIfChanged(const QString& before) {
    if (text() == before || !QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, text());
    QAccessible::updateAccessibility(&event);
}

void DoctorLookupBox::announceHighlight() {
    // The list sends this itself when the highlight moves while it has the keyboard. As it opens, its own last
    // event names the list as a whole, so the highlighted row is announced after it.
    const QModelIndex highlighted = list_->currentIndex();
    if (!highlighted.isValid() || !QAccessible::isActive())
        return;
    QAccessibleEvent event(list_, QAccessible::Focus);
    event.setChild(highlighted.row());
    QAccessible::updateAccessibility(&event);
}

void DoctorLookupBox::announceExpanded() {
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.expanded = true;
    changed.collapsed = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void DoctorLookupBox::chooseRow(int row) {
    if (row >= 0 && row < source_.rowCount())
        setKeyValue(source_.keyAt(row));
}

bool DoctorLookupBox::isDroppedDown() const { return list_->isVisible(); }

bool DoctorLookupBox::ownsWidget(const QWidget* widget) const {
    return widget != nullptr && (widget == this || widget == list_ || list_->isAncestorOf(widget));
}

void DoctorLookupBox::openDropDown() {
    const int count = source_.rowCount();
    if (count == 0 || isDroppedDown())
        return;
    const int row = shownRow_ >= 0 ? shownRow_ : 0;
    source_.setCurrentRow(row);

    const int visible = std::min(count, kMaxVisibleRows);
    const int rowHeight = std::max(1, list_->sizeHintForRow(0));
    const int frame = 2 * list_->frameWidth();
    // As wide as the box and left-aligned with it; a longer name is cut at the right edge and shown whole in
    // its tooltip and to a screen reader.
    const QSize size(width(), visible * rowHeight + frame);
    QPoint topLeft = mapToGlobal(QPoint(0, height()));
    if (const QScreen* screen = this->screen()) {
        // The list's bottom edge is the line below its last pixel row; it may lie on the screen's own edge.
        const QRect available = screen->availableGeometry();
        if (topLeft.y() + size.height() > available.bottom() + 1)
            topLeft = mapToGlobal(QPoint(0, 0)) - QPoint(0, size.height());
    }
    list_->setGeometry(QRect(topLeft, size));
    list_->show();
    list_->setCurrentIndex(source_.index(row));
    list_->scrollTo(source_.index(row), QAbstractItemView::PositionAtTop);
    list_->setFocus(Qt::PopupFocusReason);
    announceExpanded();
    announceHighlight();
}

void DoctorLookupBox::closeDropDown(bool choose) {
    if (!isDroppedDown())
        return;
    const QModelIndex highlighted = list_->currentIndex();
    list_->hide();
    if (choose && highlighted.isValid())
        chooseRow(highlighted.row());
}

QSize DoctorLookupBox::sizeHint() const { return QSize(145, 20); }

void DoctorLookupBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = false;
    option.frame = true;
    option.currentText = text();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void DoctorLookupBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    openDropDown();
}

void DoctorLookupBox::keyPressEvent(QKeyEvent* event) {
    if (isAltArrow(event)) {
        if (event->key() == Qt::Key_Down)
            openDropDown();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int step = event->key() == Qt::Key_Up ? -1 : 1;
        if (source_.rowCount() > 0)
            chooseRow(shownRow_ < 0 ? 0 : std::clamp(shownRow_ + step, 0, source_.rowCount() - 1));
        return;
    }
    case Qt::Key_Backspace:
    case Qt::Key_Escape:
        search_.clear();
        return;
    default:
        break;
    }
    const QString typed = event->text();
    if (typed.isEmpty() || !typed.at(0).isPrint() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return QWidget::keyPressEvent(event);
    for (const QChar ch : typed)
        if (const auto byte = display_.byteForTyped(ch))
            searchFor(*byte);
}

void DoctorLookupBox::searchFor(char byte) {
    const auto candidate = search_.candidate(byte);
    if (!candidate)
        return;
    const int row = source_.rowStartingWith(display_.show(*candidate));
    if (row < 0)
        return; // no doctor's name starts so: the character is dropped
    search_.accept(*candidate);
    chooseRow(row);
}

void DoctorLookupBox::focusOutEvent(QFocusEvent* event) {
    // The drop-down itself takes the keyboard while it is open; losing the focus to anything else closes it
    // without a choice.
    if (event->reason() != Qt::PopupFocusReason)
        closeDropDown(false);
    QWidget::focusOutEvent(event);
}

bool DoctorLookupBox::isNameCut(int row) const {
    const QModelIndex index = source_.index(row);
    return index.isValid() && list_->sizeHintForIndex(index).width() > list_->viewport()->width();
}

bool DoctorLookupBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isAltArrow(key) || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            closeDropDown(true);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            closeDropDown(false);
            return true;
        }
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            // Closes without a choice and leaves the box on the same key, as Tab does with the list closed.
            closeDropDown(false);
            focusNextPrevChild(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    } else if (watched == list_->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const QModelIndex under = list_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (under.isValid() && under != list_->currentIndex())
                list_->setCurrentIndex(under);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const QModelIndex under = list_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (under.isValid()) {
                list_->setCurrentIndex(under);
                closeDropDown(true);
            }
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            const QModelIndex under = list_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (under.isValid())
                list_->setCurrentIndex(under);
            return true;
        }
        if (event->type() == QEvent::ToolTip) {
            // Only a name that the list's width cuts gets a tooltip, and it holds the whole name.
            const auto* help = static_cast<QHelpEvent*>(event);
            const QModelIndex under = list_->indexAt(help->pos());
            const QString name = source_.displayAt(under.row());
            if (under.isValid() && isNameCut(under.row()))
                QToolTip::showText(help->globalPos(), name, list_->viewport(), list_->visualRect(under));
            else
                QToolTip::hideText();
            return true;
        }
    } else if (watched == list_ && event->type() == QEvent::Hide) {
        // Closed by a click elsewhere: nothing is chosen; the keyboard comes back to the box.
        announceExpanded();
        if (isVisible() && window()->isActiveWindow())
            setFocus(Qt::PopupFocusReason);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace app

#include "app/DoctorBoxAccessible.h"

#include "app/DoctorLookupBox.h"

#include <QListView>
#include <mutex>

namespace app {

DoctorBoxAccessible::DoctorBoxAccessible(DoctorLookupBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

DoctorLookupBox* DoctorBoxAccessible::box() const { return static_cast<DoctorLookupBox*>(widget()); }

QString DoctorBoxAccessible::text(QAccessible::Text kind) const {
    // The name comes from the label whose buddy the box is (QAccessibleWidget finds it).
    if (kind == QAccessible::Value)
        return box()->text();
    return QAccessibleWidget::text(kind);
}

QAccessible::State DoctorBoxAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.hasPopup = true;
    state.readOnly = true;
    state.expanded = box()->isDroppedDown();
    state.collapsed = !state.expanded;
    return state;
}

int DoctorBoxAccessible::childCount() const { return 1; }

QAccessibleInterface* DoctorBoxAccessible::child(int index) const {
    return index == 0 ? QAccessible::queryAccessibleInterface(box()->dropDownList()) : nullptr;
}

int DoctorBoxAccessible::indexOfChild(const QAccessibleInterface* child) const {
    return child != nullptr && child->object() == box()->dropDownList() ? 0 : -1;
}

void* DoctorBoxAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QStringList DoctorBoxAccessible::actionNames() const {
    return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
}

void DoctorBoxAccessible::doAction(const QString& actionName) {
    if (actionName != showMenuAction())
        return QAccessibleWidget::doAction(actionName);
    if (box()->isDroppedDown()) {
        box()->closeDropDown(false);
    } else {
        box()->setFocus(Qt::OtherFocusReason);
        box()->openDropDown();
    }
}

void DoctorBoxAccessible::selection(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
}

QString DoctorBoxAccessible::text(int startOffset, int endOffset) const {
    const QString shown = box()->text();
    // AT-SPI asks for the whole text with an end of -1.
    if (endOffset < 0 || endOffset > shown.size())
        endOffset = static_cast<int>(shown.size());
    startOffset = std::clamp(startOffset, 0, endOffset);
    return shown.mid(startOffset, endOffset - startOffset);
}

int DoctorBoxAccessible::characterCount() const { return static_cast<int>(box()->text().size()); }

QRect DoctorBoxAccessible::characterRect(int) const { return {}; }

QString DoctorBoxAccessible::attributes(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

namespace {

QAccessibleInterface* doctorBoxFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("app::DoctorLookupBox") && object && object->isWidgetType())
        return new DoctorBoxAccessible(static_cast<DoctorLookupBox*>(object));
    return nullptr;
}

} // namespace

void installDoctorBoxAccessibility() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(doctorBoxFactory); });
}

} // namespace app

#pragma once

#include <QAccessibleWidget>

namespace app {

class DoctorLookupBox;

// What a screen reader finds of the doctor box: a combo box named by the label whose buddy it is, whose value
// (QAccessible::Value, and a read-only text for readers that read text) is the shown doctor's name, whose one
// child is the drop-down list, and whose state says whether the drop-down is open. Its actions open and close
// the drop-down besides giving it the focus.
class DoctorBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit DoctorBoxAccessible(DoctorLookupBox* box);

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // The text interface: the shown name, read-only, without a caret or a selection.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    DoctorLookupBox* box() const;
};

// Makes Qt give every DoctorLookupBox a DoctorBoxAccessible; safe to call more than once.
void installDoctorBoxAccessibility();

} // namespace app

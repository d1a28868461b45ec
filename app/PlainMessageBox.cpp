#include "app/PlainMessageBox.h"

#include "app/Texts.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace app {

PlainMessageBox::PlainMessageBox(const QString& caption, const QString& message, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowSystemMenuHint | Qt::CustomizeWindowHint),
      label_(new QLabel(message, this)), ok_(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("PlainMessageBox"));
    setWindowTitle(caption);
    setModal(true);
    setFont(QApplication::font("QMessageBox"));
    label_->setObjectName(QStringLiteral("message"));
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    // The text keeps its lines as long as they fit half the screen's width, and only wraps past that.
    const QScreen* screen = QApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() / 2 : QWIDGETSIZE_MAX;
    int natural = 0;
    for (const QString& line : message.split(QLatin1Char('\n')))
        natural = std::max(natural, label_->fontMetrics().horizontalAdvance(line));
    label_->setMinimumWidth(std::min(natural + 1, widest));
    label_->setMaximumWidth(widest);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    adjustSize();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
}

QString PlainMessageBox::message() const { return label_->text(); }

void PlainMessageBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QApplication::beep();
        QApplication::clipboard()->setText(plainMessageClipboardText(windowTitle(), message()));
        return;
    }
    // Esc rejects through QDialog, Enter presses the default button.
    QDialog::keyPressEvent(event);
}

} // namespace app

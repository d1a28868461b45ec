#include "app/TfrmOsigurenici.h"

#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/Prompter.h"
#include "app/SupportLog.h"
#include "app/Texts.h"
#include "export/DoctorExport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace app {
namespace {

// The stored layout, for 96 pixels per inch and a font whose "0" is 12 pixels high.
constexpr int kStoredFontHeight = 12;
constexpr int kWindowFontPixels = 11;
constexpr int kLabelFontPixels = 13;
constexpr QSize kClientSize(754, 322);
constexpr QPoint kWindowPosition(237, 191);
constexpr QRect kLabel1(16, 16, 39, 15);
constexpr QRect kDBGrid1(8, 40, 737, 273);
constexpr QRect kBtnEksportiraj(616, 8, 131, 25);
constexpr QRect kCbLekar(56, 16, 145, 20);
constexpr int kFaksimilWidth = 66;
constexpr int kEmbgWidth = 91;

// Where a frame of `frame`'s size goes that would stand at `wanted`: there when it fits in `available`; else,
// along each axis on its own, moved just enough to lie within it (to its top or left edge when it is larger).
QPoint fittedWindowPosition(QPoint wanted, QSize frame, const QRect& available) {
    const auto fit = [](int position, int length, int first, int last) {
        return std::max(first, std::min(position, last + 1 - length));
    };
    return {fit(wanted.x(), frame.width(), available.left(), available.right()),
            fit(wanted.y(), frame.height(), available.top(), available.bottom())};
}

const engine::CodePage& defaultCodePage() { return engine::CodePage::named(engine::CodePage::kDefaultName); }

QString fromUtf8(const char* text) { return QString::fromUtf8(text); }

} // namespace

TfrmOsigurenici::TfrmOsigurenici(Prompter* prompter, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      KDB(data::kConnectionName, data::kRegisterAlias), qLekar(KDB), qOsigurenici(KDB),
      ownPrompter_(prompter ? nullptr : std::make_unique<DesktopPrompter>(this)),
      prompter_(prompter ? prompter : ownPrompter_.get()), display_(defaultCodePage()),
      settings_(data::RegionalSettings::defaults()), dsLekar(qLekar, display_),
      dsOsigurenici(qOsigurenici, display_, settings_) {
    setObjectName(QStringLiteral("frmOsigurenici"));
    createControls();
    scaleLayout();

    // Once every object exists the connection connects; a failure here ends the program. A server or a table
    // that wants a password nobody configured gets one from the user; the engine wipes it once it is used, and
    // the copies on the way here are wiped as they go.
    KDB.setPasswordPrompt([this](const std::string& name) -> std::optional<std::string> {
        std::optional<QString> password = prompter_->askPassword(QString::fromStdString(name));
        if (!password)
            return std::nullopt;
        QByteArray utf8 = password->toUtf8();
        password->fill(QChar(u'\0'));
        std::string bytes(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        utf8.fill('\0');
        return bytes;
    });
    KDB.open();
    display_.setCodePage(KDB.codePage());
    settings_ = data::RegionalSettings::fromSystem(KDB.codePage());

    connect(qApp, &QApplication::focusChanged, this, &TfrmOsigurenici::onFocusChanged);
    connect(btnEksportiraj, &QPushButton::clicked, this, &TfrmOsigurenici::onExportClicked);
    guarded([this] { FormCreate(); });
}

TfrmOsigurenici::~TfrmOsigurenici() {
    // The database layer shuts down first: both lists, then the connection and the engine.
    disconnect(qApp, nullptr, this, nullptr);
    qOsigurenici.close();
    qLekar.close();
    KDB.close();
}

void TfrmOsigurenici::createControls() {
    setWindowTitle(QStringLiteral("Pelmarot"));
    QIcon icon;
    for (const int size : {32, 64, 128})
        icon.addFile(QStringLiteral(":/icons/pelmarot-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFont(display_.font(kWindowFontPixels));

    Label1 = new QLabel(display_.show("Lekar"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(display_.font(kLabelFontPixels, true));

    DBGrid1 = new DataGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->horizontalHeader()->setFont(display_.font(kWindowFontPixels));
    DBGrid1->setSource(&dsOsigurenici);

    btnEksportiraj = new KeyboardPushButton(display_.show("Eksportiraj"), this);
    btnEksportiraj->setObjectName(QStringLiteral("btnEksportiraj"));
    btnEksportiraj->setAutoDefault(false);

    cbLekar = new DoctorLookupBox(dsLekar, display_, this);
    cbLekar->setObjectName(QStringLiteral("cbLekar"));
    // The label names the box for a screen reader; the grid's name says whose persons it lists.
    Label1->setBuddy(cbLekar);
    DBGrid1->setAccessibleName(display_.show("Osigurenici na lekarot"));

    setTabOrder(DBGrid1, btnEksportiraj);
    setTabOrder(btnEksportiraj, cbLekar);
}

void TfrmOsigurenici::scaleLayout() {
    // A screen of another density first changes the font's height; then the measured height of "0" in the
    // window's font scales every position and size.
    const QScreen* screen = QApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    const auto scaledFontPixels = [dpi](int pixels) { return static_cast<int>(std::lround(pixels * dpi / 96.0)); };
    setFont(display_.font(scaledFontPixels(kWindowFontPixels)));
    Label1->setFont(display_.font(scaledFontPixels(kLabelFontPixels), true));
    DBGrid1->setFont(font());
    DBGrid1->horizontalHeader()->setFont(font());

    const int measured = QFontMetrics(font()).height();
    layoutScale_ = static_cast<double>(measured) / kStoredFontHeight;
    const auto scale = [this](int value) { return static_cast<int>(std::lround(value * layoutScale_)); };
    const auto scaleRect = [&](QRect r) {
        return QRect(scale(r.x()), scale(r.y()), scale(r.width()), scale(r.height()));
    };

    Label1->setGeometry(scaleRect(kLabel1));
    DBGrid1->setGeometry(scaleRect(kDBGrid1));
    btnEksportiraj->setGeometry(scaleRect(kBtnEksportiraj));
    cbLekar->setGeometry(scaleRect(kCbLekar));
    setFixedSize(scale(kClientSize.width()), scale(kClientSize.height()));
    DBGrid1->applyColumnWidths(scale(kFaksimilWidth), scale(kEmbgWidth));
    placeOnScreen();
}

void TfrmOsigurenici::placeOnScreen() {
    // The position is the stored one in the screen's own pixels: a denser screen scales the window, not the
    // place of its corner. Qt works in device-independent pixels, so the place is divided by the screen's ratio.
    const QScreen* screen = QApplication::primaryScreen();
    if (!screen) {
        move(kWindowPosition);
        return;
    }
    const double ratio = screen->devicePixelRatio();
    const QPoint wanted =
        screen->geometry().topLeft() + QPoint(static_cast<int>(std::lround(kWindowPosition.x() / ratio)),
                                              static_cast<int>(std::lround(kWindowPosition.y() / ratio)));
    // Before the window is shown the frame's margins are not known; showEvent fits the whole frame once they are.
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize frame = size().grownBy(margins);
    move(fittedWindowPosition(wanted, frame, screen->availableGeometry()));
}

void TfrmOsigurenici::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placedWithFrame_ && windowHandle()) {
        placedWithFrame_ = true;
        placeOnScreen();
    }
}

namespace {

// Texts the code page could not hold are shown and exported transliterated; the support log names the place
// of each, never the person or the text.
void logTextLosses(const data::Query& query) {
    for (const data::TextLoss& loss : query.textLosses())
        qCWarning(lcData).noquote() << QString::fromStdString(query.name() + ": " + query.describeForSupportLog(loss));
}

} // namespace

void TfrmOsigurenici::FormCreate() {
    qLekar.open();
    logTextLosses(qLekar);
}

void TfrmOsigurenici::cbLekarExit() {
    QElapsedTimer timer;
    timer.start();
    // The list is closed before the doctor's code is read: a code that cannot be read (one the code page cannot
    // hold) leaves the grid empty behind the error box, as every failed reload does, instead of showing the
    // last doctor's persons under the new doctor's name.
    qOsigurenici.close();
    const std::string code = qLekar.currentCode();
    qOsigurenici.reload(code);
    qCDebug(lcData).noquote() << QStringLiteral("qOsigurenici: doctor %1, %2 rows in %3 ms")
                                     .arg(QString::fromStdString(KDB.codePage().toUtf8(code)))
                                     .arg(qOsigurenici.recordCount())
                                     .arg(timer.elapsed());
    logTextLosses(qOsigurenici);
}

void TfrmOsigurenici::btnEksportirajClick() {
    // The doctor's code in the file system's UTF-8, as the file is named.
    const std::string code = KDB.codePage().toUtf8(qLekar.currentCode());
    const std::optional<QString> folder =
        prompter_->chooseSaveFolder(QString::fromStdString(exportfile::exportFileName(code)));
    if (!folder)
        return;
    bool finished = false;
    try {
        // The chosen folder becomes the current one, where the next dialog opens; the export is told the folder.
        const QString path = QDir(*folder).absolutePath();
        if (!QDir::setCurrent(path))
            throw std::runtime_error("Cannot enter the folder " + folder->toStdString());
        QElapsedTimer timer;
        timer.start();
        exportfile::exportDoctorFile(path.toStdString(), code, qOsigurenici, settings_);
        qCInfo(lcExport).noquote() << "Exported" << qOsigurenici.recordCount() << "rows into"
                                   << QString::fromStdString(exportfile::exportFileName(code)) << "in the folder"
                                   << path << "in" << timer.elapsed() << "ms";
        finished = true;
    } catch (const std::exception& e) {
        // The message box says only that the transfer did not finish; the cause goes to the support log.
        qCWarning(lcExport).noquote() << "Export into" << *folder << "failed:" << supportLogText(e);
        finished = false;
    }
    prompter_->showMessage(fromUtf8(finished ? kSuccessMessage : kFailureMessage));
}

void TfrmOsigurenici::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        qCWarning(lcEngine).noquote() << supportLogText(e);
        prompter_->showError(errorBoxText(QString::fromUtf8(e.what())));
    }
}

void TfrmOsigurenici::onFocusChanged(QWidget* old, QWidget* now) {
    // Only a move to another control of this window leaves the box; switching applications does not.
    if (!cbLekar->ownsWidget(old) || now == nullptr || now->window() != this || cbLekar->ownsWidget(now))
        return;
    try {
        cbLekarExit();
    } catch (const std::exception& e) {
        // The focus moves inside a mouse press or a key press; the error box waits until that input is over,
        // and a click on the export button that caused the move does not run.
        qCWarning(lcEngine).noquote() << supportLogText(e);
        pendingLeaveFailure_ = errorBoxText(QString::fromUtf8(e.what()));
        QTimer::singleShot(0, this, &TfrmOsigurenici::showPendingLeaveFailure);
    }
}

void TfrmOsigurenici::showPendingLeaveFailure() {
    if (!pendingLeaveFailure_)
        return;
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
        QTimer::singleShot(20, this, &TfrmOsigurenici::showPendingLeaveFailure);
        return;
    }
    const QString text = *pendingLeaveFailure_;
    pendingLeaveFailure_.reset();
    prompter_->showError(text);
}

void TfrmOsigurenici::onExportClicked() {
    if (pendingLeaveFailure_)
        return;
    guarded([this] { btnEksportirajClick(); });
}

void TfrmOsigurenici::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange && KDB.connected()) {
        settings_ = data::RegionalSettings::fromSystem(KDB.codePage());
        dsOsigurenici.settingsChanged();
    }
    QWidget::changeEvent(event);
}

} // namespace app

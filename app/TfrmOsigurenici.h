#pragma once

#include "app/DoctorSource.h"
#include "app/InsuredSource.h"
#include "app/KeyboardPushButton.h"
#include "app/MacCDisplay.h"
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "data/RegionalSettings.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;

namespace app {

class DataGrid;
class DoctorLookupBox;
class Prompter;

// The main window: the doctor box, the grid of the chosen doctor's insured persons and the export button.
// It owns the connection and both lists for the whole run. Constructing it connects to the database (a
// failure escapes as the engine's exception) and then runs FormCreate, which opens the doctor list.
class TfrmOsigurenici : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kSuccessMessage = "Transferot e zavrsen!";
    static constexpr const char* kFailureMessage =
        "Transferot ne e zavrsen! Ima nekoja greska vo transferot na podatoci!";

    // `prompter` shows the boxes and the save dialog; null means the real desktop ones.
    explicit TfrmOsigurenici(Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~TfrmOsigurenici() override;

    // The handlers, named after their control and event. The percentage of each row of qOsigurenici is worked
    // out by the list itself (InsuredList::qOsigureniciCalcFields), which the export without a window needs as well.
    void FormCreate();
    void cbLekarExit();
    void btnEksportirajClick();

    data::Connection KDB;
    data::DoctorList qLekar;
    data::InsuredList qOsigurenici;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void scaleLayout();
    // Puts the frame's corner at the stored place, in the screen's own pixels, or as near to it as keeps the
    // whole frame within the screen's available area.
    void placeOnScreen();
    void onFocusChanged(QWidget* old, QWidget* now);
    void onExportClicked();
    void showPendingLeaveFailure();
    // Runs a handler; a failure it does not catch itself is shown in the error box and the program goes on.
    void guarded(const std::function<void()>& handler);

    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    MacCDisplay display_;
    data::RegionalSettings settings_;
    DoctorSource dsLekar;
    InsuredSource dsOsigurenici;
    // The scale scaleLayout() applied to the stored layout: the window font's measured height over 12.
    double layoutScale_ = 1.0;
    std::optional<QString> pendingLeaveFailure_;
    bool placedWithFrame_ = false; // placed again on the first show, when the frame's margins are known

public:
    // The controls, in the order they are created; each has its name as objectName.
    QLabel* Label1 = nullptr;
    DataGrid* DBGrid1 = nullptr;
    KeyboardPushButton* btnEksportiraj = nullptr;
    DoctorLookupBox* cbLekar = nullptr;
};

} // namespace app

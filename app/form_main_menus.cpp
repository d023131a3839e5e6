// The main window's menus and tool bars: every command's action, its
// caption, shortcut and icon, and the buttons that share those actions.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>

#include "app/form_main.h"
#include "lang/language_strings.h"
#include "viewer/view_geometry.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

QIcon Icon(const char* name) {
    return name == nullptr ? QIcon() : QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

}  // namespace

// --- menus ------------------------------------------------------------------

QAction* TFormMain::AddAction(QMenu* menu, const char* name, const QString& caption,
                              const QKeySequence& shortcut, const char* iconName) {
    auto* action = new QAction(Icon(iconName), caption, this);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    menu->addAction(action);
    actions_[name] = action;
    return action;
}

void TFormMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto addMenu = [&](QMenu* parent, const char* name, const QString& title) {
        QMenu* menu = parent == nullptr ? bar->addMenu(title) : parent->addMenu(title);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        actions_[name] = menu->menuAction();
        return menu;
    };

    // Files
    QMenu* files = addMenu(nullptr, "Fichier1", "Files");
    connect(AddAction(files, "NewDirectory1", "New list (Unlimited)", QKeySequence("Ctrl+F"),
                      "folder-mask"),
            &QAction::triggered, this, &TFormMain::NewDirectory1Click);
    connect(AddAction(files, "NewList1", "New list (Win Explorer with ~32 000 limit)",
                      QKeySequence("Ctrl+N"), "list-new"),
            &QAction::triggered, this, &TFormMain::NewList1Click);
    files->addSeparator();
    connect(AddAction(files, "LoadList1", "Load Current List...", {}, "list-open"),
            &QAction::triggered, this, &TFormMain::LoadList1Click);
    connect(AddAction(files, "SaveList1", "Save Current List...", {}, "list-save"),
            &QAction::triggered, this, &TFormMain::SaveList1Click);
    BuildRecentListsMenu(files);
    files->addSeparator();
    QAction* viewResult = AddAction(files, "ViewResult1", "Show Result...", {}, "result-show");
    viewResult->setCheckable(true);
    connect(viewResult, &QAction::triggered, this, &TFormMain::ViewResult1Click);
    connect(AddAction(files, "ClearResult1", "Clear Result", {}, "result-clear"),
            &QAction::triggered, this, &TFormMain::ClearResult1Click);
    connect(AddAction(files, "SaveResult1", "Save Result as...", QKeySequence("Ctrl+S"), "save"),
            &QAction::triggered, this, &TFormMain::SaveResult1Click);
    files->addSeparator();
    connect(AddAction(files, "MakeVideo1", "Make video from list...", {}, "video"),
            &QAction::triggered, this, &TFormMain::MakeVideo1Click);
    files->addSeparator();
    connect(AddAction(files, "Quit1", "Quit..", QKeySequence("Ctrl+Q"), "quit"),
            &QAction::triggered, this, &TFormMain::Quit1Click);

    // Current List. Its title's Ctrl+K is left to the window's keys, where it
    // checks the selection: a menu title that swallowed the key would make
    // that key do nothing at all.
    QMenu* edit = addMenu(nullptr, "Edit1", "Current List");
    connect(AddAction(edit, "Testvalidpictures1", "Test if files are valid pictures...",
                      QKeySequence("Ctrl+T"), "pictures-test"),
            &QAction::triggered, this, &TFormMain::Testvalidpictures1Click);
    QAction* redirect = AddAction(edit, "Redirect1", "Redirect...", {}, "redirect");
    redirect->setStatusTip("Change Current List Directory");
    connect(redirect, &QAction::triggered, this, &TFormMain::Redirect1Click);
    connect(AddAction(edit, "SortbyNum1", "Sort by Num ", {}, "sort-number"), &QAction::triggered,
            this, &TFormMain::SortbyNum1Click);
    edit->addSeparator();
    connect(AddAction(edit, "CheckSelection", "Check Selection", QKeySequence("Ctrl+J"),
                      "check-selection"),
            &QAction::triggered, this, &TFormMain::CheckSelectionClick);
    connect(AddAction(edit, "UncheckSelection", "Uncheck Selection", QKeySequence("Ctrl+U"),
                      "uncheck-selection"),
            &QAction::triggered, this, &TFormMain::UncheckSelectionClick);
    connect(AddAction(edit, "InvertCheckSelection", "Invert Check Selection",
                      QKeySequence("Ctrl+I"), "invert-check-selection"),
            &QAction::triggered, this, &TFormMain::InvertCheckSelectionClick);
    edit->addSeparator();
    connect(AddAction(edit, "CheckAll", "Check All", QKeySequence("Ctrl+Alt+J"), "check-all"),
            &QAction::triggered, this, &TFormMain::CheckAllClick);
    connect(AddAction(edit, "UncheckAll", "Uncheck All", QKeySequence("Ctrl+Alt+U"), "uncheck-all"),
            &QAction::triggered, this, &TFormMain::UncheckAllClick);
    connect(AddAction(edit, "InvertCheckAll", "Invert Check All", QKeySequence("Ctrl+Alt+I"),
                      "invert-check-all"),
            &QAction::triggered, this, &TFormMain::InvertCheckAllClick);
    edit->addSeparator();
    connect(AddAction(edit, "ClearSelection1", "Clear Selection...", QKeySequence(Qt::Key_Delete),
                      "delete-selection"),
            &QAction::triggered, this, &TFormMain::ClearSelection1Click);
    connect(AddAction(edit, "Clearlist1", "Clear all...", QKeySequence("Shift+Del"), "clear-list"),
            &QAction::triggered, this, &TFormMain::ClearList1Click);
    edit->addSeparator();
    connect(AddAction(edit, "Selectall", "Select all", QKeySequence("Ctrl+A"), "select-all"),
            &QAction::triggered, this, &TFormMain::SelectallClick);
    connect(AddAction(edit, "UnselectAll", "Unselect all", {}, "unselect-all"), &QAction::triggered,
            this, &TFormMain::UnselectAllClick);
    connect(AddAction(edit, "InvertSelectAll", "Invert select all", {}, "invert-select-all"),
            &QAction::triggered, this, &TFormMain::InvertSelectAllClick);
    edit->addSeparator();
    connect(AddAction(edit, "Sendtobottom1", "Send current filename to end of list",
                      QKeySequence("Ctrl+E"), "send-to-end"),
            &QAction::triggered, this, &TFormMain::Sendtobottom1Click);

    // Process (Left Column)
    QMenu* process = addMenu(nullptr, "Process1", "Process (Left Column)");
    QMenu* stack = addMenu(process, "StackBuffer1", "Processing...");
    stack->menuAction()->setIcon(Icon("stack-max"));
    struct Item {
        const char* name;
        const char* caption;
        const char* icon;
        bool separatorBefore;
        void (TFormMain::*handler)();
    };
    const Item stackItems[] = {
        {"GetMAX1", "AddMax..", "stack-max", false, &TFormMain::GetMAX1Click},
        {"GetMaxandSave1", "AddMax and Save steps...", "stack-steps", false,
         &TFormMain::GetMaxandSave1Click},
        {"GetMAxThreshold1", "AddMaxThreshold..", "stack-max", true,
         &TFormMain::GetMAxThreshold1Click},
        {"GetMaxTrhesholdandSave1", "AddMaxThreshold and Save steps...", "stack-steps", false,
         &TFormMain::GetMaxTrhesholdandSave1Click},
        {"Getmin1", "AddMin..", "stack-max", true, &TFormMain::Getmin1Click},
        {"GetMinAndSave1", "AddMin and Save steps...", "stack-steps", false,
         &TFormMain::GetMinAndSave1Click},
        {"GetMaxGray1", "AddMaxLum..", "stack-max", true, &TFormMain::GetMaxGray1Click},
        {"GetMaxGrayandSavesteps1", "AddMaxLum and Save steps..", "stack-steps", false,
         &TFormMain::GetMaxGrayandSavesteps1Click},
        {"GetMinGray1", "SubMinLum..", "stack-max", true, &TFormMain::GetMinGray1Click},
        {"GetMinGrayandSavesteps1", "SubMinLum and Save steps..", "stack-steps", false,
         &TFormMain::GetMinGrayandSavesteps1Click},
        {"Add1", "Add", "stack-max", true, &TFormMain::Add1Click},
        {"Sub1", "Sub", "stack-max", false, &TFormMain::Sub1Click},
    };
    for (const Item& item : stackItems) {
        if (item.separatorBefore) {
            stack->addSeparator();
        }
        connect(AddAction(stack, item.name, item.caption, {}, item.icon), &QAction::triggered, this,
                item.handler);
    }
    connect(AddAction(process, "MovingMax1", "MovingMax ", {}, "moving-max"), &QAction::triggered,
            this, &TFormMain::MovingMax1Click);
    connect(AddAction(process, "NewBatchOperations1", "Batch Operations...", {}, "batch"),
            &QAction::triggered, this, &TFormMain::NewBatchOperations1Click);
    QMenu* search = addMenu(process, "Search1", "Search / Crop");
    search->menuAction()->setIcon(Icon("search"));
    connect(AddAction(search, "Search2", "Search"), &QAction::triggered, this,
            &TFormMain::Search1Click);
    connect(AddAction(search, "SearchSave1", "Search && Save"), &QAction::triggered, this,
            &TFormMain::SearchSave1Click);
    connect(AddAction(search, "Crop1", "Show && Save"), &QAction::triggered, this,
            &TFormMain::Crop1Click);
    connect(AddAction(search, "CropSave1", "Crop && Save"), &QAction::triggered, this,
            &TFormMain::CropSave1Click);
    QMenu* meteor = addMenu(process, "MeteorMax1", "MeteorMax...");
    meteor->menuAction()->setIcon(Icon("meteor"));
    connect(AddAction(meteor, "MaximumSearch1", "Maximum Search"), &QAction::triggered, this,
            &TFormMain::MaximumSearch1Click);
    // These two have never done anything; they stay as placeholders.
    AddAction(meteor, "GaussianSubtraction1", "Gaussian Substraction");
    AddAction(meteor, "Addmaxsavemeteors1", "Addmax / save luminosity events  ?");
    process->addSeparator();
    connect(AddAction(process, "CreateImage1", "Create Mask...", {}, "mask-create"),
            &QAction::triggered, this, &TFormMain::CreateImage1Click);

    // Options
    options1_ = addMenu(nullptr, "Options1", "Options");
    connect(options1_, &QMenu::aboutToShow, this, &TFormMain::Options1Click);
    QAction* stretch =
        AddAction(options1_, "Adapterlimage1", "Stretch image to window", {}, "fit-window");
    stretch->setCheckable(true);
    stretch->setChecked(true);
    connect(stretch, &QAction::triggered, this, &TFormMain::Adapterlimage1Click);
    connect(AddAction(options1_, "ProcessNumerotation1", "Starting Number", {}, "start-number"),
            &QAction::triggered, this, &TFormMain::ProcessNumerotation1Click);
    QAction* numFormat =
        AddAction(options1_, "numformat1", "Format Filename Numbers", {}, "number-format");
    numFormat->setCheckable(true);
    numFormat->setChecked(true);
    connect(numFormat, &QAction::triggered, this, &TFormMain::numformat1Click);
    QAction* sortLeft =
        AddAction(options1_, "SortList1", "Sort Left List (ascending)", {}, "sort-name");
    sortLeft->setCheckable(true);
    connect(sortLeft, &QAction::triggered, this, &TFormMain::SortList1Click);
    // Unlike its original, the right item toggles its check mark like the
    // left one, so it can switch the right list's sorting on as well as off.
    QAction* sortRight =
        AddAction(options1_, "SortList2", "Sort Right List (ascending)", {}, "sort-name");
    sortRight->setCheckable(true);
    connect(sortRight, &QAction::triggered, this, &TFormMain::SortList2Click);
    QAction* fly =
        AddAction(options1_, "EnableFlyOverMouse1", "Enable Fly Over Mouse", {}, "fly-over");
    fly->setCheckable(true);
    fly->setChecked(false);
    connect(fly, &QAction::triggered, this, &TFormMain::EnableFlyOverMouse1Click);
    QAction* sixteenBits =
        AddAction(options1_, "SixteenBits1", "16 bits per channel", {}, "sixteen-bits");
    sixteenBits->setCheckable(true);
    sixteenBits->setChecked(false);
    connect(sixteenBits, &QAction::triggered, this, &TFormMain::SixteenBits1Click);
    options1_->addSeparator();
    connect(AddAction(options1_, "Translate1", "Translate...", {}, "translate"),
            &QAction::triggered, this, &TFormMain::Translate1Click);

    // ?
    QMenu* help = addMenu(nullptr, "Help1", "?");
    connect(AddAction(help, "About1", "Help", QKeySequence(Qt::Key_F1), "help"),
            &QAction::triggered, this, &TFormMain::About1Click);
    QMenu* translations = addMenu(help, "Translation1", "Translations");
    connect(AddAction(translations, "En1", "En-English"), &QAction::triggered, this,
            &TFormMain::En1Click);
    connect(AddAction(translations, "Fr1",
                      QString::fromUtf8("Fr-Fran\xC3\xA7"
                                        "ais")),
            &QAction::triggered, this, &TFormMain::Fr1Click);
    connect(AddAction(translations, "De1", "De-Deutsch"), &QAction::triggered, this,
            &TFormMain::De1Click);
}

// --- tool bars --------------------------------------------------------------

QToolButton* TFormMain::AddToolButton(QToolBar* bar, const char* name, const QString& hint,
                                      QAction* action) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setDefaultAction(action);
    // The hint is kept with the button; only bars that show hints show it.
    button->setProperty("hint", hint);
    const bool showsHints = bar != toolBar1_;
    button->setProperty("showHint", showsHints);
    button->setToolTip(showsHints ? hint : QString());
    action->setToolTip(showsHints ? hint : QString());
    button->setAutoRaise(true);
    // List bars are narrow (their panels may shrink to 175 pixels), so their
    // buttons are small; the view's bar has room for larger ones.
    button->setFixedSize(bar == toolBar3_ ? QSize(25, 25) : QSize(23, 23));
    bar->addWidget(button);
    return button;
}

void TFormMain::BuildToolBars() {
    // Buttons with a command of their own get an action of their own, named
    // after the button; the others share the menu item's action.
    auto own = [this](const char* name, const char* icon, auto slot) {
        auto* action = new QAction(Icon(icon), QString(), this);
        action->setObjectName(QString(name) + "Action");
        connect(action, &QAction::triggered, this, slot);
        actions_[name] = action;
        return action;
    };

    // ToolBar1: the left list.
    QAction* open1 = own("ToolButtonOpen1", "folder-mask", &TFormMain::NewDirectory1Click);
    AddToolButton(toolBar1_, "ToolButtonOpen1", "Open New List..", open1);
    toolBar1_->addSeparator();
    AddToolButton(toolBar1_, "ToolButtonDelete1", "Clear Selected Highlighted",
                  own("ToolButtonDelete1", "delete-selection", &TFormMain::ClearSelected1Click));
    AddToolButton(toolBar1_, "ToolButtonCopyList1", "Copy List2 into List1",
                  own("ToolButtonCopyList1", "copy-to-left", &TFormMain::ToolButtonCopyList1Click));
    toolBar1_->addSeparator();
    AddToolButton(toolBar1_, "ToolButtonUp1", "Up",
                  own("ToolButtonUp1", "move-up", &TFormMain::ToolButtonUp1Click));
    AddToolButton(toolBar1_, "ToolButtonDown1", "Down",
                  own("ToolButtonDown1", "move-down", &TFormMain::ToolButtonDown1Click));
    toolBar1_->addSeparator();
    QAction* focus1 = own("ToolButtonFocus1", "focus-list", &TFormMain::ToolBar1Click);
    focus1->setCheckable(true);
    toolButtonFocus1_ = AddToolButton(toolBar1_, "ToolButtonFocus1", "Set Focus to List1", focus1);

    // ToolBar2: the right list.
    AddToolButton(toolBar2_, "ToolButtonSwap", "Swap List1 <> List2",
                  own("ToolButtonSwap", "swap-lists", &TFormMain::ToolButtonSwapClick));
    toolBar2_->addSeparator();
    AddToolButton(toolBar2_, "ToolButtonDelete2", "Clear Selected Highlighted",
                  own("ToolButtonDelete2", "delete-selection", &TFormMain::ToolButtonDelete2Click));
    AddToolButton(
        toolBar2_, "ToolButtonCopyList2", "Copy List1 into List2",
        own("ToolButtonCopyList2", "copy-to-right", &TFormMain::ToolButtonCopyList2Click));
    toolBar2_->addSeparator();
    AddToolButton(toolBar2_, "ToolButtonUp2", "Up",
                  own("ToolButtonUp2", "move-up", &TFormMain::ToolButtonUp2Click));
    AddToolButton(toolBar2_, "ToolButtonDown2", "Down",
                  own("ToolButtonDown2", "move-down", &TFormMain::ToolButtonDown2Click));
    toolBar2_->addSeparator();
    QAction* focus2 = own("ToolButtonFocus2", "focus-list", &TFormMain::ToolBar2Click);
    focus2->setCheckable(true);
    toolButtonFocus2_ = AddToolButton(toolBar2_, "ToolButtonFocus2", "Set Focus to List2", focus2);

    // ToolBar3: the view.
    AddToolButton(toolBar3_, "ToolButtonAbort", "Abort Process..",
                  own("ToolButtonAbort", "abort", &TFormMain::ToolButtonAbortClick));
    toolBar3_->addSeparator();
    toolBar3_->addSeparator();
    // The button shares the menu item's checkable action: pressing either
    // toggles the one switch, and both show it.
    enableFlyOverMouse2_ = AddToolButton(toolBar3_, "EnableFlyOverMouse2", "Enable Fly Over Mouse",
                                         Action("EnableFlyOverMouse1"));
    toolBar3_->addSeparator();
    AddToolButton(toolBar3_, "ToolButton9", QString(),
                  own("ToolButton9", "host-name", &TFormMain::ToolButton9Click));
    toolBar3_->addSeparator();
    AddToolButton(toolBar3_, "ToolButtonSave", "Save Result as...", Action("SaveResult1"));
    toolButton1_ = AddToolButton(toolBar3_, "ToolButton1", "Show Result...", Action("ViewResult1"));
    QAction* stretch = own("ToolButton7", "fit-window", &TFormMain::ToolButton7Click);
    stretch->setCheckable(true);
    toolButton7_ =
        AddToolButton(toolBar3_, "ToolButton7", "Auto Stretch: Adapt Picture to Window", stretch);

    trackBar1_ = new QSlider(Qt::Horizontal, toolBar3_);
    trackBar1_->setObjectName("TrackBar1");
    trackBar1_->setRange(1, 1000);
    trackBar1_->setValue(50);
    trackBar1_->setSingleStep(1);
    trackBar1_->setPageStep(2);
    trackBar1_->setTickPosition(QSlider::NoTicks);
    trackBar1_->setMinimumWidth(150);
    trackBar1_->setMaximumWidth(260);
    connect(trackBar1_, &QSlider::valueChanged, this, &TFormMain::TrackBar1Change);
    trackBar1Action_ = toolBar3_->addWidget(trackBar1_);

    label100_ = new QLabel(Q(ZoomLabelText(50)), toolBar3_);
    label100_->setObjectName("Label100");
    label100_->setAlignment(Qt::AlignCenter);
    label100_->setMinimumSize(50, 25);
    label100_->setStyleSheet("QLabel { background: white; color: black; }");
    label100_->installEventFilter(this);
    label100Action_ = toolBar3_->addWidget(label100_);
}

}  // namespace nocturo

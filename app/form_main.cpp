#include "app/form_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "app/dialogs/dialogs.h"
#include "app/dialogs/file_places.h"
#include "app/form_about.h"
#include "app/night_graph.h"
#include "app/qt_run_host.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/step_saving.h"
#include "engine/ui/form_factor.h"
#include "engine/ui/form_num_format.h"
#include "engine/ui/form_process.h"
#include "engine/ui/form_sample.h"
#include "engine/view_decoder.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/form_edit.h"
#include "lang/ui/form_lng.h"
#include "lang/ui/language_ui.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"
#include "lists/ui/form_sel_dir.h"
#include "viewer/fly_image.h"
#include "viewer/form_create_img.h"
#include "viewer/scroll_box.h"
#include "viewer/view_geometry.h"

// The icons are compiled into this library; a static library's resources
// must be registered by hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace nocturo {

namespace {

constexpr int kListPanelWidth = 177;
constexpr int kListPanelMinimum = 175;
constexpr int kToolBarHeight = 29;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QIcon Icon(const char* name) {
    return name == nullptr ? QIcon() : QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

// The banner: the program, its version and what it does, in the language
// in force. Language files never replace it as the window's caption.
QString Banner() {
    return QStringLiteral("Nocturo - Ver: 2-5-15 - 2016/02/29 - ") + Q(Lng().txtTagline);
}

}  // namespace

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent), host_(std::make_unique<QtRunHost>(*this)) {
    InitIconResources();
    // The full RAW frame is decoded off the GUI thread; the news comes back
    // to it as a queued call, which Qt drops once the window is gone.
    viewDecoder_ = std::make_unique<ViewDecoder>([this] {
        QMetaObject::invokeMethod(
            this, [this] { ViewDecodeReady(); }, Qt::QueuedConnection);
    });
    setObjectName("FormMain");
    setWindowTitle("FormMain");
    BuildLayout();
    BuildMenus();
    BuildToolBars();
    BuildNightTools();
    FormCreate();

    // The option windows come after the main window's start-up, hidden; they
    // keep their settings between showings until the program ends.
    formCreateImg_ = new TFormCreateImg(this);
    formNumFormat_ = new TFormNumFormat(run_.Steps, this);
    formProcess_ = new TFormProcess(run_.Steps, this);
    formFactor_ = new TFormFactor(this);
    formFactor_->SetCommandRunner(
        [this](const BatchRequest& request, BatchMode mode, BatchPreviewCache& cache) {
            RunBatchWindowCommand(request, mode, cache);
        });
    formFactor_->SetShowOriginal([this] { ShowListEntry(LeftList().Current(), LeftList()); });
    // "Create an Image Mask..": the Info Image window makes the mask, and its
    // name becomes the batch reference.
    formFactor_->SetCreateMaskAction([this] {
        OpenCreateImgFor(
            [this] { formFactor_->SetReferenceFileName(formCreateImg_->CreatedMaskName()); });
    });

    formSelDir_ = new TFormSelDir(this);
    // While the browser is the active window the list commands act on its
    // file list.
    connect(formSelDir_, &TFormSelDir::activeChanged, this, [this](bool active) {
        lists_.SetCurrentListOverride(active ? &formSelDir_->Files() : nullptr);
    });

    CreateSearchWindow();

    formSample_ = new TFormSample(this);

    formEdit_ = new TFormEdit(this);
    lngForm_ = new TLngForm(formEdit_, this);

    // The about window comes last: its creation applies the chosen language
    // to every window, so every other window must exist by then.
    formAbout_ = new TFormAbout(this);
}

TFormMain::~TFormMain() {
    // FormDestroy: nothing is left to save once the window is gone.
    qApp->removeEventFilter(this);
    // Its worker posts to this window: joined while the window is whole.
    viewDecoder_.reset();
    // The option windows hold the step settings by reference: they go
    // before the settings do.
    delete formNumFormat_;
    delete formProcess_;
    // The night graph watches the left list and measures on threads: it
    // goes before the list does.
    delete panelGraph_;
    // Its call-back points back at this window.
    delete formCreateImg_;
    formCreateImg_ = nullptr;
    delete formFactor_;

    delete formAbout_;
    delete lngForm_;
    delete formEdit_;
    lists_.SetCurrentListOverride(nullptr);
    delete formSelDir_;
    run_.ResultUnsaved = false;
    listBox1_->SetList(nullptr);
    listBox2_->SetList(nullptr);
    if (listBoxCopy_ != nullptr) {
        listBoxCopy_->SetList(nullptr);
    }
    run_.Result.reset();
}

QAction* TFormMain::Action(const QString& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

QString TFormMain::ListTitle() const {
    return Q(lists_.CurrentSide() == ListSide::Left ? Lng().kstcaption1 : Lng().kstcaption2);
}

// --- layout -----------------------------------------------------------------

void TFormMain::BuildLayout() {
    resize(1024, 640);

    // Panel1 | Splitter1 | (Panel2 | Splitter2 | Panel3): nested splitters so
    // that dragging either one resizes its own list panel and the view takes
    // up the difference.
    splitter1_ = new QSplitter(Qt::Horizontal, this);
    splitter1_->setObjectName("Splitter1");
    splitter1_->setChildrenCollapsible(false);
    splitter2_ = new QSplitter(Qt::Horizontal);
    splitter2_->setObjectName("Splitter2");
    splitter2_->setChildrenCollapsible(false);

    auto makePanel = [](const char* name) {
        auto* panel = new QWidget;
        panel->setObjectName(name);
        auto* layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        return panel;
    };
    auto makeToolBar = [](const char* name, QWidget* panel) {
        auto* bar = new QToolBar(panel);
        bar->setObjectName(name);
        bar->setFixedHeight(kToolBarHeight);
        bar->setIconSize(QSize(16, 16));
        bar->setContentsMargins(0, 0, 0, 0);
        bar->layout()->setSpacing(0);
        bar->setMovable(false);
        bar->setFloatable(false);
        panel->layout()->addWidget(bar);
        return bar;
    };

    panel1_ = makePanel("Panel1");
    panel1_->setMinimumWidth(kListPanelMinimum);
    toolBar1_ = makeToolBar("ToolBar1", panel1_);
    listBox1_ = new CheckListBox(panel1_);
    listBox1_->setObjectName("ListBox1");
    panel1_->layout()->addWidget(listBox1_);

    panel2_ = makePanel("Panel2");
    panel2_->setMinimumWidth(kListPanelMinimum);
    toolBar2_ = makeToolBar("ToolBar2", panel2_);
    listBox2_ = new CheckListBox(panel2_);
    listBox2_->setObjectName("ListBox2");
    panel2_->layout()->addWidget(listBox2_);

    panel3_ = makePanel("Panel3");
    toolBar3_ = makeToolBar("ToolBar3", panel3_);
    toolBar3_->setIconSize(QSize(18, 18));
    toolBar3_->setContentsMargins(5, 0, 0, 0);
    scrollBox1_ = new ScrollBox(panel3_);
    scrollBox1_->setObjectName("ScrollBox1");
    image1_ = new tFlyImage;
    image1_->setObjectName("Image1");
    scrollBox1_->SetChild(image1_);
    panel3_->layout()->addWidget(scrollBox1_);

    splitter1_->addWidget(panel1_);
    splitter1_->addWidget(splitter2_);
    splitter2_->addWidget(panel2_);
    splitter2_->addWidget(panel3_);
    splitter1_->setStretchFactor(0, 0);
    splitter1_->setStretchFactor(1, 1);
    splitter2_->setStretchFactor(0, 0);
    splitter2_->setStretchFactor(1, 1);
    splitter1_->setSizes({kListPanelWidth, width() - kListPanelWidth});
    splitter2_->setSizes({kListPanelWidth, width() - 2 * kListPanelWidth});
    setCentralWidget(splitter1_);

    statusBar1_ = new StatusPanels({178, 180, 600, 200});
    statusBar1_->setObjectName("StatusBar1");
    // The pixel readout is shown in full for pictures up to 99,999 pixels
    // wide and high, whatever the font.
    statusBar1_->SetLongestText(1, Q(PixelReadoutText(10000, 10000, 100, 100, 100)));
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(statusBar1_, 1);

    lists_.SetMainWindowActiveQuery([this] { return IsMainWindowActive(); });
    listBox1_->SetList(&lists_.Left());
    listBox2_->SetList(&lists_.Right());
    for (ListSide side : {ListSide::Left, ListSide::Right}) {
        CheckListBox* box = side == ListSide::Left ? listBox1_ : listBox2_;
        connect(box, &CheckListBox::entered, this, [this, side] { ListBoxEnter(side); });
        connect(box, &CheckListBox::entryClicked, this,
                [this, side](int index) { ListBoxClick(side, index); });
        connect(box, &CheckListBox::filesDropped, this,
                [this, side](const QStringList& files) { FilesDropped(side, files); });
    }

    connect(
        image1_, &tFlyImage::mouseMoved, this,
        [this](Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) { Image1MouseMove(x, y); });
    connect(image1_, &tFlyImage::mousePressed, this, &TFormMain::Image1MouseDown);
    connect(image1_, &tFlyImage::clicked, this, &TFormMain::Image1Click);
    // Dragging the picture pans it; Ctrl + wheel zooms about the pointer.
    connect(image1_, &tFlyImage::dragged, scrollBox1_, &ScrollBox::PanBy);
    connect(scrollBox1_, &ScrollBox::zoomWheel, this, &TFormMain::ScrollBox1ZoomWheel);

    image1_->onMouseEnter = [this] { Image1MouseEnter(); };
    image1_->onMouseLeave = [this] { Image1MouseLeave(); };

    scrollBox1_->installEventFilter(this);  // the view follows the box's size
    toolBar1_->installEventFilter(this);
    toolBar2_->installEventFilter(this);
    qApp->installEventFilter(this);  // the window sees every key first
}

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
    files->addSeparator();
    QAction* viewResult = AddAction(files, "ViewResult1", "Show Result...", {}, "result-show");
    viewResult->setCheckable(true);
    connect(viewResult, &QAction::triggered, this, &TFormMain::ViewResult1Click);
    connect(AddAction(files, "ClearResult1", "Clear Result", {}, "result-clear"),
            &QAction::triggered, this, &TFormMain::ClearResult1Click);
    connect(AddAction(files, "SaveResult1", "Save Result as...", QKeySequence("Ctrl+S"), "save"),
            &QAction::triggered, this, &TFormMain::SaveResult1Click);
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

// --- start-up and shut-down -------------------------------------------------

void TFormMain::FormCreate() {
    // The messages of the language last chosen, before anything shows one;
    // the window texts follow once every window exists.
    StartLanguage();
    liveDisplay_ = true;
    markedX_ = -1;
    markedY_ = -1;
    markedValue_ = -1;
    zoomFactor_ = 1.0;

    setWindowTitle(Banner());

    lists_.SetCurrentList(ListSide::Left);
    ListBoxEnter(ListSide::Left);

    run_.ResultUnsaved = false;
    EnsureImage(run_.Result);
    run_.ResultPosition = 0;

    // Run requests and step numbering start afresh; frames are decoded
    // ahead on every core while the run merges.
    run_.PauseRequested = false;
    run_.StopRequested = false;
    run_.Steps = StepSettings();
    run_.Decode.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    run_.Decode.ahead = 2;

    Action("Adapterlimage1")->setChecked(true);
    Adapterlimage1Click();

    for (FileList* list : {&LeftList(), &RightList()}) {
        ResetList(*list);
        ShowImage(nullptr, true);
    }
    ShowListEntry(LeftList().Current(), LeftList());
}

bool TFormMain::FormCloseQuery() {
    if (!run_.ResultUnsaved) {
        return true;
    }
    switch (Dialogs::Get().Message(this, Q(Lng().lngsaveprocimage), Q(Lng().lngquit),
                                   {DialogButton::Yes, DialogButton::No, DialogButton::Cancel})) {
        case DialogButton::Yes:
            // The window stays; once the result is saved the next close
            // request goes through without a question.
            SaveResult1Click();
            return false;
        case DialogButton::No:
            return true;
        default:
            return false;
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (closeConfirmed_) {
        event->accept();
        return;
    }
    if (busy_) {
        // The request arrived from inside a run's event pumping: the window
        // must outlive the run's stack. Ask as usual; a close is carried out
        // once the run has stopped after its current file and returned.
        event->ignore();
        if (!closePending_ && FormCloseQuery()) {
            closePending_ = true;
            run_.StopRequested = true;
        }
        return;
    }
    if (FormCloseQuery()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TFormMain::Quit1Click() {
    close();
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutView();
}

// --- the result buffer ------------------------------------------------------

void TFormMain::SaveResult1Click() {
    FileDialogOptions dialog;
    dialog.filter =
        "All Images|*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF|BMP Files|*.BMP|JPEG "
        "Files|*.JPG;*.JPS;*.JPEG|PNG Files|*.PNG|TIF Files|*.TIF;*.TIFF|GIF Files|*.GIF|All "
        "Files (*.*)|*.*";
    dialog.filterIndex = 3;
    dialog.defaultExtension = "JPG";
    // The result's own last name, never a list's: a list name would be
    // replaced by a picture.
    FilePlaces::Session().Propose(FileKind::Results, dialog, "proc.jpg", [](const QString& name) {
        return IsLoadableName(name.toStdString());
    });
    // A saved star-trail picture is hours of work: never replace one
    // without asking. No goes back to the dialog for another name. A 16-bit
    // result is written at 8 bits only when the user says so.
    const bool sixteenBits = run_.Result != nullptr && run_.Result->Depth() == 16;
    const QString chosen = SaveFileNameAskingToReplace(
        this, dialog,
        [](const QString& name) { return Q(FormatText(Lng().kstoverwrite, name.toStdString())); },
        Q(Lng().txtWarning),
        [this, sixteenBits](const QString& name) {
            if (!sixteenBits || SaveFormatHolds16Bits(name.toStdString())) {
                return DialogButton::Yes;
            }
            return Dialogs::Get().Message(
                this, Q(FormatText(Lng().txtEightBits, name.toStdString())),
                Q(Lng().txtEightBitsCaption),
                {DialogButton::Yes, DialogButton::No, DialogButton::Cancel}, MessageKind::Warning);
        });
    if (chosen.isEmpty()) {
        return;
    }
    FilePlaces::Session().Remember(FileKind::Results, chosen, dialog.filterIndex);
    std::string name = chosen.toStdString();
    std::string reason;
    // The whole machine is the user's now: a large JPEG is encoded in bands
    // on every core.
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const bool ok = run_.Result != nullptr &&
                    SaveImageFile(*run_.Result, name, kDefaultOutputName, &reason, threads);
    run_.ResultUnsaved = !ok;
    if (ok) {
        AppendToRightList(QString::fromStdString(name));
        return;
    }
    // The name still goes into the right list, unchecked and in red, so the
    // user sees what was tried; the message says why it failed.
    RightList().Append(name, false, false);
    Dialogs::Get().Message(this, Q(FormatText(Lng().txtCannotSave, name, LocalizedError(reason))),
                           PlainCaption(Action("SaveResult1")->text()), {DialogButton::Ok},
                           MessageKind::Error);
}

void TFormMain::ClearResult1Click() {
    ClearImage(run_.Result.get());
    run_.DropFrameMap();
    run_.ResultPosition = 0;
    ShowImage(run_.Result.get(), false);
    ShowStatus(0, Q(Lng().kstproc), LeftList(), true);
}

void TFormMain::AppendToRightList(const QString& fileName) {
    RightList().Append(fileName.toStdString());
}

// --- Options menu -----------------------------------------------------------

void TFormMain::Options1Click() {
    run_.Steps.FormatNumbers = FirstNumberInFormat(run_.Steps.NumberFormat) != 0;
    Action("numformat1")->setChecked(run_.Steps.FormatNumbers);
    Action("Adapterlimage1")->setChecked(toolButton7_->isChecked());
    toolButton7_->setChecked(Action("Adapterlimage1")->isChecked());
    Action("SortList1")->setChecked(LeftList().IsSorted());
    Action("SortList2")->setChecked(RightList().IsSorted());
    Action("SixteenBits1")->setChecked(run_.Depth == 16);
}

void TFormMain::SixteenBits1Click() {
    run_.Depth = Action("SixteenBits1")->isChecked() ? 16 : 8;
    // The entry in the view shows at the depth a run would read it.
    if (!busy_ && !Action("ViewResult1")->isChecked()) {
        ShowListEntry(CurrentList().Current(), CurrentList());
    }
}

void TFormMain::SortList1Click() {
    LeftList().SetSorted(Action("SortList1")->isChecked());
}

void TFormMain::SortList2Click() {
    RightList().SetSorted(Action("SortList2")->isChecked());
}

// --- languages and help -----------------------------------------------------

void TFormMain::Translate1Click() {
    lngForm_->exec();
    // The status bar then speaks the new language too.
    ShowListEntry(LeftList().Current(), LeftList());
}

void TFormMain::About1Click() {
    formAbout_->exec();
}

void TFormMain::ApplyShippedLanguage(const char* fileName) {
    // A missing file changes nothing; one that cannot be read is reported.
    QString error;
    if (!ApplyLanguageFile(QString::fromStdString(UserLanguageFolder() + fileName), &error)) {
        Dialogs::Get().Message(this, error, PlainCaption(Action("Translation1")->text()),
                               {DialogButton::Ok}, MessageKind::Error);
    }
    ShowListEntry(LeftList().Current(), LeftList());
}

void TFormMain::En1Click() {
    ApplyShippedLanguage("en.lng");
}

void TFormMain::Fr1Click() {
    ApplyShippedLanguage("fr.lng");
}

void TFormMain::De1Click() {
    ApplyShippedLanguage("de.lng");
}

void TFormMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        // The texts built from the language strings, in the new language.
        setWindowTitle(Banner());
        ListBoxEnterTexts();
        // The zoom as it stands, not the 50% a language file holds.
        label100_->setText(Q(ZoomLabelText(trackBar1_->value())));
        if (panelGraph_ != nullptr) {
            panelGraph_->update();
        }
    }
}

// --- keys and clicks on bars ------------------------------------------------

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // Every key pressed in this window passes here before the focused
        // control sees it; a key travelling up the parents passes once.
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* focus = QApplication::focusWidget();
        if (widget != nullptr && widget->window() == this &&
            (widget == focus || (focus == nullptr && widget == this))) {
            FormKeyDown(key->key(), key->modifiers());
        }
        return false;
    }
    if (event->type() == QEvent::Resize && watched == scrollBox1_) {
        LayoutView();
    }
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == toolBar1_) {
            ToolBar1Click();
        } else if (watched == toolBar2_) {
            ToolBar2Click();
        } else if (watched == label100_) {
            Label100Click();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (!(modifiers & Qt::ControlModifier)) {
        return;
    }
    if (modifiers & Qt::AltModifier) {
        switch (key) {
            case Qt::Key_I:
                InvertCheckAllClick();
                break;
            case Qt::Key_K:
                CheckAllClick();
                break;
            case Qt::Key_U:
                UncheckAllClick();
                break;
            default:
                break;
        }
        return;
    }
    switch (key) {
        case Qt::Key_A:
            SelectallClick();
            break;
        case Qt::Key_I:
            InvertCheckSelectionClick();
            break;
        case Qt::Key_K:
            CheckSelectionClick();
            break;
        case Qt::Key_U:
            UncheckSelectionClick();
            break;
        default:
            break;
    }
}

bool TFormMain::IsMainWindowActive() const {
    // Before the window is first activated (and on a test's offscreen
    // screen) no window is active; the main window then counts as active.
    QWidget* active = QApplication::activeWindow();
    return active == nullptr || active == this || activating_;
}

void TFormMain::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

void TFormMain::ToolButtonAbortClick() {
    run_.PauseRequested = true;
    run_.StopRequested = true;
}

}  // namespace nocturo

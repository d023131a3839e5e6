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

#include "app/form_about.h"
#include "app/night_graph.h"
#include "app/qt_run_host.h"
#include "app/run_progress_bar.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/step_saving.h"
#include "engine/ui/form_factor.h"
#include "engine/ui/form_num_format.h"
#include "engine/ui/form_process.h"
#include "engine/ui/form_sample.h"
#include "engine/ui/form_video.h"
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
#include "widgets/dialogs.h"
#include "widgets/file_places.h"
#include "widgets/qt_text.h"

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
    BuildTrailTools();
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
    formVideo_ = new TFormVideo(this);

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
    progressBar_ = new RunProgressBar(this);
    statusBar()->addPermanentWidget(progressBar_);

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
        SaveSettings();
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

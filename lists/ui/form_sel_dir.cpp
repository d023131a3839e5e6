#include "lists/ui/form_sel_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/image_file.h"
#include "lang/language_strings.h"
#include "lists/ui/check_list_box.h"
#include "lists/ui/folder_model.h"
#include "lists/ui/local_path.h"
#include "widgets/busy_cursor.h"
#include "widgets/dialogs.h"

namespace nocturo {

// Gives every folder item the one cell size the browser sets (FitFolderGrid),
// so that a name longer than its cell is elided within it; without a cell,
// the items' own sizes (large icons).
class FolderCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize cell;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return cell.isValid() ? cell : QStyledItemDelegate::sizeHint(option, index);
    }
};

namespace {

// The process's current folder, its bytes kept.
QString WorkingFolder() {
    char* cwd = ::getcwd(nullptr, 0);
    const QString folder = cwd != nullptr ? PathFromBytes(cwd) : QString();
    std::free(cwd);
    return folder;
}

bool IsOpenableFolder(const QString& folder) {
    const std::string bytes = PathToBytes(folder);
    struct stat st {};
    return ::stat(bytes.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(bytes.c_str(), R_OK | X_OK) == 0;
}

bool OpenWithDesktop(const QString& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace

TFormSelDir::TFormSelDir(QWidget* parent) : QWidget(parent, Qt::Tool), opener_(OpenWithDesktop) {
    setObjectName("FormSelDir");
    setWindowTitle("Mask Directory");
    resize(573, 348);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // CoolBar1: the tool bar and the path combo.
    coolBar1_ = new QWidget(this);
    coolBar1_->setObjectName("CoolBar1");
    auto* coolLayout = new QHBoxLayout(coolBar1_);
    coolLayout->setContentsMargins(2, 2, 2, 2);
    coolLayout->setSpacing(4);
    toolBar2_ = new QToolBar(coolBar1_);
    toolBar2_->setObjectName("ToolBar2");
    toolBar2_->setIconSize(QSize(20, 20));
    coolLayout->addWidget(toolBar2_);
    cbPath_ = new QComboBox(coolBar1_);
    // Its items are the folders visited here, not texts a language file sets.
    cbPath_->setProperty("languageItems", false);
    cbPath_->setObjectName("cbPath");
    cbPath_->setEditable(true);
    cbPath_->setInsertPolicy(QComboBox::NoInsert);
    cbPath_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cbPath_->setMinimumContentsLength(20);
    coolLayout->addWidget(cbPath_, 1);
    layout->addWidget(coolBar1_);

    QStyle* style = this->style();
    auto addButton = [&](const char* name, const QString& hint, const QIcon& icon) {
        auto* button = new QToolButton(toolBar2_);
        button->setObjectName(name);
        button->setToolTip(hint);
        button->setIcon(icon);
        button->setAutoRaise(true);
        button->setFixedSize(33, 27);
        QAction* action = toolBar2_->addWidget(button);
        return std::pair{button, action};
    };
    auto [browse, browseAction] =
        addButton("btnBrowse", "Slelect Directories", style->standardIcon(QStyle::SP_DirOpenIcon));
    connect(browse, &QToolButton::clicked, this, &TFormSelDir::btnBrowseClick);
    auto [back, backAction] = addButton("btnBack", "Parent Directory",
                                        style->standardIcon(QStyle::SP_FileDialogToParent));
    connect(back, &QToolButton::clicked, this, &TFormSelDir::btnBackClick);
    toolBar2_->addSeparator();
    struct ViewButton {
        const char* name;
        const char* hint;
        QStyle::StandardPixmap icon;
        ViewStyle tag;
        bool visible;
    };
    const ViewButton viewButtons[] = {
        {"btnSmallIcons", "Show Browser with Small Icons", QStyle::SP_FileDialogListView,
         SmallIcons, true},
        {"btnLargeIcons", "Show Browser with Large Icons ", QStyle::SP_FileDialogContentsView,
         LargeIcons, true},
        {"btnList", "Show Browser as List", QStyle::SP_FileDialogListView, List, false},
        {"btnReport", "Show Browser as Report", QStyle::SP_FileDialogDetailedView, Report, false},
    };
    for (const ViewButton& v : viewButtons) {
        auto [button, action] = addButton(v.name, v.hint, style->standardIcon(v.icon));
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setProperty("tag", static_cast<int>(v.tag));
        button->setChecked(v.tag == SmallIcons);
        action->setVisible(v.visible);
        const int tag = v.tag;
        connect(button, &QToolButton::clicked, this, [this, tag] { btnLargeIconsClick(tag); });
    }
    toolBar2_->addSeparator();

    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName("PopupMenu1");
    struct Command {
        const char* name;
        const char* caption;
        const char* shortcut;
        void (TFormSelDir::*slot)();
    };
    const Command commands[] = {
        {"TestValidPictures1", "TestValidPictures", "Ctrl+T",
         &TFormSelDir::TestValidPictures1Click},
        {"CheckSelection", "Check Selection", "Ctrl+J", &TFormSelDir::CheckSelectionClick},
        {"UncheckSelection", "Uncheck Selection", "Ctrl+U", &TFormSelDir::UncheckSelectionClick},
        {"InvertCheckSelection", "Invert Check Selection", "Ctrl+I",
         &TFormSelDir::InvertCheckSelectionClick},
        {"CheckAll", "Check All", "Ctrl+Alt+J", &TFormSelDir::CheckAllClick},
        {"UnCheckAll", "UnCheck All", "Ctrl+Alt+U", &TFormSelDir::UnCheckAllClick},
        {"InvertCheckAll", "Invert Check All", "Ctrl+Alt+I", &TFormSelDir::InvertCheckAllClick},
        {"SelectAll", "Select All", "Ctrl+A", &TFormSelDir::SelectAllClick},
        {"UnselectAll", "Unselect All", "", &TFormSelDir::UnselectAllClick},
    };
    for (const Command& c : commands) {
        QAction* action = popupMenu1_->addAction(c.caption);
        action->setObjectName(c.name);
        // The keys are shown in the menu; outside it the window's own keys
        // and the main menu's shortcuts answer them.
        action->setShortcut(QKeySequence(c.shortcut));
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, c.slot);
    }
    toolButtonCheck_ = new QToolButton(toolBar2_);
    toolButtonCheck_->setObjectName("ToolButtonCheck");
    toolButtonCheck_->setToolTip("Check and Select Files..");
    toolButtonCheck_->setIcon(style->standardIcon(QStyle::SP_DialogApplyButton));
    toolButtonCheck_->setAutoRaise(true);
    toolButtonCheck_->setFixedSize(45, 27);
    toolButtonCheck_->setMenu(popupMenu1_);
    toolButtonCheck_->setPopupMode(QToolButton::MenuButtonPopup);
    connect(toolButtonCheck_, &QToolButton::clicked, this, &TFormSelDir::ToolButtonCheckClick);
    toolBar2_->addWidget(toolButtonCheck_);
    toolBar2_->addSeparator();

    // The folder view and the file list.
    splitter1_ = new QSplitter(Qt::Horizontal, this);
    splitter1_->setObjectName("Splitter1");
    splitter1_->setHandleWidth(8);
    splitter1_->setChildrenCollapsible(false);
    model_ = new FolderModel(this);
    listView_ = new QStackedWidget(splitter1_);
    listView_->setObjectName("ListView");
    iconView_ = new QListView(listView_);
    iconView_->setModel(model_);
    iconView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The cells fit the widest name (FitFolderGrid); a name wider than the
    // pane keeps both ends, so "frames" and "frames_long" never look alike.
    folderCells_ = new FolderCellDelegate(iconView_);
    iconView_->setItemDelegate(folderCells_);
    iconView_->setTextElideMode(Qt::ElideMiddle);
    connect(model_, &QAbstractItemModel::modelReset, this, &TFormSelDir::FitFolderGrid);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setMovement(QListView::Static);
    reportView_ = new QTreeView(listView_);
    reportView_->setModel(model_);
    reportView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reportView_->setTextElideMode(Qt::ElideMiddle);
    reportView_->setRootIsDecorated(false);
    reportView_->setItemsExpandable(false);
    reportView_->setUniformRowHeights(true);
    reportView_->setSortingEnabled(false);
    for (const auto& [column, width] : {std::pair{0, 175}, {1, 75}, {2, 150}, {3, 100}, {4, 75}}) {
        reportView_->setColumnWidth(column, width);
    }
    listView_->addWidget(iconView_);
    listView_->addWidget(reportView_);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(reportView_)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &TFormSelDir::ListViewDblClick);
    }
    checkListBox1_ = new CheckListBox(splitter1_);
    checkListBox1_->setObjectName("CheckListBox1");
    checkListBox1_->SetList(&files_);
    splitter1_->addWidget(listView_);
    splitter1_->addWidget(checkListBox1_);
    // Both panes widen with the window, the file list twice as much.
    splitter1_->setStretchFactor(0, 1);
    splitter1_->setStretchFactor(1, 2);
    splitter1_->setSizes({161, 573 - 161 - 8});
    layout->addWidget(splitter1_, 1);

    // Panel1: the mask, the filter and the buttons.
    panel1_ = new QWidget(this);
    panel1_->setObjectName("Panel1");
    panel1_->setFixedHeight(65);
    auto* grid = new QGridLayout(panel1_);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    auto* label1 = new QLabel("FileName Mask:", panel1_);
    label1->setObjectName("Label1");
    editName_ = new QLineEdit(panel1_);
    editName_->setObjectName("EditName");
    label1->setBuddy(editName_);
    auto* label3 = new QLabel("Extension Filter:", panel1_);
    label3->setObjectName("Label3");
    filterComboBox1_ = new QComboBox(panel1_);
    filterComboBox1_->setObjectName("FilterComboBox1");
    label3->setBuddy(filterComboBox1_);
    bitBtnOk_ = new QPushButton(style->standardIcon(QStyle::SP_DialogOkButton), "OK", panel1_);
    bitBtnOk_->setObjectName("BitBtnOk");
    bitBtnOk_->setAutoDefault(false);
    bitBtnClose_ =
        new QPushButton(style->standardIcon(QStyle::SP_DialogCloseButton), "Close", panel1_);
    bitBtnClose_->setObjectName("BitBtnClose");
    bitBtnClose_->setAutoDefault(false);
    for (QPushButton* button : {bitBtnOk_, bitBtnClose_}) {
        button->setMinimumWidth(90);
    }
    grid->addWidget(label1, 0, 0);
    grid->addWidget(editName_, 0, 1);
    grid->addWidget(bitBtnOk_, 0, 3);
    grid->addWidget(label3, 1, 0);
    grid->addWidget(filterComboBox1_, 1, 1);
    grid->addWidget(bitBtnClose_, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 16);
    layout->addWidget(panel1_);

    connect(cbPath_, &QComboBox::activated, this, &TFormSelDir::cbPathClick);
    connect(editName_, &QLineEdit::textChanged, this, &TFormSelDir::EditNameChange);
    connect(filterComboBox1_, &QComboBox::activated, this, &TFormSelDir::FilterComboBox1Select);
    connect(bitBtnOk_, &QPushButton::clicked, this, &TFormSelDir::BitBtnOkClick);
    connect(bitBtnClose_, &QPushButton::clicked, this, &TFormSelDir::BitBtnCloseClick);
    // Key preview, the Enter keys of the path combo and the folder view, and
    // double clicks on the file list all pass through eventFilter.
    qApp->installEventFilter(this);
    // A tool window shares its activation with its parent as far as
    // QWidget::isActiveWindow is concerned; the focus window tells them apart.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        emit activeChanged(focus != nullptr && focus == windowHandle());
    });
    FormCreate();
}

TFormSelDir::~TFormSelDir() {
    qApp->removeEventFilter(this);
    checkListBox1_->SetList(nullptr);
}

void TFormSelDir::FormCreate() {
    // Centred on the screen it opens on.
    if (QScreen* screen = QApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    btnLargeIconsClick(SmallIcons);
    {
        const QSignalBlocker block(editName_);
        editName_->setText("*");
    }
    for (const char* filter : kBrowserFilters) {
        filterComboBox1_->addItem(filter);
    }
    filterComboBox1_->setCurrentIndex(0);
    // The process's current folder may have been removed meanwhile, or be
    // closed to this user.
    const QString start = WorkingFolder();
    OpenFolder(!start.isEmpty() && IsOpenableFolder(start) ? start : QDir::homePath());
    cbPath_->setFocus();
    cbPath_->lineEdit()->selectAll();
}

QStringList TFormSelDir::History() const {
    QStringList paths;
    for (int i = 0; i < cbPath_->count(); ++i) {
        paths << cbPath_->itemText(i);
    }
    return paths;
}

// --- folders ------------------------------------------------------------------

bool TFormSelDir::OpenFolder(const QString& path) {
    QString typed = path.trimmed();
    if (typed == "~" || typed.startsWith("~/")) {
        typed = QDir::homePath() + typed.mid(1);
    }
    // Paths are put together and checked as text and bytes, never through
    // Qt's file classes, which lose the bytes of names that are not UTF-8.
    const QString folder =
        QDir::cleanPath(typed.startsWith('/') ? typed : WorkingFolder() + '/' + typed);
    struct stat st {};
    if (typed.isEmpty() || ::stat(PathToBytes(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Dialogs::Get().Message(this,
                               QString::fromStdString(FormatText(Lng().txtFolderMissing,
                                                                 ShownPath(typed).toStdString())),
                               windowTitle(), {DialogButton::Ok}, MessageKind::Error);
        cbPath_->setEditText(currentFolder_);
        return false;
    }
    if (!IsOpenableFolder(folder)) {
        Dialogs::Get().Message(this,
                               QString::fromStdString(FormatText(Lng().txtFolderUnreadable,
                                                                 ShownPath(folder).toStdString())),
                               windowTitle(), {DialogButton::Ok}, MessageKind::Error);
        cbPath_->setEditText(currentFolder_);
        return false;
    }

    {
        const BusyCursor busy;
        currentFolder_ = folder;
        model_->SetFolder(folder);
        const int known = cbPath_->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (known < 0) {
            cbPath_->insertItem(0, folder);
            cbPath_->setCurrentIndex(0);
        } else {
            cbPath_->setCurrentIndex(known);
        }
        cbPath_->setEditText(folder);
        SelectFolderItem(QString());
    }
    FillFileList();
    return true;
}

void TFormSelDir::SelectFolderItem(const QString& path) {
    QModelIndex chosen = model_->index(0, 0);
    for (int row = 0; !path.isEmpty() && row < model_->rowCount(); ++row) {
        if (model_->FilePath(model_->index(row, 0)) == path) {
            chosen = model_->index(row, 0);
            break;
        }
    }
    if (!chosen.isValid()) {
        return;
    }
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(reportView_)}) {
        view->setCurrentIndex(chosen);
        view->scrollTo(chosen);
    }
}

QAbstractItemView* TFormSelDir::ActiveView() const {
    return viewStyle_ == Report ? static_cast<QAbstractItemView*>(reportView_)
                                : static_cast<QAbstractItemView*>(iconView_);
}

void TFormSelDir::btnBrowseClick() {
    const QString chosen = Dialogs::Get().Folder(
        this, QString::fromStdString(Lng().txtSelectDirectory), currentFolder_);
    if (!chosen.isEmpty()) {
        OpenFolder(chosen);
    }
}

void TFormSelDir::btnBackClick() {
    if (currentFolder_.isEmpty() || currentFolder_ == "/") {
        QApplication::beep();
        return;
    }
    OpenFolder(QDir::cleanPath(currentFolder_ + "/.."));
}

void TFormSelDir::btnLargeIconsClick(int tag) {
    viewStyle_ = static_cast<ViewStyle>(tag);
    for (QToolButton* button : toolBar2_->findChildren<QToolButton*>()) {
        const QVariant buttonTag = button->property("tag");
        if (buttonTag.isValid() && buttonTag.toInt() == tag) {
            button->setChecked(true);
        }
    }
    switch (viewStyle_) {
        case LargeIcons:
            folderCells_->cell = QSize();
            iconView_->setViewMode(QListView::IconMode);
            iconView_->setIconSize(QSize(32, 32));
            iconView_->setGridSize(QSize(76, 64));
            iconView_->setWordWrap(true);
            break;
        case SmallIcons:
            iconView_->setViewMode(QListView::ListMode);
            iconView_->setFlow(QListView::LeftToRight);
            iconView_->setWrapping(true);
            iconView_->setWordWrap(false);
            iconView_->setIconSize(QSize(16, 16));
            break;
        case List:
            iconView_->setViewMode(QListView::ListMode);
            iconView_->setFlow(QListView::TopToBottom);
            iconView_->setWrapping(true);
            iconView_->setWordWrap(false);
            iconView_->setIconSize(QSize(16, 16));
            break;
        case Report:
            break;
    }
    iconView_->setMovement(QListView::Static);
    FitFolderGrid();
    listView_->setCurrentWidget(viewStyle_ == Report ? static_cast<QWidget*>(reportView_)
                                                     : static_cast<QWidget*>(iconView_));
}

void TFormSelDir::FitFolderGrid() {
    if (viewStyle_ != SmallIcons && viewStyle_ != List) {
        return;  // large icons wrap their names in cells of their own
    }
    // Cells as wide as the widest name, but no wider than the pane: every
    // name whole where there is room, in columns that line up.
    const QFontMetrics metrics(iconView_->font());
    int widest = 0;
    for (int row = 0; row < model_->rowCount(); ++row) {
        widest =
            std::max(widest, metrics.horizontalAdvance(model_->index(row, 0).data().toString()));
    }
    constexpr int kIconAndGaps = 16 + 16;
    // A wrapping view keeps room for a vertical scroll bar, and starts a new
    // row (leaving one empty) for a cell wider than what remains.
    const int scrollBar =
        iconView_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, iconView_);
    const int room =
        std::max(40, iconView_->viewport()->width() - scrollBar - 2 * iconView_->spacing() - 2);
    const int height = std::max(16, metrics.height()) + 4;
    const QSize cell(std::min(widest + kIconAndGaps, room), height);
    if (folderCells_->cell != cell || iconView_->gridSize() != cell) {
        folderCells_->cell = cell;
        iconView_->setGridSize(cell);  // lays the items out again
    }
}

void TFormSelDir::cbPathClick(int index) {
    if (index >= 0 && index < cbPath_->count()) {
        OpenFolder(cbPath_->itemText(index));
    }
}

void TFormSelDir::cbPathKeyDown() {
    QString typed = cbPath_->currentText().trimmed();
    if (typed.endsWith(':')) {
        typed += '/';
    }
    OpenFolder(typed);
}

void TFormSelDir::ListViewDblClick(const QModelIndex& index) {
    if (model_->IsFolder(index)) {
        OpenFolder(model_->FilePath(index));
    }
}

bool TFormSelDir::ListViewKeyDown(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        ListViewDblClick(ActiveView()->currentIndex());
        return true;
    }
    if (key == Qt::Key_Backspace) {
        btnBackClick();
        return true;
    }
    return false;
}

// --- window events ----------------------------------------------------------------

void TFormSelDir::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // FormShow: every showing reads the folder afresh.
    FillFileList();
}

void TFormSelDir::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && model_ != nullptr) {
        model_->LanguageChanged();
    }
}

void TFormSelDir::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit activeChanged(false);
}

void TFormSelDir::closeEvent(QCloseEvent* event) {
    // Form1Close: the close box empties the list; the next showing fills it.
    files_.Clear();
    QWidget::closeEvent(event);
}

bool TFormSelDir::eventFilter(QObject* watched, QEvent* event) {
    // The application's events all pass here (the filter sees the keys
    // first): the folder view's resizes among them.
    if (event->type() == QEvent::Resize && watched == iconView_->viewport()) {
        FitFolderGrid();
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != this) {
            return false;
        }
        // The window sees keys before its controls.
        if (FormKeyDown(key->key(), key->modifiers())) {
            return true;
        }
        if (key->key() == Qt::Key_F5 && key->modifiers() == Qt::NoModifier) {
            Refresh();
            return true;
        }
        if ((watched == cbPath_ || watched == cbPath_->lineEdit()) &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            cbPathKeyDown();
            return true;
        }
        if ((watched == iconView_ || watched == reportView_) && ListViewKeyDown(key->key())) {
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonDblClick && watched == checkListBox1_->viewport()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        CheckListBox1DblClick(checkListBox1_->RowAt(mouse->position().toPoint()));
        return true;
    }
    return false;
}

bool TFormSelDir::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (!(modifiers & Qt::ControlModifier)) {
        return false;
    }
    if (modifiers & Qt::AltModifier) {
        switch (key) {
            case Qt::Key_I:
                InvertCheckAllClick();
                return true;
            case Qt::Key_K:
                CheckAllClick();
                return true;
            case Qt::Key_T:
                TestValidPictures1Click();
                return true;
            case Qt::Key_U:
                UnCheckAllClick();
                return true;
            default:
                return false;
        }
    }
    switch (key) {
        case Qt::Key_A:
            SelectAllClick();
            return true;
        case Qt::Key_I:
            InvertCheckSelectionClick();
            return true;
        case Qt::Key_K:
            CheckSelectionClick();
            return true;
        case Qt::Key_U:
            UncheckSelectionClick();
            return true;
        default:
            return false;
    }
}

}  // namespace nocturo

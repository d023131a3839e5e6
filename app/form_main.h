#pragma once
// TFormMain, the program's main window: the left list of pictures to process,
// the right list of pictures the program wrote, the view, the menus and tool
// bars. It owns the result buffer and the state the commands share. The
// commands themselves live in the Qt-free libraries; the handlers here only
// ask the user, call them and show the outcome.

#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/combine.h"
#include "core/rgb_image.h"
#include "engine/batch_command.h"
#include "engine/run_state.h"
#include "lists/list_pair.h"
#include "lists/recent_files.h"

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QSplitter;
class QToolBar;
class QToolButton;

namespace nocturo {

class CheckListBox;
class QtRunHost;
class RunProgressBar;
class ScrollBox;
class StatusPanels;
class TFormCreateImg;

class TFormFactor;

class TFormAbout;
class TFormEdit;
class TFormNumFormat;
class TFormProcess;
class TLngForm;

class TFormSelDir;

class TFormSearch;
struct SearchParams;

class TFormSample;
class TFormVideo;

class TPanelGraph;
class ViewAreaPicker;
class ViewDecoder;
class tFlyImage;

class TFormMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    /// Reads the recent lists and the dialogs' folders from the settings
    /// file and writes them there from now on; without a call (tests)
    /// nothing is kept between sessions.
    void SetSettingsFile(const std::string& path);
    const RecentFiles& RecentLists() const { return recentLists_; }
    /// A list file was loaded or saved: it heads "Recent lists".
    void RememberRecentList(const QString& fileName);
    /// Loads a list from "Recent lists" as "Load current list" does.
    void OpenRecentList(const QString& fileName);
    RunProgressBar* ProgressBar() const { return progressBar_; }

    /// Fills the left list with pictures named on the command line or
    /// dropped on it, checked and enabled, as "New list" does.
    void OpenFiles(const QStringList& files);

    // --- state shared by the commands ---

    ListPair& Lists() { return lists_; }
    FileList& LeftList() { return lists_.Left(); }
    FileList& RightList() { return lists_.Right(); }
    /// The list the list commands act on.
    FileList& CurrentList() { return lists_.CurrentList(); }
    /// "Left List" or "Right List", the caption of the list questions.
    QString ListTitle() const;

    /// The result buffer with its flags and the step-numbering settings.
    RunState& Run() { return run_; }
    RgbImage& Result() { return *run_.Result; }
    int ResultPosition() const { return run_.ResultPosition; }
    void SetResultPosition(int position) { run_.ResultPosition = position; }

    /// True while a run or another command that walks a list with events
    /// pumped between files is active. The commands that would fight it
    /// over the left list or the result buffer are disabled meanwhile.
    bool Busy() const { return busy_; }
    /// A close request arrived during such a command: it stops after the
    /// current file and the window closes once it has returned.
    bool ClosePending() const { return closePending_; }

    /// The option windows, created once with the main window.
    TFormNumFormat* FormNumFormat() const { return formNumFormat_; }
    TFormProcess* FormProcess() const { return formProcess_; }
    TFormCreateImg* FormCreateImg() const { return formCreateImg_; }

    /// Opens the Info Image window for another window: hands it the width,
    /// height and pixel format code of the picture in the view, registers
    /// callBack as the action run after its "Apply" and "Create..", and
    /// shows it. The point it shows is left as it was.
    void OpenCreateImgFor(std::function<void()> callBack);

    TFormFactor* FormFactor() const { return formFactor_; }

    TLngForm* LngForm() const { return lngForm_; }
    TFormEdit* FormEdit() const { return formEdit_; }
    TFormAbout* FormAbout() const { return formAbout_; }

    TFormSearch* FormSearch() const { return formSearch_; }

    TFormSample* FormSample() const { return formSample_; }
    /// The settings of "Make video from list...".
    TFormVideo* FormVideo() const { return formVideo_; }

    // --- the view ---

    /// Shows the file of entry `index` of `list`; a file that fails to load
    /// disables its entry.
    void ShowListEntry(int index, FileList& list);
    /// Puts a copy of image (or the empty image for null) into the view.
    void ShowImage(const RgbImage* image, bool force);
    /// Places and sizes the picture control for the current mode.
    void LayoutView();
    /// Writes the position counter and the message into the status bar.
    void ShowStatus(int position, const QString& text, const FileList& list, bool ok);

    bool LiveDisplay() const { return liveDisplay_; }
    void SetLiveDisplay(bool on) { liveDisplay_ = on; }
    double ZoomFactor() const { return zoomFactor_; }
    int MarkedX() const { return markedX_; }
    int MarkedY() const { return markedY_; }
    int MarkedValue() const { return markedValue_; }
    bool StretchMode() const;
    /// The picture the view shows.
    const RgbImage& ViewPicture() const;
    /// Nanoseconds the view took to draw its last changed picture.
    qint64 ViewRenderCost() const;

    // --- entry states with the window's repaint and event pumping ---

    void EnableEntry(int index, FileList& list);
    void DisableEntry(int index, FileList& list);
    /// Shows a copy of the whole left list in the right list's place while
    /// the moving maximum holds its window in the left list; null shows the
    /// right list again.
    void ShowListCopy(FileList* copy);
    /// Appends a name to the right list (pictures the program wrote).
    void AppendToRightList(const QString& fileName);

    /// The status bar (for the commands' own texts and for tests).
    StatusPanels* StatusBar1() const { return statusBar1_; }
    /// A menu item or tool bar action by its name.
    QAction* Action(const QString& name) const;

    // --- list files and the mask directory browser ---

    /// Writes CurrentList() into a list file; a failure is shown in a
    /// message box and leaves the old file as it was. Returns success.
    bool SaveListFile(const QString& fileName);
    /// Reads a list file into CurrentList(), after "Clear List?" when it has
    /// entries (Cancel appends). A file that cannot be read is shown in a
    /// message box and leaves the list untouched. Returns success.
    bool LoadListFile(const QString& fileName);
    /// The mask directory browser, created hidden with the window.
    TFormSelDir* FormSelDir() const { return formSelDir_; }
    /// The browser's receiver: appends its checked files to the left list.
    void AddBrowserFiles();

    // --- night graph and frame map ---

    /// The night graph panel below the view.
    TPanelGraph* PanelGraph() const { return panelGraph_; }
    /// Selects the left-list entries that made a pixel of the picture
    /// rectangle (x0, y0)-(x1, y1) at least BehindMargin() levels brighter
    /// than the rectangle's median, and scrolls to the first; the number
    /// selected. What a drag after "Select the frames behind this area" does.
    int SelectFramesBehindArea(int x0, int y0, int x1, int y1);
    /// The view waits for the rectangle of "Select the frames behind this
    /// area".
    bool PickingArea() const;

    // --- cleaning a night (form_main_clean.cpp) ---

    /// Levels above an area's median brightness that a pixel must reach for
    /// "Select the frames behind this area" to take its frame; remembered
    /// until the program ends.
    int BehindMargin() const { return behindMargin_; }
    void SetBehindMargin(int levels);
    /// "Remove from these frames in this area": the selected left-list
    /// entries leave the last area drawn, grown by kExclusionGrowth, out of
    /// the next runs. The number of entries given the area.
    int ExcludeSelectedInArea();
    /// Clears the excluded areas of the selected entries, or of all; the
    /// number of entries cleared.
    int ClearExcludedAreas(bool all);

  public slots:
    // Files
    void NewDirectory1Click();
    void NewList1Click();
    void LoadList1Click();
    void SaveList1Click();
    void ViewResult1Click();
    void ClearResult1Click();
    void SaveResult1Click();
    /// "Make video from list...": the checked entries of the current list,
    /// in order, into an MP4 video, after its settings and its name.
    void MakeVideo1Click();
    void Quit1Click();
    // Current List
    void Testvalidpictures1Click();
    void Redirect1Click();
    void SortbyNum1Click();
    void CheckSelectionClick();
    void UncheckSelectionClick();
    void InvertCheckSelectionClick();
    void CheckAllClick();
    void UncheckAllClick();
    void InvertCheckAllClick();
    void ClearSelection1Click();
    void ClearList1Click();
    void SelectallClick();
    void UnselectAllClick();
    void InvertSelectAllClick();
    void Sendtobottom1Click();
    // Process (Left Column) / Processing...
    void GetMAX1Click();
    void GetMaxandSave1Click();
    void GetMAxThreshold1Click();
    void GetMaxTrhesholdandSave1Click();
    void Getmin1Click();
    void GetMinAndSave1Click();
    void GetMaxGray1Click();
    void GetMaxGrayandSavesteps1Click();
    void GetMinGray1Click();
    void GetMinGrayandSavesteps1Click();
    void Add1Click();
    void Sub1Click();
    void CreateImage1Click();

    // Process (Left Column)
    void NewBatchOperations1Click();

    // Process (Left Column) / Search / Crop and MeteorMax...
    void Search1Click();
    void SearchSave1Click();
    void Crop1Click();
    void CropSave1Click();
    void MaximumSearch1Click();

    // Process (Left Column)
    void MovingMax1Click();
    // Options
    void Options1Click();
    void ProcessNumerotation1Click();
    void numformat1Click();
    void Adapterlimage1Click();
    void SortList1Click();
    void SortList2Click();
    void EnableFlyOverMouse1Click();
    /// "16 bits per channel": the runs keep 16 bits (RunState::Depth) and
    /// the view shows files at the depth they are loaded at.
    void SixteenBits1Click();

    void Translate1Click();
    // ?
    void About1Click();
    void En1Click();
    void Fr1Click();
    void De1Click();
    // List tool bars
    void ToolBar1Click();
    void ToolBar2Click();
    void ClearSelected1Click();
    void ToolButtonDelete2Click();
    void ToolButtonCopyList1Click();
    void ToolButtonCopyList2Click();
    void ToolButtonUp1Click();
    void ToolButtonDown1Click();
    void ToolButtonUp2Click();
    void ToolButtonDown2Click();
    void ToolButtonSwapClick();
    // Night graph and frame map
    void NightGraph1Click();
    void RememberFrames1Click();
    void SelectFramesBehind1Click();
    void SaveFrameMap1Click();
    void BehindMargin1Click();
    void RemoveInArea1Click();
    void ClearExcluded1Click();
    void ClearAllExcluded1Click();
    void SaveGraphCsv1Click();
    // View tool bar
    void ToolButtonAbortClick();
    void ToolButton9Click();
    void ToolButton7Click();
    void TrackBar1Change();
    void Label100Click();
    /// Ctrl + wheel over the view: zoom mode (left from stretch mode at the
    /// zoom it showed) at the next wheel position, the picture point under
    /// the pointer kept in place; the track bar follows.
    void ScrollBox1ZoomWheel(int angleDelta, QPoint pointer);
    // The picture
    /// Refreshes the Info Image window from the picture in the view and the
    /// marked point, with ApplyInfoPoint as its call-back, and opens it.
    void Image1Click();
    /// The Info Image window's call-back: its point becomes the marked
    /// point, and the right list's current entry is shown.
    void ApplyInfoPoint();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Start-up, in the order the window is built.
    void BuildLayout();
    void BuildMenus();
    void BuildToolBars();
    void FormCreate();

    /// Decides whether the window may close; asks to save an unsaved result.
    bool FormCloseQuery();
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    // List handlers' shared steps.
    void ListBoxEnter(ListSide side);
    /// The texts that name the current list ("Load LEFT current list"...).
    void ListBoxEnterTexts();
    void ListBoxClick(ListSide side, int index);
    void FilesDropped(ListSide side, const QStringList& files);
    void TestPictures();
    /// Runs a command that acts on the current list and shows the outcome.
    void ShowCurrentEntry(FileList& list);
    CheckListBox* ListBoxOf(const FileList& list) const;
    /// Lets pending window events run, as the long commands do between files.
    void ProcessPendingEvents();

    /// Runs a command that pumps events between files, with the commands
    /// that would fight it disabled. A second start while one is active is
    /// ignored. A close request that came meanwhile is carried out after it.
    void RunExclusive(const std::function<void()>& command);
    void SetBusy(bool busy);
    /// A "Processing..." command: the run over the left list, with or
    /// without step files.
    void RunStackingCommand(ImageOperation operation, bool saveSteps);
    /// "En-English", "Fr-Français", "De-Deutsch": a shipped file of the
    /// user folder.
    void ApplyShippedLanguage(const char* fileName);
    /// Asks for the AddMaxThreshold threshold; false on Cancel.
    bool AskThreshold();
    /// The "Search Parameters:" window, and its "Clear Right List".
    void CreateSearchWindow();
    void SearchClearRightList();
    /// A search command over the left list; withOutput asks for the
    /// output first.
    void RunSearchCommand(bool (*operation)(RgbImage&, const SearchParams&, bool), bool withOutput);
    bool IsMainWindowActive() const;

    // The night graph, the frame map and the view's context menu, added to
    // the window after its menus.
    void BuildNightTools();
    // Gap filling and the fades (form_main_trails.cpp).
    void BuildTrailTools();
    void GapFraction1Click();
    void SkyMask1Click();
    void FadeIn1Click();
    void FadeOut1Click();
    void Comet1Click();
    void FadeMinimum1Click();
    void AskFadeFrames(const char* name, int32_t& frames);
    void ShowNumberRefused(const QString& value, const QString& low, const QString& high);
    void GraphEntryClicked(int index);
    void GraphRangeSelected(int first, int last);
    /// The graph's measuring, shown in the run progress bar while no
    /// command holds the window.
    void GraphMeasuring(int done, int total, bool running);
    void BuildCleanTools();
    void UpdateCleanActions();
    void AreaPicked(int x0, int y0, int x1, int y1);
    void ArmAreaPicker();
    void BrightFramesUnchecked(int count, int first);
    void ShowExcludedAreas(const FileList& list, int index);
    void PopupMenuViewShow(const QPoint& pos);
    /// The readout's mention of the frame behind picture pixel (x, y);
    /// empty without a frame map.
    QString FrameReadout(int x, int y) const;

    /// A camera RAW entry: its quick picture (LoadRawPreview, scaled to the
    /// frame's size) goes into the view at once and the full frame is
    /// decoded on the view decoder's thread. False when there is no quick
    /// picture: the entry is then loaded as any other.
    bool ShowRawPreview(int index, FileList& list);
    /// The view decoder's full frame arrived (on the GUI thread): it
    /// replaces the quick picture if the view still shows that, or the
    /// entry is disabled as a failed load.
    void ViewDecodeReady();

    // The view's mouse events.
    void Image1MouseMove(int x, int y);
    void Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    /// A picture was loaded into the view: the Info Image window, while it
    /// is visible, follows it.
    void RefreshInfoImageIfVisible();

  public:
    // The fly-over preview: entering the picture shows the batch window's
    // processed picture, leaving it the unprocessed one.
    void Image1MouseEnter();
    void Image1MouseLeave();

  private:
    /// Runs a batch command of the batch window on the window's lists,
    /// result buffer and view, as one command that owns them meanwhile.
    void RunBatchWindowCommand(const BatchRequest& request, BatchMode mode,
                               BatchPreviewCache& cache);

    void BuildRecentListsMenu(QMenu* files);
    void FillRecentListsMenu();
    void ClearRecentLists1Click();
    void SaveSettings() const;

    QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                       const QKeySequence& shortcut = {}, const char* iconName = nullptr);
    QToolButton* AddToolButton(QToolBar* bar, const char* name, const QString& hint,
                               QAction* action);

    ListPair lists_;
    RunState run_;
    std::unique_ptr<QtRunHost> host_;
    bool busy_ = false;
    bool closePending_ = false;
    bool closeConfirmed_ = false;
    /// Actions disabled by SetBusy(true), to be enabled again afterwards.
    std::vector<QAction*> disabledWhileBusy_;

    /// The AddMaxThreshold threshold last typed, on the 0..255 scale (at 8
    /// bits MaxThreshold itself).
    int32_t threshold_ = 0;
    bool liveDisplay_ = true;
    double zoomFactor_ = 1.0;
    int markedX_ = -1;
    int markedY_ = -1;
    int markedValue_ = -1;

    std::map<QString, QAction*> actions_;

    QSplitter* splitter1_ = nullptr;
    QSplitter* splitter2_ = nullptr;
    QWidget* panel1_ = nullptr;
    QWidget* panel2_ = nullptr;
    QWidget* panel3_ = nullptr;
    QToolBar* toolBar1_ = nullptr;
    QToolBar* toolBar2_ = nullptr;
    QToolBar* toolBar3_ = nullptr;
    CheckListBox* listBox1_ = nullptr;
    CheckListBox* listBox2_ = nullptr;
    ScrollBox* scrollBox1_ = nullptr;
    tFlyImage* image1_ = nullptr;
    StatusPanels* statusBar1_ = nullptr;
    QToolButton* toolButtonFocus1_ = nullptr;
    QToolButton* toolButtonFocus2_ = nullptr;
    QToolButton* toolButton7_ = nullptr;
    QToolButton* toolButton1_ = nullptr;
    QSlider* trackBar1_ = nullptr;
    QLabel* label100_ = nullptr;
    QAction* trackBar1Action_ = nullptr;  // shows or hides the track bar in its bar
    QAction* label100Action_ = nullptr;
    QMenu* options1_ = nullptr;
    QMenu* recentLists1_ = nullptr;
    QAction* clearRecentLists1_ = nullptr;
    RecentFiles recentLists_;
    std::string settingsFile_;
    RunProgressBar* progressBar_ = nullptr;

    TFormNumFormat* formNumFormat_ = nullptr;
    TFormProcess* formProcess_ = nullptr;
    TFormCreateImg* formCreateImg_ = nullptr;

    TFormFactor* formFactor_ = nullptr;
    QToolButton* enableFlyOverMouse2_ = nullptr;

    TFormEdit* formEdit_ = nullptr;
    TLngForm* lngForm_ = nullptr;
    TFormAbout* formAbout_ = nullptr;

    TFormSelDir* formSelDir_ = nullptr;
    /// Set while AddBrowserFiles brings the window to the front: the window
    /// manager activates it later, but the command acts as the active window.
    bool activating_ = false;

    TFormSearch* formSearch_ = nullptr;

    TFormSample* formSample_ = nullptr;
    TFormVideo* formVideo_ = nullptr;
    CheckListBox* listBoxCopy_ = nullptr;  // the moving maximum's list copy

    /// The result buffer's generation the view shows, and the picture
    /// control's generation it was shown in; 0 while the view shows no
    /// result. The frame readout is for that result only.
    uint64_t viewResultGeneration_ = 0;
    uint64_t viewPictureGeneration_ = 0;

    TPanelGraph* panelGraph_ = nullptr;
    QMenu* popupMenuView_ = nullptr;
    ViewAreaPicker* areaPicker_ = nullptr;
    int behindMargin_ = kBehindMarginDefault;
    bool pickingToRemove_ = false;
    /// The corners of the last area drawn on the picture.
    std::optional<std::array<int, 4>> lastArea_;

    /// Full RAW frames for the view, decoded off the GUI thread.
    std::unique_ptr<ViewDecoder> viewDecoder_;
    /// The request whose frame the view waits for (0: none), the list and
    /// entry it is for, and the picture control's generation that shows its
    /// quick picture: any other picture shown meanwhile makes it stale.
    uint64_t viewDecodeTicket_ = 0;
    FileList* viewDecodeList_ = nullptr;
    int viewDecodeIndex_ = -1;
    std::string viewDecodeName_;
    uint64_t viewDecodeGeneration_ = 0;

  public:
    /// Whether the view still waits for a full RAW frame (for tests).
    bool ViewDecodePending() const { return viewDecodeTicket_ != 0; }
};

}  // namespace nocturo

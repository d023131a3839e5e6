#include "app/help_text.h"

namespace nocturo {

namespace {

// Lines never start with blanks: language files keep no outer blanks, and
// the text must come back unchanged from a file written by the program.
const char kHelpText[] = R"help(***** NOCTURO *****
Nocturo - star trails from a night of frames
version 2.5.xx - 2016-02-10
A reimplementation for Linux (C++ and Qt) of a star-trail stacker for Windows.
Credits: the Nocturo developers, and the photographers who sent frames and ideas.
Terms of use: Nocturo is free to use, copy and share. It comes without any warranty:
keep a copy of your original frames; Nocturo never changes them, but disks fail.

***** Quick Manual in few words: *****
1. Fill the left list: "Files" > "New list (Unlimited)" (Ctrl+F) browses a folder
of any size, "New list (Win Explorer...)" (Ctrl+N) picks files, or drop files
or folders on a list.
2. Check the frames to use ("Current List" > "Check All" or "Check Selection").
3. Choose a process in "Process (Left Column)", for instance "Processing..." >
"AddMax.." for star trails.
4. Look at the result ("Files" > "Show Result...") and save it with "Save Result
as..." (Ctrl+S).
The pictures that a process writes appear in the right list; "Swap List1 <> List2"
makes them the input of the next process.

*****  How that works?   *****
Every process walks the left list from top to bottom and takes each entry that
is checked and enabled. Each picture is loaded and merged pixel by pixel into
one image in memory, the result. The view and the status bar follow the run.
A picture that cannot be loaded is unchecked and shown in red: later runs skip
it. At the end one message tells how many files were in error.
"Abort Process.." (the red button) pauses the run and asks whether to stop.
All pixel arithmetic is done with whole numbers, so a result is the same on
every computer.

***** Available Processes *****
AddMax: each colour of each pixel keeps its brightest value: star trails.
AddMin: each colour keeps its darkest value: removes planes, satellites and
passing lights.
AddmaxLum: the whole pixel of the frame where the point was brightest, so the
colours of a star stay true.
AddminLum (SubMinLum): the whole pixel of the frame where the point was darkest.
AddMaxThreshold: the maximum only above a threshold; darker parts follow the
latest frame (a foreground that changes with the light).
Add / Sub: the sum of the frames, or the first frame minus the later ones.
"... and Save steps": the result is also saved after every frame as numbered
files, the frames of a time-lapse of the growing trails.
MovingMax: the maximum over a sliding time window of N frames, written as one
picture per position; older frames may fade. "Progressive" starts with a short
window, "Range only" writes only full windows.
Search: lists the frames that hold a bright object (a meteor, a plane, a
satellite) in the right list.
Search & Save: the same, and copies those frames to a folder, marked with an
ellipse around the object or cropped around it ("Show & Save", "Crop & Save").
MeteorMax: shift-click a point of the picture to mark it, then "Maximum Search"
finds the frame in which that point was brightest; the chain of brighter and
brighter frames stays checked.

***** Batch Operations   *****
"Batch Operations..." applies one operation to every checked frame against a
reference picture (a dark or a flat frame), with a factor and an offset, and
saves the results as numbered files:
1. Subtract a dark frame (hot pixels and noise).
2. Add a picture.
3. Divide by a flat field (vignetting and dust).
4. Multiply by a picture.
5. Square of the frame.
6. Cube of the frame.
"Processed Image" shows the effect on the current frame before the batch runs.

*** About the Interface: *****
The left list holds the frames to process, the right list the pictures that
Nocturo wrote. Click an entry to show it; red italics mark files that failed
to load.
The up and down buttons move the selected entries; the lists can be sorted by
name or by the number in the file name ("Sort by Num").
View: "Stretch image to window" fits the picture in the window; without it the
slider zooms from 1% to 1000% ("Z = 50%"). The status bar shows the position in
the list, the pixel under the pointer (x, y, colour and luminosity) and the file
name.
Saved file names are numbered: with the number format on, "process0001.bmp",
"process0002.bmp"...; without it "process1.bmp", "process2.bmp"...
("Options" > "Format Filename Numbers" and "Starting Number").
Saving formats: 'JPG','PNG','TIF','BMP' and 'GIF', chosen by the extension
of the name.
The mask directory browser ("New list (Unlimited)") shows folders of 50,000
files and more, filters them by a name mask such as "IMG_*.JPG" and by
extension, and fills the left list with the checked files without any limit.
Fly-over preview: with "Enable Fly Over Mouse" on and the Batch Operations
window open, moving the pointer into the picture shows the processed frame and
moving it out shows the original.
Night graph: "Options" > "Night Graph" plots the mean brightness of every frame
of the left list. Click a point to show its frame, drag across the graph to
select frames, and drag the line, then "Uncheck frames above the line" to leave
out the frames lit by clouds, cars or dawn.
Frame map: with "Options" > "Remember which frame made each pixel", AddMax and
AddMaxLum note the frame behind every pixel; the status bar names it, and
"Select the frames behind this area" on the picture's menu selects the frames
of a plane's trail, ready to uncheck.
Command line: nocturo-stack merges frames without any window, with the same
operations and numbered steps ("nocturo-stack --help").
Languages: "?" > "Translations" switches between English, French and German,
Qt's own dialogs included, and "Options" > "Translate..." lists, applies,
creates and edits language files.
They live in ~/.local/share/zelk/Nocturo/2-5-15/ (or below $XDG_DATA_HOME); the
file "current.lng" there holds the language used at every start.

*****        New         *****
1.0: AddMax and AddMin over a list of pictures.
1.5: saving steps as numbered files; the right list.
2.0: batch operations with dark and flat frames; search of bright objects.
2.2: moving maximum; MeteorMax.
2.3: the mask directory browser for very large folders.
2.4: fly-over preview; language files.
2.5: luminosity processes (AddMaxLum, SubMinLum); number formats; Nocturo for
Linux with nocturo-stack.

*****     To do:         *****
Alignment of frames taken from a moving mount.
Gaussian subtraction of the sky background.

Clear skies and good nights!)help";

}  // namespace

QString HelpText() {
    return QString::fromUtf8(kHelpText);
}

}  // namespace nocturo

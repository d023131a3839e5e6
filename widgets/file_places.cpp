#include "widgets/file_places.h"

#include <QDir>
#include <QFileInfo>

#include "widgets/dialogs.h"

namespace nocturo {

namespace {

size_t Slot(FileKind kind) {
    return static_cast<size_t>(kind);
}

}  // namespace

FilePlaces& FilePlaces::Session() {
    static FilePlaces places;
    return places;
}

QString FilePlaces::Key(FileKind kind) {
    switch (kind) {
        case FileKind::Lists:
            return QStringLiteral("lists");
        case FileKind::Results:
            return QStringLiteral("results");
        case FileKind::Masks:
            return QStringLiteral("masks");
        case FileKind::Languages:
            return QStringLiteral("languages");
        case FileKind::Frames:
            return QStringLiteral("frames");
    }
    return QString();
}

const FilePlace& FilePlaces::Last(FileKind kind) const {
    return places_[Slot(kind)];
}

void FilePlaces::Set(FileKind kind, const FilePlace& place) {
    places_[Slot(kind)] = place;
}

void FilePlaces::Remember(FileKind kind, const QString& chosen, int filterIndex) {
    if (chosen.isEmpty()) {
        return;
    }
    const QFileInfo info(chosen);
    FilePlace& place = places_[Slot(kind)];
    place.folder = info.absolutePath();
    place.name = info.fileName();
    if (filterIndex > 0) {
        place.filterIndex = filterIndex;
    }
}

void FilePlaces::Clear() {
    places_ = {};
}

void FilePlaces::Propose(FileKind kind, FileDialogOptions& options, const QString& defaultName,
                         const std::function<bool(const QString&)>& suits,
                         const QString& fallbackFolder) const {
    const FilePlace& place = places_[Slot(kind)];
    options.folder = place.folder.isEmpty() ? fallbackFolder : place.folder;
    const bool fits = !place.name.isEmpty() && (!suits || suits(place.name));
    // The whole path: the dialog opens in the name's folder.
    options.fileName = fits ? QDir(place.folder).filePath(place.name) : defaultName;
    if (place.filterIndex > 0) {
        options.filterIndex = place.filterIndex;
    }
}

}  // namespace nocturo

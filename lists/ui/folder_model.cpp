#include "lists/ui/folder_model.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <string>

#include "lang/language_strings.h"
#include "lists/ui/local_path.h"

namespace nocturo {

namespace {

const QFileIconProvider& Icons() {
    static const QFileIconProvider provider;
    return provider;
}

// Without an icon theme the desktop offers no folder icon; the style has one.
QIcon FolderIcon() {
    static const QIcon icon = [] {
        QIcon themed = Icons().icon(QFileIconProvider::Folder);
        return themed.isNull() ? QApplication::style()->standardIcon(QStyle::SP_DirIcon) : themed;
    }();
    return icon;
}

}  // namespace

FolderModel::FolderModel(QObject* parent) : QAbstractTableModel(parent) {}

bool FolderModel::SetFolder(const QString& folder) {
    std::vector<Item> items;
    const std::string path = PathToBytes(folder);
    DIR* dir = ::opendir(path.c_str());
    if (dir != nullptr) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.') {
                continue;  // ".", ".." and hidden folders
            }
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                struct stat st {};
                isFolder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            if (isFolder) {
                Item item;
                item.name = PathFromBytes(name);
                items.push_back(std::move(item));
            }
        }
        ::closedir(dir);
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
            return collator.compare(a.name, b.name) < 0;
        });
    }
    beginResetModel();
    folder_ = folder;
    items_ = std::move(items);
    endResetModel();
    return dir != nullptr;
}

QString FolderModel::FilePath(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= static_cast<int>(items_.size())) {
        return {};
    }
    return ItemPath(items_[static_cast<size_t>(index.row())]);
}

QString FolderModel::ItemPath(const Item& item) const {
    // Joined as text: the name keeps bytes that QDir would not.
    return folder_.endsWith('/') ? folder_ + item.name : folder_ + '/' + item.name;
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

void FolderModel::Detail(const Item& item) const {
    if (item.detailed) {
        return;
    }
    auto& it = const_cast<Item&>(item);
    it.detailed = true;
    // Read through the name's own bytes, which Qt's file classes would not
    // keep.
    const std::string path = PathToBytes(ItemPath(item));
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return;
    }
    it.isFolder = S_ISDIR(st.st_mode);
    it.size = std::max<qint64>(1, (static_cast<qint64>(st.st_size) + 1023) / 1024);
    // Qt's file classes cannot reach a name with kept bytes: it is typed as
    // any folder (every item is one).
    const QString itemPath = ItemPath(item);
    it.type =
        Icons().type(QFileInfo(ShownPath(itemPath) == itemPath ? itemPath : QDir::rootPath()));
    if (st.st_mtim.tv_sec != 0) {
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        it.modified = QLocale().toString(modified.toLocalTime(), QLocale::ShortFormat);
    }
    if (::access(path.c_str(), W_OK) != 0) {
        it.attributes += 'R';
    }
    if (item.name.startsWith('.')) {
        it.attributes += 'H';
    }
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(items_.size())) {
        return {};
    }
    const Item& item = items_[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            if (column == Name) {
                return ShownPath(item.name);
            }
            Detail(item);
            switch (column) {
                case Size:
                    return item.isFolder ? QString()
                                         : QString::fromStdString(
                                               FormatText(Lng().txtSizeKilobytes, item.size));
                case Type:
                    return item.type;
                case Modified:
                    return item.modified;
                case Attributes:
                    return item.attributes;
                default:
                    return {};
            }
        case Qt::DecorationRole:
            if (column == Name) {
                return FolderIcon();
            }
            return {};
        case Qt::TextAlignmentRole:
            if (column == Size || column == Attributes) {
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            }
            return {};
        case Qt::ForegroundRole:
            if (column != Name) {
                return QApplication::palette().color(QPalette::WindowText);
            }
            return {};
        default:
            return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static std::string LanguageStrings::*const kNames[] = {
        &LanguageStrings::txtColumnName, &LanguageStrings::txtColumnSize,
        &LanguageStrings::txtColumnType, &LanguageStrings::txtColumnModified,
        &LanguageStrings::txtColumnAttributes};
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(Lng().*kNames[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(
            (section == Size || section == Attributes ? Qt::AlignRight : Qt::AlignLeft) |
            Qt::AlignVCenter);
    }
    return {};
}

void FolderModel::LanguageChanged() {
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!items_.empty()) {
        emit dataChanged(index(0, Size), index(rowCount() - 1, Size), {Qt::DisplayRole});
    }
}

}  // namespace nocturo
